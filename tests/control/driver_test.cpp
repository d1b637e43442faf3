// The export driver: which check speaks first, what a real export leaves in
// the file and in FieldSeparator, the panel's state around the writer, the
// Save and Send buttons, and the error a failed export brings to the host.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "control/control_fixture.h"
#include "support/test_support.h"
#include "varnelo/memory_recordset.h"

namespace varnelo {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testing_control::callStack;
using testing_control::errorOf;
using testing_support::readFile;
using testing_support::TempDir;
namespace fs = std::filesystem;

class DriverTest : public testing_control::ControlTest {
protected:
    // A request that passes every check of `format`.
    void ready(int32_t format) {
        control.DataSource(source);
        control.Format(format);
        control.OutputFile(file);
        control.InsertTable("T");
        control.CommitInterval("100");
        control.DelimChar("|");
        forget();
    }

    TempDir dir;
    std::string file = dir.file("out.txt");
    std::shared_ptr<MemoryRecordset> source = std::make_shared<MemoryRecordset>(
        std::vector<std::string>{"A", "B"}, std::vector<int>{adtype::kInteger, adtype::kVarChar},
        std::vector<std::vector<Variant>>{{1, "x"}, {2, "y"}});
};

TEST_F(DriverTest, TheFirstMissingSettingIsReportedAndNothingIsWritten) {
    auto expectRefusal = [&](const std::string& title, const std::string& text) {
        forget();
        control.Save();
        ASSERT_EQ(desktop.messages.size(), 1u) << (desktop.messages.empty() ? "" : desktop.messages[0].text);
        EXPECT_EQ(desktop.messages[0].title, title);
        EXPECT_EQ(desktop.messages[0].text, text);
        EXPECT_EQ(desktop.messages[0].style, mb::kExclamation);
        EXPECT_FALSE(fs::exists(file));
    };
    for (int32_t format : {Ascii, DelimOther, Inserts, ExcelInstance, SQLLoader}) {
        control.Format(format);
        control.DelimChar("");
        control.InsertTable("");
        expectRefusal("Missing DataSource", "Please set the DataSource to proceed.");
    }

    const std::string config = "Missing Configuration";
    struct Case { int32_t format; std::function<void()> spoil; std::string title, text; };
    const Case cases[] = {
        {DelimOther, [&] { control.DelimChar(""); control.OutputFile(""); },
         "Missing configuration", "Please enter Field separator to proceed."},
        {Ascii, [&] { control.OutputFile(""); }, config, "Please enter file name to proceed."},
        {Inserts, [&] { control.InsertTable(""); control.OutputFile(""); },
         config, "Please enter Table name to proceed."},
        {Inserts, [&] { control.CommitInterval(""); }, config, "Please enter Commit interval to proceed."},
        // SQL*Loader has no commit interval in its output but still asks for one.
        {SQLLoader, [&] { control.CommitInterval(""); }, config, "Please enter Commit interval to proceed."},
        // The program leaves the File option (the user cannot: the other button is disabled); SaveToFile stays 1.
        {Ascii, [&] { p().optSaveTo(0).setValue(true); }, config, "Please select file option to proceed."},
    };
    for (const Case& c : cases) {
        ready(c.format);
        c.spoil();
        SCOPED_TRACE(c.text);
        expectRefusal(c.title, c.text);
    }
}

TEST_F(DriverTest, SaveToFileOtherThanOneSkipsTheFileChecksButStillWritesTheFile) {
    ready(Ascii);
    control.SaveToFile(0);
    control.Save();
    EXPECT_THAT(desktop.messages, IsEmpty());
    EXPECT_EQ(readFile(file), "A,B\r\n1,x\r\n2,y");

    // 2 has no button: the write fails and the previous value stays readable.
    fs::remove(file);
    EXPECT_THROW(control.SaveToFile(2), Error);
    ASSERT_EQ(control.SaveToFile(), 0);
    control.Save();
    EXPECT_THAT(desktop.messages, IsEmpty());
    EXPECT_TRUE(fs::exists(file));
}

// Ascii, Tab, Other and Inserts set the separator before their writer runs;
// the other writers keep what the host set. ExcelInstance writes nothing and
// raises 380 naming the value, leaving the tab sheet untouched. (A Format
// outside 0..7 can no longer be stored: the write is refused.)
TEST_F(DriverTest, EachFormatLeavesItsSeparatorInFieldSeparatorWithoutRecordingIt) {
    const std::pair<int32_t, const char*> cases[] = {
        {Ascii, ","},     {DelimTab, "\t"}, {DelimOther, "|"},    {Inserts, ","}, {ExcelFile, "#"},
        {HTMLTable, "#"}, {SQLLoader, "#"}, {ExcelInstance, "#"}};
    for (auto [format, separator] : cases) {
        SCOPED_TRACE(format);
        const bool runs = format != ExcelInstance;
        ready(Ascii);
        control.Format(format);
        ASSERT_EQ(control.settings().Format, format);
        control.FieldSeparator("#");
        fs::remove(file);
        p().SSTab1.setMousePointer(0);
        forget();
        if (runs) {
            EXPECT_TRUE(control.Save());
        } else {
            Error e = errorOf([&] { control.Save(); });
            EXPECT_EQ(e.number(), err::kInvalidPropertyValue);
            EXPECT_THAT(e.description(), HasSubstr("Format " + std::to_string(format)));
        }
        EXPECT_EQ(control.FieldSeparator(), separator);
        EXPECT_THAT(host.changes, IsEmpty());
        EXPECT_THAT(desktop.messages, IsEmpty());
        EXPECT_EQ(fs::exists(file), runs);
        EXPECT_EQ(p().SSTab1.mousePointer(), runs ? 1 : 0);
        if (runs && format <= DelimOther) {
            const std::string s = separator;
            EXPECT_EQ(readFile(file), "A" + s + "B\r\n1" + s + "x\r\n2" + s + "y");
            EXPECT_EQ(source->position(), 0) << "back on the first row";
        }
    }
}

TEST_F(DriverTest, AbortIsRecordedAndChangesNoExport) {
    ready(Ascii);
    control.cmdAbort_Click();  // its button is never shown
    EXPECT_THAT(host.changes, ElementsAre("AbortProcess"));
    control.Save();
    EXPECT_EQ(readFile(file), "A,B\r\n1,x\r\n2,y");
    EXPECT_TRUE(control.AbortProcess()) << "nothing resets it";
}

// The tab sheet is locked with the busy pointer from before the file appears
// until it is complete; only the button opens the file, and only with LaunchFile 1.
TEST_F(DriverTest, TheSaveButtonLocksTheTabSheetAroundTheWriterThenLaunchesTheFile) {
    ready(Ascii);
    control.LaunchFile(1);
    desktop.calls.clear();
    // Widget changes and desktop calls, interleaved in the order they happen.
    std::vector<std::string> timeline;
    size_t merged = 0;
    auto catchUp = [&] {
        for (; merged < desktop.calls.size(); ++merged) timeline.push_back(desktop.calls[merged]);
    };
    auto note = [&](const ui::Widget& w, std::string_view what) {
        std::string state;
        if (what == "visible") state = w.visible() ? " on" : " off";
        else if (what == "enabled") state = w.enabled() ? " on" : " off";
        else if (what == "mousePointer") state = " pointer " + std::to_string(w.mousePointer());
        else return;
        catchUp();
        timeline.push_back(w.name() + state + (fs::exists(file) ? " (file there)" : ""));
    };
    p().cmdSave.addObserver(note);
    p().SSTab1.addObserver(note);
    p().cmdSave.click();
    catchUp();
    EXPECT_THAT(timeline, ElementsAre("cmdSave off", "showWait", "SSTab1 off", "SSTab1 pointer 11",
                                      "SSTab1 pointer 1 (file there)", "SSTab1 on (file there)",
                                      "cmdSave on (file there)", "open:" + file, "closeWait"));
    EXPECT_FALSE(desktop.waitShown);

    desktop.calls.clear();
    control.Save();
    EXPECT_THAT(desktop.calls, IsEmpty()) << "Save by the host shows no wait window and opens nothing";
    control.LaunchFile(0);
    p().cmdSave.click();
    EXPECT_THAT(desktop.calls, ElementsAre("showWait", "closeWait"));
}

TEST_F(DriverTest, RefusalsAndFailuresFromTheButtonsReachTheHostAndRestoreThePanel) {
    p().cmdSave.click();  // no DataSource
    EXPECT_THAT(desktop.calls, ElementsAre("showWait", "messageBox:Missing DataSource", "closeWait"));
    EXPECT_TRUE(p().cmdSave.visible());

    ready(Ascii);
    control.LaunchFile(1);
    control.OutputFile(file + ".missing/out.txt");  // no such folder
    desktop.calls.clear();
    // Called by a host, the handler passes the error on (a user's click shows it in the report window).
    Error e = errorOf([&] { control.cmdSave_Click(); });
    EXPECT_EQ(e.number(), err::kPathNotFound);
    EXPECT_EQ(e.source(), "HuntERR.ErrorIn");
    EXPECT_THAT(e.description(), HasSubstr("  Method: Varnelo.ascii_IO \r\n"));
    EXPECT_THAT(e.description(), HasSubstr("  Call Stack: Varnelo.Save() ---"));
    EXPECT_THAT(callStack(e.description()), ElementsAre("Varnelo.ascii_IO", "Varnelo.Save", "Varnelo.cmdSave_Click"));
    EXPECT_TRUE(p().SSTab1.enabled()) << "the writer's failure frees the tab sheet";
    EXPECT_EQ(p().SSTab1.mousePointer(), 1);
    EXPECT_TRUE(p().cmdSave.visible());
    EXPECT_FALSE(p().cmdSend.visible());
    EXPECT_THAT(desktop.calls, ElementsAre("showWait", "closeWait")) << "nothing is opened";

    control.SendThroughMail(1);
    desktop.calls.clear();
    e = errorOf([&] { control.cmdSend_Click(); });
    EXPECT_THAT(callStack(e.description()), ElementsAre("Varnelo.SaveNSend", "Varnelo.cmdSend_Click"));
    EXPECT_TRUE(p().cmdSend.visible());
    EXPECT_FALSE(p().cmdSave.visible()) << "mail mode uses the Send button only";
    EXPECT_THAT(desktop.calls, ElementsAre("showWait", "closeWait"));
}

}  // namespace
}  // namespace varnelo
