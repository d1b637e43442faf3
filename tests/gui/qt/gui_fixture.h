// Driving the Qt widget as a user would (clicks, typing, modal dialogs answered from a timer), and the check that
// the view shows what the model holds.
#pragma once

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

#include "control/control_internals.h"
#include "panel/panel.h"
#include "support/test_support.h"
#include "varnelo/qt/qt_desktop.h"
#include "varnelo/qt/varnelo_widget.h"

namespace varnelo::gui_test {

inline QString q(const std::string& s) { return QString::fromStdString(s); }

// Runs `answer` on the next modal window that opens; gives up after five seconds so a missing window fails the test.
inline void onNextModal(std::function<void(QWidget*)> answer) {
    auto* timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, answer] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal && ++*tries <= 500) return;
        timer->stop();
        timer->deleteLater();
        if (modal) answer(modal);
        else ADD_FAILURE() << "no modal window opened";
    });
    timer->start(10);
}

class WidgetTest : public ::testing::Test {
protected:
    void SetUp() override {
        widget = std::make_unique<qt::VarneloWidget>();
        widget->show();
        QApplication::processEvents();
    }

    Varnelo& control() { return widget->control(); }
    Panel& p() { return panelOf(widget->control()); }
    QWidget* view(const ui::Widget& w) { return widget->viewOf(w); }
    template <class T>
    T* viewAs(const ui::Widget& w) {
        T* v = qobject_cast<T*>(view(w));
        EXPECT_NE(v, nullptr) << w.fullName();
        return v;
    }

    // A click where a person would click: the box of a check box or option button, the middle of anything else.
    void click(const ui::Widget& w) {
        QWidget* v = view(w);
        ASSERT_NE(v, nullptr) << w.fullName();
        ASSERT_TRUE(v->isVisible() && v->isEnabled()) << w.fullName() << " cannot be clicked";
        const bool box = qobject_cast<QCheckBox*>(v) || qobject_cast<QRadioButton*>(v);
        QTest::mouseClick(v, Qt::LeftButton, {}, box ? QPoint(7, v->height() / 2) : v->rect().center());
    }
    void type(const ui::Widget& w, const QString& text) {
        auto* edit = viewAs<QLineEdit>(w);
        ASSERT_TRUE(edit && edit->isVisible() && edit->isEnabled()) << w.fullName();
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    void openTab(int index) {
        QTabBar* bar = widget->tabs()->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
        QApplication::processEvents();
    }

    // The tab a panel widget sits on.
    int tabOf(const ui::Widget& w) {
        const ui::Widget* top = &w;
        while (top->parent() && top->parent() != &p().SSTab1) top = top->parent();
        const std::string& c = top->container();
        return std::stoi(c.substr(c.find('(') + 1));
    }

    // Every panel widget on the open tab has its Qt counterpart showing the same state; on other tabs the same
    // enabled state.
    void expectViewMatchesModel() {
        const ui::TabSheet& sheet = p().SSTab1;
        QTabWidget* tabs = widget->tabs();
        ASSERT_EQ(tabs->count(), sheet.tabCount());
        EXPECT_EQ(tabs->currentIndex(), sheet.currentTab());
        EXPECT_EQ(tabs->isEnabled(), sheet.enabled());
        for (int i = 0; i < sheet.tabCount(); ++i) {
            EXPECT_EQ(tabs->tabText(i), q(sheet.tab(i).caption));
            EXPECT_EQ(tabs->isTabEnabled(i), sheet.tab(i).enabled) << "tab " << i;
            EXPECT_EQ(tabs->isTabVisible(i), sheet.tab(i).visible) << "tab " << i;
        }
        p().forEachWidget([&](ui::Widget& w) {
            if (&w == &sheet) return;
            QWidget* v = view(w);
            ASSERT_NE(v, nullptr) << w.fullName();
            SCOPED_TRACE(w.fullName());
            EXPECT_EQ(v->objectName(), q(w.fullName()));
            EXPECT_EQ(v->isEnabled(), w.effectiveEnabled());
            if (tabOf(w) == sheet.currentTab()) { EXPECT_EQ(v->isVisible(), w.effectiveVisible()); }
            EXPECT_EQ(v->toolTip(), q(w.toolTip()));
            if (auto* box = qobject_cast<QGroupBox*>(v)) { EXPECT_EQ(box->title(), q(w.caption())); }
            if (auto* label = qobject_cast<QLabel*>(v)) { EXPECT_EQ(label->text(), q(w.caption())); }
            if (auto* check = qobject_cast<QCheckBox*>(v)) {
                EXPECT_EQ(check->text(), q(w.caption()));
                const int shown = check->checkState() == Qt::Checked ? 1 : check->checkState() == Qt::PartiallyChecked ? 2 : 0;
                EXPECT_EQ(shown, static_cast<ui::CheckBox&>(w).value());
            }
            if (auto* radio = qobject_cast<QRadioButton*>(v)) {
                EXPECT_EQ(radio->text(), q(w.caption()));
                EXPECT_EQ(radio->isChecked(), static_cast<ui::OptionButton&>(w).value());
            }
            if (auto* push = qobject_cast<QPushButton*>(v)) {
                auto& button = static_cast<ui::CommandButton&>(w);
                EXPECT_EQ(push->text(), button.picture ? QString() : q(w.caption()));
                EXPECT_EQ(push->icon().isNull(), !button.picture);
            }
            if (auto* line = qobject_cast<QLineEdit*>(v)) {
                auto& text = static_cast<ui::TextBox&>(w);
                EXPECT_EQ(line->text(), q(text.text()));
                EXPECT_EQ(line->echoMode() == QLineEdit::Password, text.passwordChar != 0);
            }
            if (auto* edit = qobject_cast<QPlainTextEdit*>(v)) {
                EXPECT_EQ(edit->toPlainText(), q(static_cast<ui::TextBox&>(w).text()));
            }
            if (auto* list = qobject_cast<QComboBox*>(v)) {
                auto& combo = static_cast<ui::ComboBox&>(w);
                ASSERT_EQ(list->count(), static_cast<int>(combo.list().size()));
                for (int i = 0; i < list->count(); ++i) EXPECT_EQ(list->itemText(i), q(combo.list()[static_cast<size_t>(i)]));
                EXPECT_EQ(list->currentIndex(), combo.listIndex());
                EXPECT_FALSE(list->isEditable());
            }
        });
    }

    testing_support::TempDir dir;
    std::unique_ptr<qt::VarneloWidget> widget;
};

}  // namespace varnelo::gui_test
