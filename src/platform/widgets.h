// A headless widget kit that keeps the classic toolkit's event rules.
//
// The control's panel logic is written against these widgets, never against
// a real toolkit, so every rule of the panel runs and is tested without a
// display. Views (the Qt front end, a scripted driver, a test) follow the
// model through observers; a widget takes any number of them.
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
//  - load*() and setDesignValue() set a state the way a saved design or a
//    settings load does: observers are told, no handler runs.
//
// Program and user: setValue, setText, setListIndex are the program's
// writes and work whatever the widget's state. click(), type(), pick(),
// keyDown() and keyPress() are the user's actions: they do nothing unless the
// user can reach the widget (effectively enabled and visible: the widget and
// every frame and tab that contains it). An error that escapes a user's
// action has no caller to take it; it goes to the widget's error sink (the
// control shows it in its report window) and is thrown on only when no sink
// is set.
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
// ("caption", "text", "value", "enabled", "visible", ...). A change of a
// frame's or tab's state changes the effective state of what it contains
// without an announcement for each contained widget.
using Observer = std::function<void(const Widget&, std::string_view)>;

// Takes an error that escaped a user's action.
using ErrorSink = std::function<void(const Error&)>;

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
    // The container this widget sits in, by name ("fraOthers", "SSTab1(0)"),
    // and the widget behind it: a frame, or a tab sheet with the tab index.
    const std::string& container() const { return container_; }
    void setContainer(std::string name, Widget* parent = nullptr, int tab = -1) {
        container_ = std::move(name);
        parent_ = parent;
        parentTab_ = tab;
    }
    const Widget* parent() const { return parent_; }

    // What the user meets: disabled or hidden when the widget or anything
    // that contains it (frame, tab, tab sheet) is.
    bool effectiveEnabled() const;
    bool effectiveVisible() const;
    bool reachable() const { return effectiveEnabled() && effectiveVisible(); }

    // Observers are told in the order they were added; the id removes one.
    int addObserver(Observer o);
    void removeObserver(int id);

    void setErrorSink(ErrorSink sink) { errorSink_ = std::move(sink); }

protected:
    void announce(std::string_view what) const;
    // Whether tab `tab` of this widget (a tab sheet) lets its contents be
    // used or seen.
    virtual bool tabEnabled(int) const { return true; }
    virtual bool tabVisible(int) const { return true; }
    // Runs a user's action on this widget: nothing when out of reach; an
    // escaping error goes to the error sink.
    void userAction(const std::function<void()>& action);

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
    Widget* parent_ = nullptr;
    int parentTab_ = -1;
    int nextObserverId_ = 1;
    std::vector<std::pair<int, Observer>> observers_;
    ErrorSink errorSink_;
};

class Label : public Widget {
public:
    using Widget::Widget;
    std::function<void()> onChange;
    void setCaption(const std::string& c) override;
    void loadCaption(const std::string& c) { Widget::setCaption(c); }
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
        userAction([this] {
            if (onClick) onClick();
        });
    }
};

class TextBox : public Widget {
public:
    using Widget::Widget;
    std::function<void()> onChange;
    const std::string& text() const { return text_; }
    void setText(const std::string& t);
    void loadText(const std::string& t);
    // The user replaces the text by typing; a locked box takes no typing.
    void type(const std::string& t) {
        userAction([&] {
            if (!locked) setText(t);
        });
    }
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
    void loadValue(int32_t v);
    void click() {
        userAction([this] { setValue(value_ == 0 ? 1 : 0); });
    }
    // Refuses a state outside 0..2 with error 380 naming `who`.
    static void checkState(int32_t v, const std::string& who);

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
    void click() {
        userAction([this] { setValue(true); });
    }
    void joinGroup(OptionGroup* g) { group_ = g; g->add(this); }
    // Design-time state: selected (the group's others deselected) or not,
    // without running any handler; a view is still told.
    void setDesignValue(bool v);

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
    // The user clicks entry `index` of the list.
    void pick(int index) {
        userAction([&] { setListIndex(index); });
    }
    const std::string& text() const { return text_; }
    // Sets the text alone; no handler runs.
    void setText(const std::string& t) { text_ = t; announce("text"); }
    // A key from the user: down arrow (40), up arrow (38), Home (36) and End
    // (35) move the selection unless a handler cancels the key; a character that gets
    // through is typed into the text, except in a pick-only list.
    void keyDown(int keyCode, int shift = 0);
    void keyPress(int keyAscii);
    // A pick-only list (drop-down list): its text is always one of the
    // entries, or empty while nothing is picked.
    bool pickOnly = false;

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

protected:
    bool tabEnabled(int i) const override { return i >= 0 && i < tabCount() && tabs_[static_cast<size_t>(i)].enabled; }
    bool tabVisible(int i) const override { return i >= 0 && i < tabCount() && tabs_[static_cast<size_t>(i)].visible; }

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
