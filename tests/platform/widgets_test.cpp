// The widget kit's event rules: when handlers run, what is refused, and in
// which order nested handlers complete.
#include "platform/widgets.h"
#include "support/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace varnelo::ui {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

using testing_support::errorOf;

TEST(CheckBoxRules, StatesZeroToTwoRunClickOnlyWhenTheStateChanges) {
    CheckBox box("chkOption", 3);
    std::vector<int> clicks;
    box.onClick = [&] { clicks.push_back(box.value()); };
    for (int v : {1, 1, 2, 2, 0}) box.setValue(v);
    EXPECT_THAT(clicks, ElementsAre(1, 2, 0));
}

TEST(CheckBoxRules, ValuesOutsideZeroToTwoAreRefusedWith380AndChangeNothing) {
    CheckBox box("chkOption", 7);
    box.setValue(2);
    int clicks = 0;
    box.onClick = [&] { ++clicks; };
    for (int32_t bad : {-1, 3, 5, 1 << 20}) {
        EXPECT_EQ(errorOf([&] { box.setValue(bad); }).number(), err::kInvalidPropertyValue) << bad;
        EXPECT_EQ(box.value(), 2);
    }
    EXPECT_EQ(clicks, 0);
}

TEST(CheckBoxRules, UserClickGoesZeroToOneAndOneOrGreyToZero) {
    CheckBox box("ckHtml");
    std::vector<int> clicks;
    box.onClick = [&] { clicks.push_back(box.value()); };
    box.click();  // 0 -> 1
    box.click();  // 1 -> 0
    box.setValue(2);
    box.click();  // 2 -> 0
    EXPECT_THAT(clicks, ElementsAre(1, 0, 2, 0));
}

class OptionGroupTest : public ::testing::Test {
protected:
    OptionGroupTest() {
        for (int i = 0; i < 3; ++i) {
            OptionButton& b = buttons.add(i);
            b.joinGroup(&group);
            b.onClick = [this, i] { clicks.push_back(i); };
        }
        loner.onClick = [this] { clicks.push_back(99); };
    }
    std::vector<bool> states() const {
        return {buttons(0).value(), buttons(1).value(), buttons(2).value()};
    }
    ControlArray<OptionButton> buttons{"optFormat"};
    OptionGroup group;
    OptionButton loner{"optOther"};
    std::vector<int> clicks;
};

TEST_F(OptionGroupTest, SelectingDeselectsTheGroupAndClicksOnlyWhenNotSelected) {
    loner.setValue(true);
    buttons(1).setValue(true);
    EXPECT_EQ(states(), (std::vector<bool>{false, true, false}));
    buttons(1).setValue(true);  // already selected: no click
    buttons(1).click();         // nor from the user
    buttons(2).click();
    EXPECT_EQ(states(), (std::vector<bool>{false, false, true}));
    EXPECT_TRUE(loner.value()) << "a button outside the group is not touched";
    EXPECT_THAT(clicks, ElementsAre(99, 1, 2));
}

TEST_F(OptionGroupTest, DeselectingAndDesignValuesRunNoHandler) {
    buttons(0).setDesignValue(true);
    buttons(0).setValue(false);
    EXPECT_FALSE(buttons(0).value());
    buttons(0).setDesignValue(true);
    buttons(0).setValue(true);  // selected by design: no click
    EXPECT_THAT(clicks, IsEmpty());
}

TEST(ControlArrayRules, AMissingElementFailsWith340NamingTheIndex) {
    ControlArray<CheckBox> boxes("chkOption");
    boxes.add(8);
    boxes.add(10);
    EXPECT_EQ(boxes(10).fullName(), "chkOption(10)");
    Error e = errorOf([&] { boxes(9); });
    EXPECT_EQ(e.number(), err::kControlArrayElement);
    EXPECT_EQ(e.description(), "Control array element '9' doesn't exist");
    EXPECT_EQ(errorOf([&] { boxes(-1); }).description(), "Control array element '-1' doesn't exist");
}

TEST(TextRules, ChangeRunsOnlyForADifferentText) {
    TextBox box("txttable");
    Label label("lblDateFormat");
    std::vector<std::string> changes;
    box.onChange = [&] { changes.push_back("box:" + box.text()); };
    label.onChange = [&] { changes.push_back("label:" + label.caption()); };
    box.setText("T1");
    box.setText("T1");
    box.setText("");
    label.setCaption("dd/MM/yyyy");
    label.setCaption("dd/MM/yyyy");
    EXPECT_THAT(changes, ElementsAre("box:T1", "box:", "label:dd/MM/yyyy"));
}

TEST(ComboBoxRules, ListIndexClicksTextAloneDoesNotAndKeysCanBeCancelled) {
    ComboBox combo("cboPriority");
    for (const char* e : {"Normal", "High", "Low"}) combo.addItem(e);
    int clicks = 0;
    combo.onClick = [&] { ++clicks; };
    combo.setListIndex(1);
    EXPECT_EQ(combo.text(), "High");
    combo.setText("Low");
    EXPECT_EQ(combo.listIndex(), 1);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(errorOf([&] { combo.setListIndex(3); }).number(), err::kInvalidPropertyValue);

    combo.keyDown(40);  // down arrow moves the selection
    EXPECT_EQ(combo.listIndex(), 2);
    combo.onKeyDown = [](int& key, int) { key = 0; };
    combo.onKeyPress = [](int& key) { key = 0; };
    combo.keyDown(38);
    combo.keyPress('x');
    EXPECT_EQ(combo.listIndex(), 2);
    EXPECT_EQ(combo.text(), "Low");
    EXPECT_EQ(clicks, 2);
}

TEST(HandlerNesting, AHandlerThatSetsAnotherWidgetWaitsForItsHandler) {
    CheckBox box("chkOption", 10);
    TextBox attach("txtAttach");
    Label caption("lblAttach");
    std::vector<std::string> log;
    box.onClick = [&] {
        log.push_back("click begins");
        attach.setText("out.csv");
        log.push_back("click ends with " + caption.caption());
    };
    attach.onChange = [&] {
        log.push_back("change begins");
        caption.setCaption(attach.text());
        log.push_back("change ends");
    };
    caption.onChange = [&] { log.push_back("caption " + caption.caption()); };
    box.setValue(1);
    EXPECT_THAT(log, ElementsAre("click begins", "change begins", "caption out.csv", "change ends",
                                 "click ends with out.csv"));
}

TEST(Observers, EveryStateChangeIsAnnounced) {
    CheckBox box("chkSaveTo", 1);
    std::vector<std::string> seen;
    box.setObserver([&](const Widget& w, std::string_view what) { seen.push_back(w.fullName() + "." + std::string(what)); });
    box.setValue(1);
    box.setEnabled(false);
    box.setEnabled(false);  // no change, nothing to announce
    box.setVisible(false);
    EXPECT_THAT(seen, ElementsAre("chkSaveTo(1).value", "chkSaveTo(1).enabled", "chkSaveTo(1).visible"));

    // A selection made without a click is announced all the same.
    OptionButton option("optFormat", 2);
    option.setObserver([&](const Widget& w, std::string_view what) { seen.push_back(w.fullName() + "." + std::string(what)); });
    seen.clear();
    option.setDesignValue(true);
    option.setDesignValue(true);
    EXPECT_THAT(seen, ElementsAre("optFormat(2).value"));
}

}  // namespace
}  // namespace varnelo::ui
