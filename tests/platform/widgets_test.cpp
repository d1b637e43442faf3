// The widget kit's event rules: when handlers run, what is refused, who is
// told of a change, and what the user can reach.
#include "platform/widgets.h"

#include <gmock/gmock.h>

#include <functional>

#include "support/test_support.h"

namespace varnelo::ui {
namespace {

using ::testing::ElementsAre;
using testing_support::errorOf;

// A check box clicks on a change only (the user's click: 0 -> 1, 1 or grey
// -> 0) and refuses states outside 0..2. Selecting an option deselects its
// group and clicks only when it was not selected; a design value never clicks.
TEST(WidgetRules, CheckBoxAndOptionGroupClickOnlyOnAChange) {
    CheckBox box("chkOption", 3);
    std::vector<int> clicks;
    box.onClick = [&] { clicks.push_back(box.value()); };
    for (int v : {1, 1, 2, 2, 0}) box.setValue(v);
    box.click();
    box.setValue(2);
    for (int32_t bad : {-1, 3}) EXPECT_EQ(errorOf([&] { box.setValue(bad); }).number(), err::kInvalidPropertyValue);
    box.click();
    EXPECT_THAT(clicks, ElementsAre(1, 2, 0, 1, 2, 0));

    ControlArray<OptionButton> buttons("optFormat");
    OptionGroup group;
    clicks.clear();
    for (int i = 0; i < 3; ++i) {
        buttons.add(i).joinGroup(&group);
        buttons(i).onClick = [&clicks, i] { clicks.push_back(i); };
    }
    buttons(0).setDesignValue(true);
    buttons(0).setValue(true);
    buttons(1).setValue(true);
    buttons(1).click();
    buttons(2).click();
    EXPECT_EQ((std::vector{buttons(0).value(), buttons(1).value(), buttons(2).value()}), (std::vector{false, false, true}));
    EXPECT_THAT(clicks, ElementsAre(1, 2));
    EXPECT_EQ(errorOf([&] { buttons(9); }).description(), "Control array element '9' doesn't exist");
}

// A list clicks when its index is set and refuses an index it has no entry
// for; Home, End and the arrows move it unless a key handler cancels the key.
TEST(WidgetRules, ListIndexClicksAndKeysMoveUnlessCancelled) {
    ComboBox combo("cboPriority");
    for (const char* e : {"Normal", "High", "Low"}) combo.addItem(e);
    int clicks = 0;
    combo.onClick = [&] { ++clicks; };
    combo.setListIndex(1);
    EXPECT_EQ(std::pair(combo.listIndex(), clicks), std::pair(1, 1));
    EXPECT_EQ(errorOf([&] { combo.setListIndex(3); }).description(),
              "Invalid property value (cboPriority: no entry 3 in a list of 3)");
    std::string seen;
    for (int key : {36, 35, 38, 38, 38, 40, 40, 40}) combo.keyDown(key), seen += std::to_string(combo.listIndex());
    EXPECT_EQ(seen, "02100122");  // no move past either end, and no click then
    combo.onKeyDown = [](int& key, int) { key = 0; };
    combo.keyDown(38);
    EXPECT_EQ(std::pair(combo.listIndex(), clicks), std::pair(2, 7));
}

// Change runs for new text only; every observer is told of each change, in
// order, until removed.
TEST(WidgetRules, ChangeRunsForNewTextOnlyAndObserversAreToldUntilRemoved) {
    TextBox box("txtAttach");
    std::vector<std::string> log;
    box.onChange = [&] { log.push_back("change " + box.text()); };
    const int view = box.addObserver([&](const Widget&, std::string_view what) { log.push_back(std::string("view ") += what); });
    box.addObserver([&](const Widget&, std::string_view what) { log.push_back(std::string("test ") += what); });
    box.setText("a");
    box.setText("a");
    box.removeObserver(view);
    box.setEnabled(false);
    box.setEnabled(false);
    EXPECT_THAT(log, ElementsAre("view text", "test text", "change a", "test enabled"));
}

// Frames, tabs and the sheet decide what the user reaches; the program's
// writes work regardless; an error escaping a user's action goes to the sink.
TEST(WidgetRules, ContainersDecideWhatTheUserReachesAndUserErrorsGoToTheSink) {
    TabSheet sheet("SSTab1");
    for (const char* tab : {"one", "two"}) sheet.addTab(tab);
    Frame frame("fraOthers");
    frame.setContainer("SSTab1(1)", &sheet, 1);
    CheckBox box("chkOption", 1);
    box.setContainer("fraOthers", &frame);
    int clicks = 0;
    box.onClick = [&] { ++clicks; };
    const std::function<void(bool)> blockers[] = {
        [&](bool on) { frame.setEnabled(on); }, [&](bool on) { sheet.setTabEnabled(1, on); },
        [&](bool on) { sheet.setTabVisible(1, on); }, [&](bool on) { frame.setVisible(on); }};
    std::string reach;
    for (const auto& blocker : blockers) {
        blocker(false);
        reach += std::to_string(box.effectiveEnabled()) + std::to_string(box.effectiveVisible()) + " ";
        box.click();
        blocker(true);
    }
    EXPECT_EQ(reach, "01 01 10 10 ");
    box.setValue(1);
    box.loadValue(0);
    EXPECT_EQ(clicks, 1) << "only the program's write ran the handler";
    box.onClick = [] { throw Error::standard(err::kInvalidPropertyValue); };
    EXPECT_EQ(errorOf([&] { box.click(); }).number(), err::kInvalidPropertyValue) << "no sink: it escapes";
    int32_t sunk = 0;
    box.setErrorSink([&](const Error& e) { sunk = e.number(); });
    box.click();
    EXPECT_EQ(sunk, err::kInvalidPropertyValue);
}

}  // namespace
}  // namespace varnelo::ui
