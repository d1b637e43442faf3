// The error trace as a host sees it: built where the error arose, extended on the way out; the standard texts.
#include "errors/hunt_err.h"

#include <gmock/gmock.h>
#include <sqlite3.h>

#include <regex>
#include <thread>

#include "platform/system.h"
#include "support/test_support.h"
#include "varnelo/version.h"

namespace varnelo::hunterr {
namespace {

using namespace ::testing;
using testing_support::errorOf;

// A call-stack line as it must appear: text, "-" up to 100 characters, CR LF.
std::string stackLine(const std::string& text) {
    return text + std::string(text.size() < 100 ? 100 - text.size() : 0, '-') + "\r\n";
}

class HuntErrTest : public Test {
protected:
    void SetUp() override {  // values with "%" in them go in as they are; an unknown version shows as "?"
        saved_ = facts(), clearCurrent();
        facts() = {"Varnelo", "2.5.1", "", "BUILD%nl%HOST", [] { return "12/31/24 23:59:58"; }};
    }
    void TearDown() override { facts() = saved_; }

    // What the host receives when `thrown` leaves ascii_IO called from Save.
    static Error throughSave(const std::function<void()>& thrown) {
        return errorOf([&] { guard("Varnelo.Save", [&] { guard("Varnelo.ascii_IO", thrown); }); });
    }
    // The report of one procedure for `e`, without raising.
    static std::string reportFor(const Error& e, const std::string& tag = "Varnelo.Save") {
        return setCurrent(e), ErrorIn(tag, kReport);
    }
    Facts saved_;
};

// One header where the error arose, then one stack line per level, innermost first, padded to 100 and never cut,
// with the line where it failed. The number line holds at the ends of the 32-bit range.
TEST_F(HuntErrTest, ReportHasOneHeaderAndOneStackLinePerLevel) {
    const Error e = errorOf([] {
        guard("Varnelo.SaveNSend", [] { guard("Varnelo.Save", [] { guard("mFunctions.CovStr(inval,DataType)", [] {
            throw Error(53, "Varnelo", "No 100%Descr%.csv").setHelp("varnelo.hlp", "1053").setLine(120);
        }); }); });
    });
    EXPECT_EQ(std::to_string(e.number()) + " " + e.source() + " " + e.helpFile() + " " + e.helpContext(),
              "53 HuntERR.ErrorIn varnelo.hlp 1053");
    EXPECT_EQ(e.description(),
              "No 100%Descr%.csv \r\n"
              "  Time='12/31/24 23:59:58' App='Varnelo:2.5.1' ADO-version='?' Computer='BUILD%nl%HOST' \r\n"
              "  Method: mFunctions.CovStr \r\n"
              "  Number: 53 = &H35 = vbObjectError + 2147221557 = ERRMAP_APP_FIRST + 2147216359 \r\n"
              "  Source: Varnelo \r\n"
              "  Description: No 100%Descr%.csv\r\n" +
                  stackLine("  Call Stack: mFunctions.CovStr()  at Line 120 ") +
                  stackLine("  Call Stack: Varnelo.Save() ") + stackLine("  Call Stack: Varnelo.SaveNSend() "));
    // The host reads the cause and the trace apart too.
    EXPECT_EQ(e.message() + " \r\n" + e.trace() + "|" + e.what(), e.description() + "|" + e.description());
    EXPECT_EQ(Error(5, "Varnelo", "plain").message() + Error(5, "Varnelo", "plain").trace(), "plain");
    const std::string m133 = "Varnelo." + std::string(125, 'c');
    EXPECT_THAT(reportFor(e, m133 + "(X1,Y1)"), EndsWith("\r\n  Call Stack: " + m133 + "() \r\n"));

    const std::pair<int32_t, std::string> numbers[] = {
        {ERRMAP_APP_FIRST, "-2147216306 = &H8004144E = vbObjectError + 5198 = ERRMAP_APP_FIRST + 0 = ERR_GENERAL"},
        {INT32_MAX, "2147483647 = &H7FFFFFFF = vbObjectError + 4294705151 = ERRMAP_APP_FIRST + 4294699953 "},
        {INT32_MIN, "-2147483648 = &H80000000 = vbObjectError - 262144 = ERRMAP_APP_FIRST - 267342 "},
    };
    for (const auto& [number, line] : numbers)
        EXPECT_THAT(reportFor(Error(number, "Varnelo", "x")), HasSubstr("\r\n  Number: " + line + "\r\n"));
}

// Errors of the pass-through range leave unchanged without a report, their neighbours with one. One that carries
// nothing is reported as lost; a preserved error survives the handler's own work, preserved once.
TEST_F(HuntErrTest, PassThroughLostAndPreservedErrors) {
    for (int32_t number : {kPassThroughFirst - 1, kPassThroughFirst, kPassThroughLast, kPassThroughLast + 1}) {
        const bool passes = number >= kPassThroughFirst && number <= kPassThroughLast;
        const Error e = throughSave([number] { throw Error(number, "CGZip::AddFile", "In zip").setHelp("h", "7"); });
        EXPECT_EQ(std::to_string(e.number()) + " " + e.helpContext(), std::to_string(number) + " 7");
        EXPECT_EQ(e.source() + (e.description() == "In zip" ? "" : " report"),
                  passes ? "CGZip::AddFile" : "HuntERR.ErrorIn report");
        EXPECT_EQ(reportFor(Error(number, "s", "d")).empty(), passes);
    }
    const std::string lost = "ErrorIn: Error information was lost. To fix: call ErrPreserve before doing "
                             "anything in error handler.";
    const Error e = throughSave([] { throw Error(0, "Varnelo", ""); });
    EXPECT_EQ(e.number(), ERRMAP_APP_FIRST);
    EXPECT_THAT(e.description(), AllOf(StartsWith(lost + " \r\n"), HasSubstr("  Description: " + lost + "\r\n")));

    const Error notSet(91, "Varnelo", "Object variable or With block variable not set");
    setCurrent(Error(53, "Varnelo", "File not found")), ErrPreserve();
    setCurrent(notSet), ErrPreserve(), clearCurrent();  // the second changes nothing: 53 stays preserved
    EXPECT_THAT(ErrorIn("Varnelo.Save", kReport), StartsWith("File not found \r\n"));
    EXPECT_THAT(reportFor(notSet), HasSubstr("  Number: 91 = "));  // preserved afresh
}

// Standard exceptions become standard errors with the system error they carry, quoted unless none or 203 (a number
// without a text of its own gets the fallback). Clean-up runs before the error leaves and cannot replace it, even
// failing through its own handler.
TEST_F(HuntErrTest, GuardMapsExceptionsAndKeepsTheErrorThroughCleanup) {
    const auto missing = std::filesystem::temp_directory_path() / "no-such-folder-varnelo" / "f";
    const auto noEntry = std::make_error_code(std::errc::no_such_file_or_directory);
    const struct { std::function<void()> thrower; int32_t number; std::string description; int systemError; } cases[] = {
        {[] { throw std::bad_alloc(); }, 7, "Out of memory", 0},
        {[] { throw std::system_error(ENOSPC, std::generic_category(), "write"); }, 61, "Disk full", ENOSPC},
        {[&] { throw std::filesystem::filesystem_error("open", missing, noEntry); }, 76, "Path not found", ENOENT},
        {[] { throw std::runtime_error("zip handle closed"); }, 51, "zip handle closed", 0},
        {[] { raiseSystem(err::kFileNotFound, "Varnelo", 203); }, 53, "File not found", 203},
        {[] { throw Error::standard(3022); }, 3022, "Application-defined or object-defined error", 0},
    };
    for (const auto& c : cases) {
        const Error e = throughSave(c.thrower);
        EXPECT_EQ(e.number() * 1000 + e.lastSystemError(), c.number * 1000 + c.systemError) << c.description;
        const std::string api = c.systemError == 0 || c.systemError == 203 ? "" : "  API Error: (" +
            std::to_string(c.systemError) + ") " + platform::systemErrorText(c.systemError) + "\r\n";
        EXPECT_THAT(e.description(), AllOf(StartsWith(c.description + " \r\n"), HasSubstr("  Description: " +
            c.description + "\r\n" + api + stackLine("  Call Stack: Varnelo.ascii_IO() "))));
    }
    std::vector<std::string> events;
    const Error e = errorOf([&] {
        guard("Varnelo.Save", [] { throw Error::standard(err::kDiskFull); }, [&] {
            events.push_back("cleanup saw " + std::to_string(current().number));
            guard("Varnelo.HideWait", [] { throw Error::standard(err::kObjectNotSet); });
        });
    });
    events.push_back("host got " + std::to_string(e.number()));
    EXPECT_THAT(e.description(), AllOf(StartsWith("Disk full \r\n"), Not(HasSubstr("HideWait"))));
    EXPECT_EQ(events, (std::vector<std::string>{"cleanup saw 61", "host got 61"}));
}

// Without raising, the report becomes the current error's description; flags 0 leave it be; the state is per thread.
TEST_F(HuntErrTest, ReportWithoutRaiseAndPerThreadState) {
    const std::string inner = reportFor(Error(57, "Varnelo", "Device I/O").setHelp("f.hlp", "3"), "Varnelo.ascii_IO");
    EXPECT_EQ(std::to_string(current().number) + " " + current().source + " " + current().helpContext + "\n" +
                  current().description, "57 HuntERR.ErrorIn 3\n" + inner);
    EXPECT_EQ(ErrorIn("Varnelo.Save", kStandardFlags & ~kRaise), inner + stackLine("  Call Stack: Varnelo.Save() "));
    setCurrent(Error(57, "Varnelo", "Device I/O"));
    EXPECT_EQ(ErrorIn("Varnelo.Save", 0) + current().source + " " + current().description, "Varnelo Device I/O");
    ErrPreserve();
    std::string report;
    std::thread([&] { report = reportFor(Error(13, "Varnelo", "Type mismatch")); }).join();
    EXPECT_TRUE(std::regex_search(report, std::regex(R"(^Type mismatch \r\n  Time='\d\d/\d\d/\d\d \d\d:\d\d:\d\d' App='Varnelo:)" +
                                                     std::string(VARNELO_VERSION) + "' ADO-version='" + sqlite3_libversion() +
                                                     "' Computer='" + platform::computerName() + "' ")));
    EXPECT_THAT(ErrorIn("Varnelo.Save", kReport), StartsWith("Device I/O \r\n"));  // this thread's, untouched
}

}  // namespace
}  // namespace varnelo::hunterr
