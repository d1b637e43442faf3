#include "platform/widgets.h"

namespace varnelo::ui {

namespace {
// Error 380 naming the widget and what it refused: the report of a refused
// user action has no call stack to say where it came from.
Error refused(const std::string& widget, const std::string& why) {
    return Error(err::kInvalidPropertyValue, widget,
                 standardErrorText(err::kInvalidPropertyValue) + " (" + widget + ": " + why + ")");
}
}  // namespace

std::string Widget::fullName() const {
    return index_ < 0 ? name_ : name_ + "(" + std::to_string(index_) + ")";
}

bool Widget::effectiveEnabled() const {
    for (const Widget* w = this; w; w = w->parent_) {
        if (!w->enabled_) return false;
        if (w->parent_ && w->parentTab_ >= 0 && !w->parent_->tabEnabled(w->parentTab_)) return false;
    }
    return true;
}

bool Widget::effectiveVisible() const {
    for (const Widget* w = this; w; w = w->parent_) {
        if (!w->visible_) return false;
        if (w->parent_ && w->parentTab_ >= 0 && !w->parent_->tabVisible(w->parentTab_)) return false;
    }
    return true;
}

int Widget::addObserver(Observer o) {
    int id = nextObserverId_++;
    observers_.emplace_back(id, std::move(o));
    return id;
}

void Widget::removeObserver(int id) {
    std::erase_if(observers_, [id](const auto& entry) { return entry.first == id; });
}

void Widget::announce(std::string_view what) const {
    if (observers_.empty()) return;
    // A copy, so an observer may add or remove observers while it is told.
    auto observers = observers_;
    for (const auto& [id, observer] : observers) observer(*this, what);
}

void Widget::userAction(const std::function<void()>& action) {
    if (!reachable()) return;
    if (!errorSink_) {
        action();
        return;
    }
    try {
        action();
    } catch (const Error& e) {
        errorSink_(e);
    } catch (const std::exception& e) {
        errorSink_(Error(51, "Varnelo", e.what()));
    }
}

void Widget::move(int left, int top, int width, int height) {
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    announce("position");
}

void Label::setCaption(const std::string& c) {
    if (c == caption()) return;
    Widget::setCaption(c);
    if (onChange) onChange();
}

void TextBox::loadText(const std::string& t) {
    if (t == text_) return;
    text_ = t;
    announce("text");
}

void TextBox::setText(const std::string& t) {
    if (t == text_) return;
    text_ = t;
    announce("text");
    if (onChange) onChange();
}

void CheckBox::checkState(int32_t v, const std::string& who) {
    if (v < 0 || v > 2) throw refused(who, "a check box takes 0, 1 or 2, not " + std::to_string(v));
}

void CheckBox::loadValue(int32_t v) {
    checkState(v, fullName());
    if (v == value_) return;
    value_ = v;
    announce("value");
}

void CheckBox::setValue(int32_t v) {
    checkState(v, fullName());
    if (v == value_) return;
    value_ = v;
    announce("value");
    if (onClick) onClick();
}

void OptionButton::setDesignValue(bool v) {
    if (v && group_) {
        for (OptionButton* other : group_->members())
            if (other != this && other->value_) {
                other->value_ = false;
                other->announce("value");
            }
    }
    if (v == value_) return;
    value_ = v;
    announce("value");
}

void OptionButton::setValue(bool v) {
    if (!v) {
        if (value_) {
            value_ = false;
            announce("value");
        }
        return;
    }
    if (value_) return;
    if (group_) {
        for (OptionButton* other : group_->members())
            if (other != this && other->value_) {
                other->value_ = false;
                other->announce("value");
            }
    }
    value_ = true;
    announce("value");
    if (onClick) onClick();
}

void ComboBox::setListIndex(int index) {
    if (index < -1 || index >= static_cast<int>(list_.size()))
        throw refused(fullName(), "no entry " + std::to_string(index) + " in a list of " + std::to_string(list_.size()));
    listIndex_ = index;
    text_ = index < 0 ? std::string() : list_[static_cast<size_t>(index)];
    announce("listIndex");
    if (onClick) onClick();
}

void ComboBox::keyDown(int keyCode, int shift) {
    userAction([&] {
        if (onKeyDown) onKeyDown(keyCode, shift);
        const int last = static_cast<int>(list_.size()) - 1;
        if (keyCode == 40 && listIndex_ < last) setListIndex(listIndex_ + 1);
        else if (keyCode == 38 && listIndex_ > 0) setListIndex(listIndex_ - 1);
        else if (keyCode == 36 && last >= 0 && listIndex_ != 0) setListIndex(0);
        else if (keyCode == 35 && last >= 0 && listIndex_ != last) setListIndex(last);
    });
}

void ComboBox::keyPress(int keyAscii) {
    userAction([&] {
        if (onKeyPress) onKeyPress(keyAscii);
        // A key that got through is typed into the text of an editable list.
        if (keyAscii >= 32 && keyAscii < 256 && !pickOnly) setText(text_ + static_cast<char>(keyAscii));
    });
}

size_t TabSheet::checkTab(int i) const {
    if (i < 0 || i >= tabCount())
        throw refused(fullName(), "no tab " + std::to_string(i) + " of " + std::to_string(tabCount()));
    return static_cast<size_t>(i);
}

void TabSheet::setTabEnabled(int i, bool e) {
    tabs_[checkTab(i)].enabled = e;
    announce("tabEnabled");
}

void TabSheet::setTabVisible(int i, bool v) {
    tabs_[checkTab(i)].visible = v;
    announce("tabVisible");
}

void TabSheet::setCurrentTab(int i) {
    current_ = static_cast<int>(checkTab(i));
    announce("tab");
}

void throwControlArrayElement(int64_t index) {
    throw Error(err::kControlArrayElement, "Varnelo",
                "Control array element '" + std::to_string(index) + "' doesn't exist");
}

}  // namespace varnelo::ui
