// PanelView: the settings panel's widgets drawn as Qt widgets.
//
// The view only mirrors the widget kit: each kit widget gets one Qt widget
// (object name = the kit's full name, "chkOption(10)"), placed at its twips
// position, and is brought up to date whenever the kit announces a change.
// What the user does (a click, typing, a key, a pick, a tab) is handed to the
// kit widget's user action, which runs the control's handler; the view then
// shows whatever state the handler left. No rule of the panel lives here.
#pragma once

#include <QPointer>

#include <map>
#include <vector>

#include "panel/panel.h"

class QTabWidget;
class QWidget;

namespace varnelo::qt {

class PanelView {
public:
    // Builds the Qt widgets inside `host` and starts following `panel`,
    // which must outlive the view.
    PanelView(Panel& panel, QWidget* host);
    ~PanelView();
    PanelView(const PanelView&) = delete;
    PanelView& operator=(const PanelView&) = delete;

    QTabWidget* tabs() const { return tabs_; }
    // The Qt widget drawing `w` (null for a widget of another panel).
    QWidget* viewOf(const ui::Widget& w) const;

    // The classic screen: 15 twips to a pixel.
    static constexpr int kTwipsPerPixel = 15;

private:
    void build();
    void sync(const ui::Widget& w, std::string_view what);
    void syncTabs();
    void setTabOrder();
    void place(const ui::Widget& w, QWidget* view);

    Panel& panel_;
    QWidget* host_;
    QPointer<QTabWidget> tabs_;
    std::vector<QWidget*> pages_;
    std::map<const ui::Widget*, QWidget*> views_;
    std::vector<std::pair<ui::Widget*, int>> observers_;
    bool syncing_ = false;
};

}  // namespace varnelo::qt
