// The widget kit's event rules: when handlers run, what is refused, and in
// which order nested handlers complete.
#include "platform/widgets.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace varnelo::ui {
namespace {

using ::testing::ElementsAre;
using testing_support::errorOf;

TEST(CheckBoxRules, ClickRunsOnChangeOnlyAndStatesOutsideZeroToTwoAreRefused) {
    CheckBox box("chkOption", 3);
    std::vector<int> clicks;
    box.onClick = [&] { clicks.push_back(box.value()); };
    for (int v : {1, 1, 2, 2, 0}) box.setValue(v);
    box.click();  // the user's click: 0 -> 1, 1 -> 0, grey -> 0
    box.click();
    box.setValue(2);
    for (int32_t bad : {-1, 3, 5, 1 << 20}) {
        EXPECT_EQ(errorOf([&] { box.setValue(bad); }).number(), err::kInvalidPropertyValue) << bad;
        EXPECT_EQ(box.value(), 2);
    }
    box.click();
    EXPECT_THAT(clicks, ElementsAre(1, 2, 0, 1, 0, 2, 0));
}

TEST(OptionGroupRules, SelectingDeselectsTheGroupAndClicksOnlyWhenNotSelected) {
    ControlArray<OptionButton> buttons("optFormat");
    OptionGroup group;
    OptionButton loner("optOther");
    std::vector<int> clicks;
    for (int i = 0; i < 3; ++i) {
        buttons.add(i).joinGroup(&group);
        buttons(i).onClick = [&clicks, i] { clicks.push_back(i); };
    }
    loner.onClick = [&] { clicks.push_back(99); };
    auto states = [&] { return std::vector<bool>{buttons(0).value(), buttons(1).value(), buttons(2).value()}; };

    buttons(0).setDesignValue(true);  // design values and deselecting run no handler
    buttons(0).setValue(false);
    EXPECT_FALSE(buttons(0).value());
    buttons(0).setDesignValue(true);
    buttons(0).setValue(true);  // selected by design: no click
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

    combo.keyDown(36);  // Home, End and the down arrow move the selection
    EXPECT_EQ(combo.listIndex(), 0);
    combo.keyDown(35);
    EXPECT_EQ(combo.listIndex(), 2);
    combo.keyDown(38);
    combo.keyDown(40);
    EXPECT_EQ(combo.listIndex(), 2);
    combo.onKeyDown = [](int& key, int) { key = 0; };
    combo.onKeyPress = [](int& key) { key = 0; };
    combo.keyDown(38);
    combo.keyPress('x');
    EXPECT_EQ(combo.listIndex(), 2);
    EXPECT_EQ(combo.text(), "Low");
    EXPECT_EQ(clicks, 5);
}

TEST(HandlerRules, ChangeRunsForNewTextOnlyAndANestedHandlerFinishesFirst) {
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
    log.clear();
    attach.setText("out.csv");
    caption.setCaption("out.csv");
    attach.setText("");
    EXPECT_THAT(log, ElementsAre("change begins", "caption ", "change ends"));
}

TEST(Observers, EveryStateChangeIsAnnounced) {
    std::vector<std::string> seen;
    auto record = [&](const Widget& w, std::string_view what) { seen.push_back(w.fullName() + "." += what); };
    CheckBox box("chkSaveTo", 1);
    box.addObserver(record);
    box.setValue(1);
    box.setEnabled(false);
    box.setEnabled(false);  // no change, nothing to announce
    box.setVisible(false);
    // A selection made without a click is announced all the same.
    OptionButton option("optFormat", 2);
    option.addObserver(record);
    option.setDesignValue(true);
    option.setDesignValue(true);
    EXPECT_THAT(seen, ElementsAre("chkSaveTo(1).value", "chkSaveTo(1).enabled", "chkSaveTo(1).visible",
                                  "optFormat(2).value"));
}

TEST(Observers, SeveralObserversAreAllToldUntilRemoved) {
    TextBox box("txtTo");
    std::vector<std::string> seen;
    const int view = box.addObserver([&](const Widget&, std::string_view what) { seen.push_back(std::string("view ") += what); });
    box.addObserver([&](const Widget&, std::string_view what) { seen.push_back(std::string("test ") += what); });
    box.setText("a");
    box.removeObserver(view);
    box.setText("b");
    EXPECT_THAT(seen, ElementsAre("view text", "test text", "test text"));
}

TEST(Reach, ContainersAndTabsDecideWhatTheUserReachesAndUserErrorsGoToTheSink) {
    TabSheet sheet("SSTab1");
    sheet.addTab("one");
    sheet.addTab("two");
    Frame frame("fraOthers");
    frame.setContainer("SSTab1(1)", &sheet, 1);
    CheckBox box("chkOption", 1);
    box.setContainer("fraOthers", &frame);
    int clicks = 0;
    box.onClick = [&] { ++clicks; };

    auto reach = [&] { return std::vector<bool>{box.effectiveEnabled(), box.effectiveVisible()}; };
    EXPECT_EQ(reach(), (std::vector<bool>{true, true}));
    frame.setEnabled(false);
    EXPECT_EQ(reach(), (std::vector<bool>{false, true}));
    box.click();
    frame.setEnabled(true);
    sheet.setTabEnabled(1, false);
    EXPECT_EQ(reach(), (std::vector<bool>{false, true}));
    box.click();
    sheet.setTabEnabled(1, true);
    sheet.setTabVisible(1, false);
    EXPECT_EQ(reach(), (std::vector<bool>{true, false}));
    box.click();
    sheet.setTabVisible(1, true);
    sheet.setEnabled(false);
    box.click();
    EXPECT_EQ(clicks, 0) << "nothing out of reach takes a click";
    box.setValue(1);
    EXPECT_EQ(clicks, 1) << "the program's write works all the same";
    box.loadValue(0);
    EXPECT_EQ(clicks, 1) << "a load runs no handler";

    sheet.setEnabled(true);
    box.onClick = [] { throw Error::standard(err::kInvalidPropertyValue); };
    EXPECT_EQ(errorOf([&] { box.click(); }).number(), err::kInvalidPropertyValue) << "no sink: it escapes";
    std::vector<int32_t> sunk;
    box.setErrorSink([&](const Error& e) { sunk.push_back(e.number()); });
    box.click();
    EXPECT_THAT(sunk, ElementsAre(err::kInvalidPropertyValue));
}

}  // namespace
}  // namespace varnelo::ui
