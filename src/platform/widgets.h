// A headless widget kit that keeps the classic toolkit's event rules.
//
// The control's panel logic is written against these widgets, never against
// a real toolkit, so every rule of the panel runs and is tested without a
// display. A view (the Qt front end) follows the model through observers.
//
// Event rules:
//  - CheckBox::setValue to a different state (0, 1, 2) runs onClick; a value
//    outside 0..2 is refused with error 380. click() is the user's click:
//    0 -> 1, 1 or 2 -> 0.
//  - OptionButton::setValue(true) deselects the others of its group and runs
//    onClick, only when it was not selected already.
//  - TextBox::setText and Label::setCaption to a different text run onChange.
//  - ComboBox::setListIndex runs onClick; onKeyDown / onKeyPress may cancel
//    a key by setting it to 0.
//  - A handler that sets another widget runs that widget's handler to
//    completion before it goes on. Everything happens on one thread.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "varnelo/error.h"
#include "varnelo/font.h"

namespace varnelo::ui {

class Widget;

// Told of every change of a widget's state: the widget and the attribute name
// ("caption", "text", "value", "enabled", "visible", ...).
using Observer = std::function<void(const Widget&, std::string_view)>;

class Widget {
public:
    explicit Widget(std::string name, int index = -1) : name_(std::move(name)), index_(index) {}
    virtual ~Widget() = default;
    Widget(const Widget&) = delete;
    Widget& operator=(const Widget&) = delete;

    const std::string& name() const { return name_; }
    int index() const { return index_; }
    // "chkOption(10)" for an array element, else the name.
    std::string fullName() const;

    const std::string& caption() const { return caption_; }
    virtual void setCaption(const std::string& c) { caption_ = c; announce("caption"); }
    const std::string& toolTip() const { return toolTip_; }
    void setToolTip(const std::string& t) { toolTip_ = t; announce("toolTip"); }
    bool enabled() const { return enabled_; }
    void setEnabled(bool e) { if (e != enabled_) { enabled_ = e; announce("enabled"); } }
    bool visible() const { return visible_; }
    void setVisible(bool v) { if (v != visible_) { visible_ = v; announce("visible"); } }
    int left() const { return left_; }
    int top() const { return top_; }
    int width() const { return width_; }
    int height() const { return height_; }
    void move(int left, int top, int width, int height);
    void setTop(int top) { top_ = top; announce("top"); }
    void setHeight(int height) { height_ = height; announce("height"); }
    OLE_COLOR backColor() const { return backColor_; }
    void setBackColor(OLE_COLOR c) { backColor_ = c; announce("backColor"); }
    OLE_COLOR foreColor() const { return foreColor_; }
    void setForeColor(OLE_COLOR c) { foreColor_ = c; announce("foreColor"); }
    const FontPtr& font() const { return font_; }
    void setFont(FontPtr f) { font_ = std::move(f); announce("font"); }
    int mousePointer() const { return mousePointer_; }
    void setMousePointer(int p) { mousePointer_ = p; announce("mousePointer"); }
    // The container this widget sits in (a frame or a tab), for the view.
    const std::string& container() const { return container_; }
    void setContainer(std::string c) { container_ = std::move(c); }

    void setObserver(Observer o) { observer_ = std::move(o); }

protected:
    void announce(std::string_view what) const {
        if (observer_) observer_(*this, what);
    }

private:
    std::string name_;
    int index_;
    std::string caption_;
    std::string toolTip_;
    bool enabled_ = true;
    bool visible_ = true;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    OLE_COLOR backColor_ = kButtonFace;
    OLE_COLOR foreColor_ = 0x80000012u;  // button text
    FontPtr font_;
    int mousePointer_ = 0;
    std::string container_;
    Observer observer_;
};

class Label : public Widget {
public:
    using Widget::Widget;
    std::function<void()> onChange;
    void setCaption(const std::string& c) override;
};

class Frame : public Widget {
public:
    using Widget::Widget;
};

class Line : public Widget {
public:
    using Widget::Widget;
};

class CommandButton : public Widget {
public:
    using Widget::Widget;
    std::function<void()> onClick;
    bool picture = false;  // a picture button: the tool tip names it
    void click() {
        if (onClick) onClick();
    }
};

class TextBox : public Widget {
public:
    using Widget::Widget;
    std::function<void()> onChange;
    const std::string& text() const { return text_; }
    void setText(const std::string& t);
    bool multiLine = false;
    char passwordChar = 0;
    bool locked = false;  // not editable by typing

private:
    std::string text_;
};

class CheckBox : public Widget {
public:
    using Widget::Widget;
    std::function<void()> onClick;
    int value() const { return value_; }
    // Refuses values outside 0..2 with error 380; runs onClick on a change.
    void setValue(int32_t v);
    void click() { setValue(value_ == 0 ? 1 : 0); }

private:
    int value_ = 0;
};

class OptionButton;

// The option buttons that exclude each other (one frame's buttons).
class OptionGroup {
public:
    void add(OptionButton* b) { members_.push_back(b); }
    const std::vector<OptionButton*>& members() const { return members_; }

private:
    std::vector<OptionButton*> members_;
};

class OptionButton : public Widget {
public:
    using Widget::Widget;
    std::function<void()> onClick;
    bool value() const { return value_; }
    // true: select (deselecting the group's others) and run onClick unless it
    // was selected already. false: just deselect.
    void setValue(bool v);
    void click() { setValue(true); }
    void joinGroup(OptionGroup* g) { group_ = g; g->add(this); }
    // Design-time state: selected without running any handler (a view is
    // still told, so it shows the same selection).
    void setDesignValue(bool v) {
        if (v == value_) return;
        value_ = v;
        announce("value");
    }

private:
    bool value_ = false;
    OptionGroup* group_ = nullptr;
};

class ComboBox : public Widget {
public:
    using Widget::Widget;
    std::function<void()> onClick;
    // Handlers get the key by reference; setting it to 0 cancels the key.
    std::function<void(int& keyCode, int shift)> onKeyDown;
    std::function<void(int& keyAscii)> onKeyPress;

    const std::vector<std::string>& list() const { return list_; }
    void addItem(const std::string& item) { list_.push_back(item); announce("list"); }
    void clear() { list_.clear(); listIndex_ = -1; announce("list"); }
    int listIndex() const { return listIndex_; }
    // Selects an entry (-1: none), sets the text to it and runs onClick.
    void setListIndex(int index);
    const std::string& text() const { return text_; }
    // Sets the text alone; no handler runs.
    void setText(const std::string& t) { text_ = t; announce("text"); }
    // A key from the user: down arrow (40) and up arrow (38) move the
    // selection unless a handler cancels the key.
    void keyDown(int keyCode, int shift = 0);
    void keyPress(int keyAscii);

private:
    std::vector<std::string> list_;
    int listIndex_ = -1;
    std::string text_;
};

// The tab sheet: tabs that can be made unavailable or hidden, the open tab,
// the enabled state and mouse pointer of the whole sheet.
class TabSheet : public Widget {
public:
    using Widget::Widget;
    struct Tab {
        std::string caption;
        bool enabled = true;
        bool visible = true;
    };
    void addTab(const std::string& caption) { tabs_.push_back({caption, true, true}); }
    int tabCount() const { return static_cast<int>(tabs_.size()); }
    const Tab& tab(int i) const { return tabs_.at(checkTab(i)); }
    void setTabEnabled(int i, bool e);
    void setTabVisible(int i, bool v);
    int currentTab() const { return current_; }
    void setCurrentTab(int i);

private:
    size_t checkTab(int i) const;
    std::vector<Tab> tabs_;
    int current_ = 0;
};

// A control array: elements by index; an index with no element fails with
// error 340 "Control array element 'n' doesn't exist".
template <class W>
class ControlArray {
public:
    explicit ControlArray(std::string name) : name_(std::move(name)) {}
    W& add(int index) {
        auto w = std::make_unique<W>(name_, index);
        W& ref = *w;
        items_[index] = std::move(w);
        return ref;
    }
    W& operator()(int64_t index) const {
        auto it = index >= INT32_MIN && index <= INT32_MAX ? items_.find(static_cast<int>(index)) : items_.end();
        if (it == items_.end()) throwMissing(index);
        return *it->second;
    }
    bool has(int index) const { return items_.count(index) != 0; }
    const std::string& name() const { return name_; }
    template <class F>
    void forEach(F&& f) const {
        for (auto& [i, w] : items_) f(*w);
    }

private:
    [[noreturn]] static void throwMissing(int64_t index);
    std::string name_;
    std::map<int, std::unique_ptr<W>> items_;
};

[[noreturn]] void throwControlArrayElement(int64_t index);

template <class W>
void ControlArray<W>::throwMissing(int64_t index) {
    throwControlArrayElement(index);
}

}  // namespace varnelo::ui
