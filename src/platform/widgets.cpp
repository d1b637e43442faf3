#include "platform/widgets.h"

namespace varnelo::ui {

std::string Widget::fullName() const {
    return index_ < 0 ? name_ : name_ + "(" + std::to_string(index_) + ")";
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

void TextBox::setText(const std::string& t) {
    if (t == text_) return;
    text_ = t;
    announce("text");
    if (onChange) onChange();
}

void CheckBox::setValue(int32_t v) {
    if (v < 0 || v > 2) throw Error::standard(err::kInvalidPropertyValue, fullName());
    if (v == value_) return;
    value_ = v;
    announce("value");
    if (onClick) onClick();
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
        throw Error::standard(err::kInvalidPropertyValue, fullName());
    listIndex_ = index;
    text_ = index < 0 ? std::string() : list_[static_cast<size_t>(index)];
    announce("listIndex");
    if (onClick) onClick();
}

void ComboBox::keyDown(int keyCode, int shift) {
    if (onKeyDown) onKeyDown(keyCode, shift);
    if (keyCode == 40 && listIndex_ + 1 < static_cast<int>(list_.size())) setListIndex(listIndex_ + 1);
    else if (keyCode == 38 && listIndex_ > 0) setListIndex(listIndex_ - 1);
}

void ComboBox::keyPress(int keyAscii) {
    if (onKeyPress) onKeyPress(keyAscii);
    // A key that got through would be typed into the text.
    if (keyAscii >= 32) setText(text_ + static_cast<char>(keyAscii));
}

size_t TabSheet::checkTab(int i) const {
    if (i < 0 || i >= tabCount()) throw Error::standard(err::kInvalidPropertyValue, fullName());
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
