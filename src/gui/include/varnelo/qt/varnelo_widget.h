// VarneloWidget: the Varnelo control as a Qt widget.
//
// The widget is the control's host (a ControlHost) and owns the control and a
// QtDesktop for its windows. It draws the control's settings panel (the
// three tabs and every control on them) and follows it: whatever the control
// or the host changes shows at once, and what the user does goes to the
// control's own handlers. The change notification reaches the application as
// propertyChanged(key); the control's events Hide and InitProperties as the
// signals of the same names.
//
// Lifecycle: creating the widget initialises the control. A host that loads
// saved settings does so before the widget is first shown; otherwise the
// first show places the control anew (initProperties()). Each show of the
// widget is the control's show, each hide its hide, and destroying the widget
// ends the control.
//
// A host that has a ControlHost of its own passes it: its ambient values and
// surface are used and it receives every notification and event too.
//
//     VarneloWidget panel;
//     panel.control().DataSource(std::make_shared<QSqlQueryRecordset>(db, "SELECT * FROM orders"));
//     QObject::connect(&panel, qOverload<const QString&>(&VarneloWidget::propertyChanged), ...);
//     panel.show();
//
// GUI thread only, like every QWidget.
#pragma once

#include <QWidget>

#include <memory>

#include "varnelo/host.h"
#include "varnelo/varnelo.h"

class QTabWidget;

namespace varnelo::ui {
class Widget;
}

namespace varnelo::qt {

class PanelView;
class QtDesktop;

class VarneloWidget : public QWidget, public ControlHost {
    Q_OBJECT

public:
    explicit VarneloWidget(QWidget* parent = nullptr, ControlHost* outerHost = nullptr);
    ~VarneloWidget() override;

    Varnelo& control() { return *control_; }
    QtDesktop& desktop() { return *desktop_; }

    // First placement: the control takes its default settings (and raises
    // InitProperties). Runs at the first show unless the host ran it, or
    // loaded settings and called markPlaced().
    void initProperties();
    void markPlaced() { placed_ = true; }

    // The control's fixed size, 5295 x 7050 twips.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    // The Qt widget that draws a widget of the control's panel.
    QWidget* viewOf(const ui::Widget& w) const;
    QTabWidget* tabs() const;

    // ControlHost.
    bool userMode() const override;
    FontPtr ambientFont() const override;
    void propertyChanged(const std::string& key) override;
    void raiseEvent(const std::string& name) override;
    DrawingSurface& surface() override;
    uintptr_t windowHandle() const override;

signals:
    void propertyChanged(const QString& key);
    void Hide();
    void InitProperties();

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    // Runs a lifecycle call; an error has no caller here, so it is shown in
    // the report window.
    template <class F>
    void lifecycle(F&& call);

    ControlHost* outer_;
    DrawingSurface surface_;
    std::unique_ptr<QtDesktop> desktop_;
    std::unique_ptr<Varnelo> control_;
    std::unique_ptr<PanelView> view_;
    bool placed_ = false;
};

}  // namespace varnelo::qt
