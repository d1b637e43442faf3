// The driver: the check that speaks first, each format's separator, the panel locked around the writer, the buttons,
// every failing file operation, and a host without a screen (HeadlessDesktop).
#include <gmock/gmock.h>

#include <filesystem>
#include <iostream>

#include "control/control_fixture.h"
#include "support/file_faults.h"
#include "varnelo/memory_recordset.h"

namespace varnelo {
namespace {

using ::testing::ElementsAre, ::testing::FieldsAre, ::testing::HasSubstr, ::testing::IsEmpty;
using testing_control::callStack, testing_control::errorOf;
using testing_support::failEveryOperation, testing_support::readFile, testing_support::TempDir;
namespace fs = std::filesystem;

class DriverTest : public testing_control::ControlTest {
protected:
    // A request passing every check of `format` on the stored defaults, from a host that only writes properties.
    void ready(int32_t format) {
        control.DataSource(source), control.Format(format), control.OutputFile(file), control.InsertTable("T"), forget();
    }
    TempDir dir;
    std::string file = dir.file("out.txt");
    std::shared_ptr<MemoryRecordset> source = std::make_shared<MemoryRecordset>(
        std::vector<std::string>{"A", "B"}, std::vector<int>{adtype::kInteger, adtype::kVarChar},
        std::vector<std::vector<Variant>>{{1, "x"}, {2, "y"}});
};

// The first missing setting is named in a message box and nothing written; SaveToFile other than 1 skips file checks.
TEST_F(DriverTest, TheFirstMissingSettingIsReportedAndNothingIsWritten) {
    const std::string config = "Missing Configuration: Please ";
    const std::tuple<int32_t, std::function<void()>, std::string> cases[] = {
        {ExcelInstance, [&] { control.DataSource(nullptr); }, "Missing DataSource: Please set the DataSource to proceed."},
        {DelimOther, [&] { control.DelimChar(""); control.OutputFile(""); },
         "Missing configuration: Please enter Field separator to proceed."},
        {Ascii, [&] { control.OutputFile(""); }, config + "enter file name to proceed."},
        {Inserts, [&] { control.InsertTable(""); control.OutputFile(""); }, config + "enter Table name to proceed."},
        {SQLLoader, [&] { control.CommitInterval(""); }, config + "enter Commit interval to proceed."},
        {Ascii, [&] { p().optSaveTo(0).setValue(true); }, config + "select file option to proceed."}};
    for (const auto& [format, spoil, message] : cases) {
        ready(format), spoil(), forget();
        EXPECT_FALSE(control.Save());
        EXPECT_THAT(shown(), ElementsAre(message + " (48)"));
        EXPECT_FALSE(fs::exists(file));
    }
    EXPECT_TRUE((control.SaveToFile(0), control.Save()));
    EXPECT_EQ(readFile(file), "A,B\r\n1,x\r\n2,y");
}

// Ascii, Tab, Other and Inserts set the separator before their writer runs, the others keep the host's, unrecorded;
// Excel Instance writes nothing and raises 380 naming the value, leaving the tab sheet untouched.
TEST_F(DriverTest, EachFormatLeavesItsSeparatorInFieldSeparatorWithoutRecordingIt) {
    const std::pair<int32_t, const char*> cases[] = {{Ascii, ","}, {DelimTab, "\t"}, {DelimOther, ";"}, {Inserts, ","},
        {ExcelFile, "#"}, {HTMLTable, "#"}, {SQLLoader, "#"}, {ExcelInstance, "#"}};
    for (auto [format, separator] : cases) {
        SCOPED_TRACE(format);
        const bool runs = format != ExcelInstance;
        ready(format), control.FieldSeparator("#"), fs::remove(file), p().SSTab1.setMousePointer(0), forget();
        if (runs) EXPECT_TRUE(control.Save());
        else EXPECT_THAT(errorOf([&] { control.Save(); }).description(), HasSubstr("Format 5"));
        EXPECT_EQ(std::tuple(control.FieldSeparator(), host.changes.size(), fs::exists(file), p().SSTab1.mousePointer()),
                  std::tuple(separator, 0u, runs, runs ? 1 : 0));
        if (runs && format <= DelimOther) {
            EXPECT_EQ(readFile(file) + std::to_string(source->position()),
                      "A" + std::string(separator) + "B\r\n1" + separator + "x\r\n2" + separator + "y0")
                << "back on the first row";
        }
    }
}

// The Save button locks the tab sheet with the busy pointer from before the file appears until it is complete, then
// opens the file it wrote when LaunchFile is 1; a refused click or LaunchFile 0 opens nothing. Abort is recorded.
TEST_F(DriverTest, TheSaveButtonLocksTheTabSheetAroundTheWriterThenLaunchesTheFile) {
    ready(Ascii), control.LaunchFile(1), control.cmdAbort_Click();  // its button is never shown
    EXPECT_TRUE(control.AbortProcess());
    std::vector<std::string> sheet;
    p().SSTab1.addObserver([&](const ui::Widget& w, std::string_view what) {
        const int state = what == "enabled" ? w.enabled() : w.mousePointer();
        sheet.push_back(std::string(what) + " " + std::to_string(state) + (fs::exists(file) ? " (file there)" : ""));
    });
    p().cmdSave.click();
    EXPECT_THAT(sheet, ElementsAre("enabled 0", "mousePointer 11", "mousePointer 1 (file there)", "enabled 1 (file there)"));
    control.OutputFile(""), p().cmdSave.click();  // refused: nothing to open
    control.LaunchFile(0), control.OutputFile(file), p().cmdSave.click();
    EXPECT_THAT(desktop.calls, ElementsAre("showWait", "open:" + file, "closeWait", "showWait", "messageBox:Missing Configuration",
                                           "closeWait", "showWait", "closeWait"));
}

// A failed Save button export opens nothing, reaches the host, leaves the panel usable (Send: mail_dispatch_test).
TEST_F(DriverTest, FailuresFromTheButtonsReachTheHostAndRestoreThePanel) {
    ready(Ascii), control.LaunchFile(1), control.OutputFile(file + ".missing/out.txt"), desktop.calls.clear();
    Error e = errorOf([&] { control.cmdSave_Click(); });
    EXPECT_EQ(e.number(), err::kPathNotFound);
    EXPECT_THAT(callStack(e.description()), ElementsAre("Varnelo.ascii_IO", "Varnelo.Save", "Varnelo.cmdSave_Click"));
    EXPECT_TRUE(p().SSTab1.enabled() && p().SSTab1.mousePointer() == 1 && p().cmdSave.visible() &&
                !p().cmdSend.visible());
    EXPECT_THAT(desktop.calls, ElementsAre("showWait", "closeWait"));
}

// Messages keep text, title and icon only (never buttons or modality bits); every dialog is cancelled.
TEST(HeadlessDesktop, KeepsTheMessagesWithTheirIconsAndCancelsEveryDialog) {
    TempDir dir;
    RecordingHost host;
    HeadlessDesktop desktop;
    Varnelo control(host, desktop);
    control.UserControl_Initialize(), control.UserControl_InitProperties(), control.UserControl_Show();
    control.DataSource(std::make_shared<MemoryRecordset>(std::vector<std::string>{"id"}, std::vector<int>{adtype::kInteger},
                                                         std::vector<std::vector<Variant>>{{Variant(int32_t(1))}}));
    control.OutputFile("");
    EXPECT_FALSE(control.Save());
    ASSERT_TRUE(panelOf(control).cmdFileSel.enabled());
    panelOf(control).cmdFileSel.click();
    desktop.messageBox("Disk is full.", "Varnelo", mb::kCritical | 1 | 4096);
    EXPECT_THAT(desktop.messages(),
                ElementsAre(FieldsAre("Please enter file name to proceed.", "Missing Configuration", mb::kExclamation),
                            FieldsAre("Disk is full.", "Varnelo", mb::kCritical)));
    EXPECT_EQ(control.OutputFile(), "") << "the file dialog was cancelled";
    EXPECT_THAT(desktop.reports(), IsEmpty());
    desktop.clear();
    control.OutputFile(dir.file("out.csv"));
    EXPECT_TRUE(control.Save());
    EXPECT_THAT(desktop.messages(), IsEmpty());
}

// Every file operation of an export, made to fail in turn, in every format: Save names the operation and the file,
// and the previous file stays whole. libxlsxwriter writes the workbook through stdio on the temporary's path: for
// xlsx only the output file's own operations are covered.
TEST_F(DriverTest, EveryFailingFileOperationOfEveryFormatKeepsThePreviousFile) {
    const std::pair<int32_t, const char*> formats[] = {{Ascii, "csv"}, {DelimTab, "tsv"}, {DelimOther, "txt"},
        {Inserts, "sql"}, {ExcelFile, "xlsx"}, {HTMLTable, "html"}, {SQLLoader, "ctl"}};
    const auto rows = std::make_shared<MemoryRecordset>(std::vector<std::string>{"ID", "NAME", "AMOUNT"},
        std::vector<int>{adtype::kInteger, adtype::kVarChar, adtype::kDouble},
        std::vector<std::vector<Variant>>{{1, "alpha", 1.5}, {2, "beta, \"quoted\"", -2.25}, {3, "gamma", 0.0}});
    int survived = 0;
    for (auto [format, ext] : formats) {
        for (bool named : {false, true}) {
            SCOPED_TRACE(std::string(ext) + (named ? ", named temporary" : ", unnamed temporary"));
            TempDir folder;
            const std::string out = folder.file(std::string("out.") + ext), previous = "previous " + out;
            ready(format), control.DataSource(rows), control.OutputFile(out);
            control.DelimChar("|"), control.StrEnclose("\"");  // the loader encloses text that holds its separator
            // The workbook carries its creation time: its bytes differ from run to run.
            survived += failEveryOperation(out, previous, [&] { rows->moveTo(0), control.Save(); }, named, format != ExcelFile);
            ASSERT_THAT(desktop.messages, IsEmpty());
        }
    }
    RecordProperty("injection_points", survived);
    std::cout << "file operations made to fail: " << survived << "\n";
}

}  // namespace
}  // namespace varnelo
