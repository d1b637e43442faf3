// The panel's Qt widgets and how they follow the widget kit.
#include "panel_view.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include "varnelo/qt/qt_desktop.h"

namespace varnelo::qt {

namespace {

// Tab contents are placed from the sheet's top edge, tab strip included;
// a Qt page starts below its strip.
constexpr int kTabStripTwips = 360;
constexpr int kTwips = PanelView::kTwipsPerPixel;

QString q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// Check boxes and option buttons whose click goes to the kit: Qt's own
// toggling is replaced by the kit's click, and the view then shows the state
// the handler left.
template <class Button>
class KitButton : public Button {
public:
    using Button::Button;
    std::function<void()> onUserClick;

protected:
    void nextCheckState() override {
        if (onUserClick) onUserClick();
    }
};

// A list whose keys go to the kit's key handlers, which may cancel them.
class KitComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void(int keyCode, int shift)> onKeyDown;
    std::function<void(int keyAscii)> onKeyPress;

protected:
    void keyPressEvent(QKeyEvent* e) override {
        static const std::map<int, int> codes = {{Qt::Key_Up, 38}, {Qt::Key_Down, 40}, {Qt::Key_Home, 36},
                                                 {Qt::Key_End, 35}, {Qt::Key_Left, 37}, {Qt::Key_Right, 39}};
        int shift = 0;
        if (e->modifiers() & Qt::ShiftModifier) shift |= 1;
        if (e->modifiers() & Qt::ControlModifier) shift |= 2;
        if (e->modifiers() & Qt::AltModifier) shift |= 4;
        if (e->key() == Qt::Key_F4 || (e->key() == Qt::Key_Down && (e->modifiers() & Qt::AltModifier))) {
            QComboBox::keyPressEvent(e);  // opening the list is not a key for the handlers
            return;
        }
        const auto code = codes.find(e->key());
        if (code != codes.end()) {
            if (onKeyDown) onKeyDown(code->second, shift);
        } else if (e->key() >= Qt::Key_Space && e->key() <= Qt::Key_AsciiTilde) {
            if (onKeyDown) onKeyDown(e->key(), shift);
            const QString text = e->text();
            if (onKeyPress && text.size() == 1 && text[0].unicode() < 128) onKeyPress(text[0].unicode());
        } else {
            e->ignore();
            return;
        }
        e->accept();
    }
    // The wheel would change the entry behind the handlers' back.
    void wheelEvent(QWheelEvent* e) override { e->ignore(); }
};

// The picture buttons' pictures, drawn so that they look the same on every
// desktop: a disk for Save, an envelope for Save and Send.
QIcon pictureFor(const std::string& name) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(40, 60, 100);
    p.setPen(QPen(ink, 1.6));
    if (name == "cmdSave") {
        QPainterPath disk;
        disk.moveTo(5, 4);
        disk.lineTo(24, 4);
        disk.lineTo(28, 8);
        disk.lineTo(28, 28);
        disk.lineTo(5, 28);
        disk.closeSubpath();
        p.setBrush(QColor(70, 110, 180));
        p.drawPath(disk);
        p.setBrush(QColor(235, 238, 245));
        p.drawRect(QRectF(9, 4, 13, 8));
        p.drawRect(QRectF(9, 17, 15, 11));
        p.setBrush(ink);
        p.drawRect(QRectF(18, 5.5, 2.5, 5));
    } else {
        p.setBrush(QColor(250, 245, 225));
        p.drawRect(QRectF(3, 8, 26, 18));
        p.drawLine(QPointF(3, 8), QPointF(16, 18));
        p.drawLine(QPointF(29, 8), QPointF(16, 18));
        p.setBrush(QColor(200, 60, 50));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(24, 22), 5, 5);
        p.setPen(QPen(Qt::white, 1.8));
        p.drawLine(QPointF(21.5, 22), QPointF(26.5, 22));
        p.drawLine(QPointF(24.5, 20), QPointF(26.5, 22));
        p.drawLine(QPointF(24.5, 24), QPointF(26.5, 22));
    }
    return QIcon(pixmap);
}

// The panel was laid out for a narrow bitmap face ("MS Sans Serif"); where a
// named font is missing, the desktop's own face stands in, condensed so
// that the captions keep to the widths the layout gives them.
QFont toQFont(const Font& f, const QFont& base) {
    QFont out = base;
    if (!f.name.empty()) {
        static const QStringList installed = QFontDatabase::families();
        if (installed.contains(q(f.name), Qt::CaseInsensitive)) {
            out.setFamily(q(f.name));
        } else {
            out.setFamily(QApplication::font().family());
            out.setStretch(QFont::SemiCondensed);
        }
    }
    if (f.size > 0) out.setPointSizeF(f.size);
    out.setBold(f.bold);
    out.setItalic(f.italic);
    out.setUnderline(f.underline);
    out.setStrikeOut(f.strikethrough);
    return out;
}

// Labels that show a value rather than name one: drawn sunken, like a field.
bool isValueLabel(const ui::Widget& w) {
    return w.name() == "lblHeader" || w.name() == "lblBody" || w.name() == "lblDateFormat";
}

}  // namespace

PanelView::PanelView(Panel& panel, QWidget* host) : panel_(panel), host_(host) { build(); }

PanelView::~PanelView() {
    for (auto& [w, id] : observers_) w->removeObserver(id);
    // The Qt widgets go now, while the panel they talk to still exists.
    delete tabs_.data();
}

QWidget* PanelView::viewOf(const ui::Widget& w) const {
    auto it = views_.find(&w);
    return it == views_.end() ? nullptr : it->second;
}

void PanelView::build() {
    tabs_ = new QTabWidget(host_);
    tabs_->setObjectName(q(panel_.SSTab1.fullName()));
    tabs_->setUsesScrollButtons(false);
    views_[&panel_.SSTab1] = tabs_;
    for (int i = 0; i < panel_.SSTab1.tabCount(); ++i) {
        auto* page = new QWidget;
        page->setObjectName(QStringLiteral("SSTab1(%1)").arg(i));
        tabs_->addTab(page, q(panel_.SSTab1.tab(i).caption));
        pages_.push_back(page);
    }
    QObject::connect(tabs_, &QTabWidget::currentChanged, tabs_, [this](int index) {
        if (!syncing_ && index >= 0 && index != panel_.SSTab1.currentTab()) panel_.SSTab1.setCurrentTab(index);
    });

    // First every Qt widget, then their parents: a frame may be listed after
    // what it holds.
    panel_.forEachWidget([&](ui::Widget& w) {
        if (&w == &panel_.SSTab1) return;
        QWidget* view = nullptr;
        if (dynamic_cast<ui::Frame*>(&w)) {
            view = new QGroupBox;
        } else if (dynamic_cast<ui::Line*>(&w)) {
            auto* line = new QFrame;
            line->setFrameShape(w.width() < w.height() ? QFrame::VLine : QFrame::HLine);
            line->setFrameShadow(QFrame::Sunken);
            view = line;
        } else if (dynamic_cast<ui::Label*>(&w)) {
            auto* label = new QLabel;
            label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            if (isValueLabel(w)) {
                label->setFrameShape(QFrame::StyledPanel);
                label->setFrameShadow(QFrame::Sunken);
                label->setIndent(3);
            }
            view = label;
        } else if (auto* button = dynamic_cast<ui::CommandButton*>(&w)) {
            auto* push = new QPushButton;
            if (button->picture) {
                push->setIcon(pictureFor(w.name()));
                push->setIconSize(QSize(24, 24));
            }
            QObject::connect(push, &QPushButton::clicked, push, [button] { button->click(); });
            view = push;
        } else if (auto* text = dynamic_cast<ui::TextBox*>(&w)) {
            if (text->multiLine) {
                auto* edit = new QPlainTextEdit;
                edit->setTabChangesFocus(true);
                QObject::connect(edit, &QPlainTextEdit::textChanged, edit, [this, text, edit] {
                    if (!syncing_) text->type(edit->toPlainText().toStdString());
                });
                view = edit;
            } else {
                auto* edit = new QLineEdit;
                QObject::connect(edit, &QLineEdit::textEdited, edit,
                                 [text](const QString& t) { text->type(t.toStdString()); });
                view = edit;
            }
        } else if (auto* check = dynamic_cast<ui::CheckBox*>(&w)) {
            auto* box = new KitButton<QCheckBox>;
            box->setTristate(true);
            box->onUserClick = [check] { check->click(); };
            view = box;
        } else if (auto* option = dynamic_cast<ui::OptionButton*>(&w)) {
            auto* radio = new KitButton<QRadioButton>;
            radio->setAutoExclusive(false);
            radio->onUserClick = [option] { option->click(); };
            view = radio;
        } else if (auto* combo = dynamic_cast<ui::ComboBox*>(&w)) {
            auto* list = new KitComboBox;
            list->onKeyDown = [combo](int key, int shift) { combo->keyDown(key, shift); };
            list->onKeyPress = [combo](int key) { combo->keyPress(key); };
            QObject::connect(list, &QComboBox::activated, list, [combo](int index) { combo->pick(index); });
            view = list;
        } else {
            view = new QWidget;
        }
        view->setObjectName(q(w.fullName()));
        views_[&w] = view;
    });
    for (auto& [w, view] : views_) {
        if (view == tabs_) continue;
        QWidget* parent = nullptr;
        if (w->parent() == &panel_.SSTab1) {
            const std::string& c = w->container();  // "SSTab1(i)"
            parent = pages_.at(static_cast<size_t>(std::stoi(c.substr(c.find('(') + 1))));
        } else if (w->parent()) {
            parent = views_.at(w->parent());
        }
        view->setParent(parent ? parent : pages_.front());
    }
    // Raise in the panel's order, so that later widgets draw on top as they
    // would in the designer.
    panel_.forEachWidget([&](ui::Widget& w) {
        if (&w != &panel_.SSTab1) views_.at(&w)->raise();
    });

    setTabOrder();

    panel_.forEachWidget([&](ui::Widget& w) {
        observers_.emplace_back(&w, w.addObserver([this](const ui::Widget& changed, std::string_view what) {
            sync(changed, what);
        }));
        sync(w, "");
    });
    tabs_->setFixedSize(panel_.SSTab1.width() / kTwips, panel_.SSTab1.height() / kTwips);
}

// Keyboard focus goes through each tab in reading order: frame by frame,
// and inside a frame row by row, left to right.
void PanelView::setTabOrder() {
    using Key = std::vector<std::pair<int, int>>;
    std::map<int, std::vector<std::pair<Key, QWidget*>>> byTab;
    for (auto& [w, view] : views_) {
        if (view == tabs_ || !(view->focusPolicy() & Qt::TabFocus)) continue;
        Key key;
        const ui::Widget* at = w;
        for (; at->parent() && at->parent() != &panel_.SSTab1; at = at->parent()) key.insert(key.begin(), {at->top(), at->left()});
        key.insert(key.begin(), {at->top(), at->left()});
        const std::string& c = at->container();
        byTab[std::stoi(c.substr(c.find('(') + 1))].emplace_back(std::move(key), view);
    }
    for (auto& [tab, widgets] : byTab) {
        std::stable_sort(widgets.begin(), widgets.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        for (size_t i = 1; i < widgets.size(); ++i) QWidget::setTabOrder(widgets[i - 1].second, widgets[i].second);
    }
}

void PanelView::place(const ui::Widget& w, QWidget* view) {
    int top = w.top();
    if (w.parent() == &panel_.SSTab1) top = std::max(0, top - kTabStripTwips);
    QRect r(w.left() / kTwips, top / kTwips, w.width() / kTwips, w.height() / kTwips);
    // A line one pixel thick leaves a style no room to draw it.
    if (qobject_cast<QFrame*>(view) && !qobject_cast<QLabel*>(view) && !qobject_cast<QGroupBox*>(view)) {
        if (r.width() < 3) r.setWidth(3);
        if (r.height() < 3) r.setHeight(3);
    }
    // Fields and lists need their style's height to show their text whole;
    // they grow about their own middle.
    if (qobject_cast<QLineEdit*>(view) || qobject_cast<QComboBox*>(view)) {
        const int need = view->sizeHint().height();
        if (r.height() < need) r.adjust(0, -(need - r.height()) / 2, 0, need - r.height() - (need - r.height()) / 2);
    }
    view->setGeometry(r);
}

void PanelView::syncTabs() {
    const ui::TabSheet& sheet = panel_.SSTab1;
    for (int i = 0; i < sheet.tabCount(); ++i) {
        tabs_->setTabText(i, q(sheet.tab(i).caption));
        tabs_->setTabEnabled(i, sheet.tab(i).enabled);
        tabs_->setTabVisible(i, sheet.tab(i).visible);
    }
    tabs_->setCurrentIndex(sheet.currentTab());
    tabs_->setEnabled(sheet.enabled());
    tabs_->setVisible(sheet.visible());
    if (sheet.font()) tabs_->setFont(toQFont(*sheet.font(), tabs_->font()));
    if (sheet.mousePointer() == 11)
        tabs_->setCursor(Qt::WaitCursor);
    else
        tabs_->unsetCursor();
}

void PanelView::sync(const ui::Widget& w, std::string_view) {
    QWidget* view = viewOf(w);
    if (!view) return;
    const bool wasSyncing = syncing_;
    syncing_ = true;
    const QSignalBlocker block(view);
    if (&w == &panel_.SSTab1) {
        syncTabs();
        syncing_ = wasSyncing;
        return;
    }
    place(w, view);
    view->setToolTip(q(w.toolTip()));
    view->setEnabled(w.enabled());
    view->setHidden(!w.visible());
    if (w.font()) view->setFont(toQFont(*w.font(), tabs_->font()));
    if (w.mousePointer() == 11)
        view->setCursor(Qt::WaitCursor);
    else
        view->unsetCursor();
    QPalette palette = view->palette();
    bool paint = false;
    if (!isSystemColor(w.backColor())) {
        palette.setColor(QPalette::Window, toQColor(w.backColor()));
        paint = true;
    }
    if (!isSystemColor(w.foreColor())) palette.setColor(QPalette::WindowText, toQColor(w.foreColor()));
    view->setPalette(palette);

    if (auto* box = qobject_cast<QGroupBox*>(view)) {
        box->setTitle(q(w.caption()));
    } else if (auto* label = qobject_cast<QLabel*>(view)) {
        label->setText(q(w.caption()));
        label->setAutoFillBackground(paint);
    } else if (auto* push = qobject_cast<QPushButton*>(view)) {
        const auto& button = static_cast<const ui::CommandButton&>(w);
        push->setText(button.picture ? QString() : q(w.caption()));
    } else if (auto* line = qobject_cast<QLineEdit*>(view)) {
        const auto& text = static_cast<const ui::TextBox&>(w);
        if (line->text() != q(text.text())) line->setText(q(text.text()));
        line->setEchoMode(text.passwordChar ? QLineEdit::Password : QLineEdit::Normal);
        line->setReadOnly(text.locked);
    } else if (auto* edit = qobject_cast<QPlainTextEdit*>(view)) {
        const auto& text = static_cast<const ui::TextBox&>(w);
        if (edit->toPlainText() != q(text.text())) edit->setPlainText(q(text.text()));
        edit->setReadOnly(text.locked);
    } else if (auto* check = qobject_cast<QCheckBox*>(view)) {
        const int v = static_cast<const ui::CheckBox&>(w).value();
        check->setText(q(w.caption()));
        check->setCheckState(v == 1 ? Qt::Checked : v == 2 ? Qt::PartiallyChecked : Qt::Unchecked);
    } else if (auto* radio = qobject_cast<QRadioButton*>(view)) {
        radio->setText(q(w.caption()));
        radio->setChecked(static_cast<const ui::OptionButton&>(w).value());
    } else if (auto* list = qobject_cast<QComboBox*>(view)) {
        const auto& combo = static_cast<const ui::ComboBox&>(w);
        QStringList entries;
        for (const auto& e : combo.list()) entries << q(e);
        QStringList shown;
        for (int i = 0; i < list->count(); ++i) shown << list->itemText(i);
        if (shown != entries) {
            list->clear();
            list->addItems(entries);
        }
        list->setCurrentIndex(combo.listIndex());
        if (combo.listIndex() < 0) list->setPlaceholderText(q(combo.text()));
    }
    syncing_ = wasSyncing;
}

}  // namespace varnelo::qt
