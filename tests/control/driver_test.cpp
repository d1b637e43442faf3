// The export driver: which check speaks first, what a real export leaves in
// the file and in FieldSeparator, the panel's state around the writer, the
// Save and Send buttons, and the error a failed export brings to the host.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "control/control_fixture.h"
#include "varnelo/memory_recordset.h"
#include "support/test_support.h"

namespace varnelo {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testing_control::callStack;
using testing_control::errorOf;
using testing_support::readFile;
using testing_support::TempDir;

using Rows = std::vector<std::vector<Variant>>;

// Notes the tab sheet's state each time the writer moves to the next row.
class SpyRecordset : public MemoryRecordset {
public:
    SpyRecordset(const ui::TabSheet& tabs, Rows rows)
        : MemoryRecordset({"A", "B"}, {adtype::kInteger, adtype::kVarChar}, std::move(rows)), tabs_(tabs) {}
    void MoveNext() override {
        seen.push_back({tabs_.enabled(), tabs_.mousePointer()});
        MemoryRecordset::MoveNext();
    }
    std::vector<std::pair<bool, int>> seen;

private:
    const ui::TabSheet& tabs_;
};

class DriverTest : public testing_control::ControlTest {
protected:
    DriverTest() : file(dir.file("out.txt")) {
        source = std::make_shared<SpyRecordset>(p().SSTab1, Rows{{1, "x"}, {2, "y"}});
    }

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

    void expectOnlyMessage(const std::string& title, const std::string& text) {
        ASSERT_EQ(desktop.messages.size(), 1u) << (desktop.messages.empty() ? "" : desktop.messages[0].text);
        EXPECT_EQ(desktop.messages[0].title, title);
        EXPECT_EQ(desktop.messages[0].text, text);
        EXPECT_EQ(desktop.messages[0].style, mb::kExclamation);
        EXPECT_FALSE(std::filesystem::exists(file)) << "nothing is written after a message";
    }

    TempDir dir;
    std::string file;
    std::shared_ptr<SpyRecordset> source;
};

TEST_F(DriverTest, MissingDataSourceIsReportedFirstWhateverTheFormat) {
    for (int32_t format : {Ascii, DelimOther, Inserts, ExcelInstance, SQLLoader}) {
        control.Format(format);
        control.DelimChar("");
        control.InsertTable("");
        forget();
        control.Save();
        expectOnlyMessage("Missing DataSource", "Please set the DataSource to proceed.");
    }
}

TEST_F(DriverTest, AnEmptyDelimiterIsReportedBeforeTheFileChecks) {
    control.DataSource(source);
    control.Format(DelimOther);
    control.DelimChar("");
    forget();
    control.Save();
    expectOnlyMessage("Missing configuration", "Please enter Field separator to proceed.");
}

TEST_F(DriverTest, TheFileChecksWantTheFileOptionAndAName) {
    control.DataSource(source);
    forget();
    control.Save();
    expectOnlyMessage("Missing Configuration", "Please enter file name to proceed.");

    control.OutputFile(file);
    p().optSaveTo(0).click();  // the user leaves the File option; SaveToFile stays 1
    forget();
    control.Save();
    expectOnlyMessage("Missing Configuration", "Please select file option to proceed.");
}

TEST_F(DriverTest, TableAndCommitIntervalAreCheckedBeforeTheFile) {
    control.DataSource(source);
    control.Format(Inserts);
    forget();
    control.Save();  // no table and no file: only the table is reported
    expectOnlyMessage("Missing Configuration", "Please enter Table name to proceed.");

    control.InsertTable("T");
    control.CommitInterval("");
    forget();
    control.Save();
    expectOnlyMessage("Missing Configuration", "Please enter Commit interval to proceed.");

    // SQL*Loader has no commit interval in its output but still asks for one.
    control.Format(SQLLoader);
    control.OutputFile(file);
    control.CommitInterval("");
    forget();
    control.Save();
    expectOnlyMessage("Missing Configuration", "Please enter Commit interval to proceed.");
}

TEST_F(DriverTest, SaveToFileOtherThanOneSkipsTheFileChecksButStillWritesTheFile) {
    ready(Ascii);
    control.SaveToFile(0);
    EXPECT_FALSE(p().optSaveTo(1).value());
    control.Save();
    EXPECT_THAT(desktop.messages, IsEmpty());
    EXPECT_EQ(readFile(file), "A,B\r\n1,x\r\n2,y");

    // 2 has no button: the write fails but the value stays, and it is not 1.
    std::filesystem::remove(file);
    EXPECT_THROW(control.SaveToFile(2), Error);
    ASSERT_EQ(control.settings().SaveToFile, 2);
    control.Save();
    EXPECT_THAT(desktop.messages, IsEmpty());
    EXPECT_TRUE(std::filesystem::exists(file));
}

TEST_F(DriverTest, ExcelInstanceAndUnknownFormatsEndSilently) {
    for (int32_t format : {int32_t{ExcelInstance}, 9, -1}) {
        ready(Ascii);
        if (format == ExcelInstance)
            control.Format(format);
        else
            EXPECT_THROW(control.Format(format), Error);
        ASSERT_EQ(control.settings().Format, format);
        forget();
        control.Save();
        EXPECT_THAT(desktop.messages, IsEmpty()) << format;
        EXPECT_FALSE(std::filesystem::exists(file)) << format;
        EXPECT_EQ(p().SSTab1.mousePointer(), 0) << "the tab sheet is not touched";
    }
}

TEST_F(DriverTest, DelimitedExportsSetTheFieldSeparatorWithoutRecordingIt) {
    const std::pair<int32_t, const char*> cases[] = {
        {Ascii, ","}, {DelimTab, "\t"}, {DelimOther, "|"}};
    for (auto [format, separator] : cases) {
        ready(format);
        control.FieldSeparator("#");
        forget();
        control.Save();
        EXPECT_EQ(control.FieldSeparator(), separator);
        const std::string s = separator;
        EXPECT_EQ(readFile(file), "A" + s + "B\r\n1" + s + "x\r\n2" + s + "y");
        EXPECT_THAT(host.changes, IsEmpty());
        EXPECT_EQ(source->position(), 0) << "back on the first row";
    }
}

TEST_F(DriverTest, TheOtherFormatsLeaveTheFieldSeparatorAsItWas) {
    // Inserts sets "," before its writer runs; the rest keep what the host set.
    const std::pair<int32_t, const char*> cases[] = {
        {Inserts, ","}, {ExcelFile, "#"}, {HTMLTable, "#"}, {SQLLoader, "#"}, {ExcelInstance, "#"}};
    for (auto [format, separator] : cases) {
        ready(format);
        control.FieldSeparator("#");
        std::filesystem::remove(file);
        control.Save();
        EXPECT_EQ(control.FieldSeparator(), separator) << format;
        EXPECT_TRUE(p().SSTab1.enabled()) << format;
        if (format != ExcelInstance) {
            EXPECT_TRUE(std::filesystem::exists(file)) << format;
        }
    }
}

TEST_F(DriverTest, TheTabSheetIsLockedWithTheBusyPointerWhileTheWriterRuns) {
    ready(Ascii);
    control.Save();
    EXPECT_THAT(source->seen, ElementsAre(std::pair{false, 11}, std::pair{false, 11}));
    EXPECT_TRUE(p().SSTab1.enabled());
    EXPECT_EQ(p().SSTab1.mousePointer(), 1);
}

TEST_F(DriverTest, AFailedWriterReachesTheHostWithItsTraceAndFreesTheTabSheet) {
    ready(Ascii);
    source->moveTo(2);  // after the last row: the first value read fails
    Error e = errorOf([&] { control.Save(); });
    EXPECT_EQ(e.number(), err::kNoCurrentRecord);
    EXPECT_EQ(e.source(), "HuntERR.ErrorIn");
    EXPECT_THAT(e.description(), HasSubstr("  Method: Varnelo.ascii_IO \r\n"));
    EXPECT_THAT(callStack(e.description()), ElementsAre("Varnelo.ascii_IO", "Varnelo.Save"));
    EXPECT_THAT(e.description(), HasSubstr("  Call Stack: Varnelo.Save() ---"));
    EXPECT_TRUE(p().SSTab1.enabled());
    EXPECT_EQ(p().SSTab1.mousePointer(), 1);
}

class SaveButtonTest : public DriverTest {
protected:
    // Widget changes and desktop calls, interleaved in the order they happen.
    void watch() {
        desktop.calls.clear();
        auto note = [this](const ui::Widget& w, std::string_view what) {
            if (what != "visible" && what != "enabled") return;
            catchUp();
            bool on = what == "visible" ? w.visible() : w.enabled();
            timeline.push_back(w.name() + (on ? " on" : " off") +
                               (std::filesystem::exists(file) ? " (file there)" : ""));
        };
        p().cmdSave.setObserver(note);
        p().SSTab1.setObserver(note);
    }
    void catchUp() {
        for (; merged < desktop.calls.size(); ++merged) timeline.push_back(desktop.calls[merged]);
    }
    std::vector<std::string> timeline;
    size_t merged = 0;
};

TEST_F(SaveButtonTest, TheSaveButtonShowsTheWaitWindowWritesAndLaunchesTheFile) {
    ready(Ascii);
    control.LaunchFile(1);
    watch();
    p().cmdSave.click();
    catchUp();
    EXPECT_THAT(timeline, ElementsAre("cmdSave off", "showWait", "SSTab1 off", "SSTab1 on (file there)",
                                      "cmdSave on (file there)", "open:" + file, "closeWait"));
    EXPECT_FALSE(desktop.waitShown);
}

TEST_F(SaveButtonTest, OnlyTheButtonLaunchesAndOnlyWithLaunchFileOne) {
    control.LaunchFile(0);
    desktop.calls.clear();
    p().cmdSave.click();  // no DataSource: a message, and the button is back
    EXPECT_THAT(desktop.calls, ElementsAre("showWait", "messageBox:Missing DataSource", "closeWait"));
    EXPECT_TRUE(p().cmdSave.visible());

    ready(Ascii);
    control.LaunchFile(1);
    desktop.calls.clear();
    control.Save();
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_THAT(desktop.calls, IsEmpty()) << "Save by the host shows no wait window and opens nothing";
}

TEST_F(SaveButtonTest, AFailedExportFromTheButtonRestoresTheButtonAndClosesTheWaitWindow) {
    ready(Ascii);
    control.LaunchFile(1);
    source->moveTo(2);
    desktop.calls.clear();
    Error e = errorOf([&] { p().cmdSave.click(); });
    EXPECT_EQ(e.number(), err::kNoCurrentRecord);
    EXPECT_THAT(callStack(e.description()), ElementsAre("Varnelo.ascii_IO", "Varnelo.Save", "Varnelo.cmdSave_Click"));
    EXPECT_TRUE(p().cmdSave.visible());
    EXPECT_FALSE(p().cmdSend.visible());
    EXPECT_THAT(desktop.calls, ElementsAre("showWait", "closeWait")) << "nothing is opened";
    EXPECT_TRUE(p().SSTab1.enabled());
}

TEST_F(SaveButtonTest, TheSendButtonCleansUpLikeTheSaveButtonWhenSendingFails) {
    ready(Ascii);
    control.SendThroughMail(1);
    desktop.calls.clear();
    Error e = errorOf([&] { p().cmdSend.click(); });
    EXPECT_THAT(callStack(e.description()), ElementsAre("Varnelo.SaveNSend", "Varnelo.cmdSend_Click"));
    EXPECT_TRUE(p().cmdSend.visible());
    EXPECT_FALSE(p().cmdSave.visible()) << "mail mode uses the Send button only";
    EXPECT_THAT(desktop.calls, ElementsAre("showWait", "closeWait"));
}

TEST_F(DriverTest, AbortIsRecordedAndChangesNoExport) {
    ready(Ascii);
    p().cmdAbort.click();
    EXPECT_TRUE(control.AbortProcess());
    EXPECT_THAT(host.changes, ElementsAre("AbortProcess"));
    control.Save();
    EXPECT_EQ(readFile(file), "A,B\r\n1,x\r\n2,y");
    EXPECT_TRUE(control.AbortProcess()) << "nothing resets it";
}

}  // namespace
}  // namespace varnelo
