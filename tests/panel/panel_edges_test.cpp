// What happens at the edge of a handler the user started: errors shown in
// the one report window instead of escaping, and the Save button opening
// only a file its own click wrote.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "control/control_fixture.h"
#include "support/test_support.h"
#include "varnelo/memory_recordset.h"

namespace varnelo {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing_support::TempDir;

class PanelEdgesTest : public testing_control::ControlTest {
protected:
    TempDir dir;
    std::string file = dir.file("out.csv");
    std::shared_ptr<MemoryRecordset> source = std::make_shared<MemoryRecordset>(
        std::vector<std::string>{"A"}, std::vector<int>{adtype::kInteger}, std::vector<std::vector<Variant>>{{1}});
};

TEST_F(PanelEdgesTest, AnErrorLeavingAUsersClickGoesToTheOneReportWindow) {
    control.DataSource(source);
    control.OutputFile(dir.file("missing/out.csv"));  // no such folder: the writer fails
    forget();
    EXPECT_NO_THROW(p().cmdSave.click());
    ASSERT_EQ(desktop.reports.size(), 1u);
    EXPECT_THAT(desktop.reports[0], HasSubstr("  Call Stack: Varnelo.cmdSave_Click() "));
    EXPECT_THAT(testing_control::callStack(desktop.reports[0]),
                ElementsAre("Varnelo.ascii_IO", "Varnelo.Save", "Varnelo.cmdSave_Click"));
    EXPECT_TRUE(p().cmdSave.visible()) << "the button's own clean-up still ran";

    // A second failure replaces the report; no second window opens.
    p().chkOption(10).click();                 // mail mode: the priority list is in reach
    EXPECT_NO_THROW(p().cboPriority.pick(7));  // no such entry
    ASSERT_EQ(desktop.reports.size(), 2u);
    EXPECT_THAT(desktop.reports[1], HasSubstr("Invalid property value"));
    EXPECT_EQ(desktop.reportOpenings, 1);

    // The same failure reached through a property write goes to the host that wrote it.
    EXPECT_THROW(control.Format(12), Error);
    EXPECT_EQ(desktop.reports.size(), 2u);
}

TEST_F(PanelEdgesTest, TheSaveButtonOpensOnlyWhatThisClickWrote) {
    control.DataSource(source);
    control.LaunchFile(1);
    control.OutputFile(file);
    control.OutputFile("");  // a name was there before; now nothing to save to
    forget();
    p().cmdSave.click();
    EXPECT_THAT(desktop.calls, ElementsAre("showWait", "messageBox:Missing Configuration", "closeWait"));

    control.OutputFile(file);
    control.Format(ExcelInstance);  // writes nothing: refused, and the report window says so
    forget();
    p().cmdSave.setVisible(true);
    p().cmdSave.click();
    EXPECT_THAT(desktop.calls, ElementsAre("showWait", "closeWait", "showReport"));

    control.Format(Ascii);
    forget();
    p().cmdSave.click();
    EXPECT_THAT(desktop.calls, ElementsAre("showWait", "open:" + file, "closeWait"));
    EXPECT_TRUE(std::filesystem::exists(file));
}

TEST_F(PanelEdgesTest, UnreachableWidgetsIgnoreTheUser) {
    p().fraOthers.setEnabled(false);  // a disabled frame disables what it holds
    p().chkOption(1).click();
    EXPECT_EQ(control.Quotes(), 0);
    EXPECT_FALSE(p().chkOption(1).effectiveEnabled());
    EXPECT_TRUE(p().chkOption(1).enabled());
    p().fraOthers.setEnabled(true);

    p().SSTab1.setEnabled(false);  // the whole sheet, as while a writer runs
    p().optFormat(3).click();
    EXPECT_EQ(control.Format(), Ascii);
    p().SSTab1.setEnabled(true);

    p().fraOption1.setVisible(false);  // a hidden frame hides what it holds
    EXPECT_FALSE(p().txtCommitInt.effectiveVisible());
    p().txtCommitInt.setEnabled(true);
    p().txtCommitInt.type("5");
    EXPECT_EQ(control.CommitInterval(), "1000");
    EXPECT_THAT(host.changes, ::testing::IsEmpty());
}

}  // namespace
}  // namespace varnelo
