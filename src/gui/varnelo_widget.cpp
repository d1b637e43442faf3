// The control in a Qt widget: host, lifecycle and the panel's view.
#include "varnelo/qt/varnelo_widget.h"

#include <QHideEvent>
#include <QShowEvent>
#include <QTabWidget>

#include "control/control_internals.h"
#include "panel_view.h"
#include "varnelo/qt/qt_desktop.h"

namespace varnelo::qt {

VarneloWidget::VarneloWidget(QWidget* parent, ControlHost* outerHost)
    : QWidget(parent), outer_(outerHost), desktop_(std::make_unique<QtDesktop>(this)) {
    control_ = std::make_unique<Varnelo>(*this, *desktop_);
    control_->setProgressCallback([this](int64_t done, int64_t total) { desktop_->progress(done, total); });
    view_ = std::make_unique<PanelView>(panelOf(*control_), this);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    lifecycle([&] { control_->UserControl_Initialize(); });
}

VarneloWidget::~VarneloWidget() {
    lifecycle([&] { control_->UserControl_Terminate(); });
    // The view talks to the control's panel: it goes first.
    view_.reset();
}

template <class F>
void VarneloWidget::lifecycle(F&& call) {
    try {
        call();
    } catch (const Error& e) {
        desktop_->showReport(e.description());
    }
}

void VarneloWidget::initProperties() {
    placed_ = true;
    lifecycle([&] { control_->UserControl_InitProperties(); });
}

QSize VarneloWidget::sizeHint() const {
    return QSize(5295 / PanelView::kTwipsPerPixel, 7050 / PanelView::kTwipsPerPixel);
}

QWidget* VarneloWidget::viewOf(const ui::Widget& w) const { return view_ ? view_->viewOf(w) : nullptr; }
QTabWidget* VarneloWidget::tabs() const { return view_ ? view_->tabs() : nullptr; }

bool VarneloWidget::userMode() const { return outer_ ? outer_->userMode() : true; }

FontPtr VarneloWidget::ambientFont() const {
    if (outer_) return outer_->ambientFont();
    const QFont f = font();
    return makeFont(f.family().toStdString(), f.pointSizeF() > 0 ? f.pointSizeF() : 9, f.bold(), f.italic());
}

void VarneloWidget::propertyChanged(const std::string& key) {
    if (outer_) outer_->propertyChanged(key);
    emit propertyChanged(QString::fromStdString(key));
}

void VarneloWidget::raiseEvent(const std::string& name) {
    if (outer_) outer_->raiseEvent(name);
    if (name == "Hide") emit Hide();
    if (name == "InitProperties") emit InitProperties();
}

DrawingSurface& VarneloWidget::surface() { return outer_ ? outer_->surface() : surface_; }

uintptr_t VarneloWidget::windowHandle() const {
    const QWidget* top = window();
    return top ? static_cast<uintptr_t>(top->effectiveWinId()) : 0;
}

void VarneloWidget::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (e->spontaneous()) return;  // the window came back, the control was never hidden
    if (!placed_) initProperties();
    lifecycle([&] { control_->UserControl_Show(); });
}

void VarneloWidget::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    if (e->spontaneous()) return;
    lifecycle([&] { control_->UserControl_Hide(); });
}

void VarneloWidget::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    lifecycle([&] { control_->UserControl_Resize(); });
}

}  // namespace varnelo::qt
