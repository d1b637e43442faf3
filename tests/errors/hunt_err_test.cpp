// The error trace as a host sees it: the report carried by the error that
// leaves the control, built where the error arose and extended on the way out.
#include "errors/hunt_err.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cerrno>
#include <filesystem>
#include <new>
#include <regex>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "platform/system.h"
#include "support/test_support.h"
#include "varnelo/version.h"

namespace varnelo::hunterr {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using testing_support::errorOf;

constexpr const char* kLost =
    "ErrorIn: Error information was lost. To fix: call ErrPreserve before doing anything in "
    "error handler.";

// A call-stack line as it must appear: text, "-" up to 100 characters, CR LF.
std::string stackLine(const std::string& text) {
    return text + std::string(text.size() < 100 ? 100 - text.size() : 0, '-') + "\r\n";
}

class HuntErrTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = facts();
        facts() = {"Varnelo", "2.5.1", "3.40.1", "BUILDHOST", [] { return "12/31/24 23:59:58"; }};
        clearCurrent();
    }
    void TearDown() override { facts() = saved_; }

    // What the host receives when `thrown` leaves ascii_IO called from Save.
    static Error throughSave(const std::function<void()>& thrown) {
        return errorOf([&] { guard("Varnelo.Save", [&] { guard("Varnelo.ascii_IO", thrown); }); });
    }

    // The report of one procedure for `e`, without raising.
    static std::string reportFor(const Error& e, const std::string& tag = "Varnelo.Save") {
        setCurrent(e);
        return ErrorIn(tag, kReport);
    }

    Facts saved_;
};

TEST_F(HuntErrTest, ReportHasOneHeaderAndOneStackLinePerLevelInnermostFirst) {
    const Error e = errorOf([] {
        guard("Varnelo.SaveNSend", [] {
            guard("Varnelo.Save", [] {
                guard("mFunctions.CovStr(inval,DataType)",
                      [] { throw Error::standard(err::kFileNotFound).setHelp("varnelo.hlp", "1053"); });
            });
        });
    });
    EXPECT_EQ(e.number(), 53);
    EXPECT_EQ(e.source(), "HuntERR.ErrorIn");
    EXPECT_EQ(e.helpFile(), "varnelo.hlp");
    EXPECT_EQ(e.helpContext(), "1053");
    EXPECT_EQ(e.description(),
              "File not found \r\n"
              "  Time='12/31/24 23:59:58' App='Varnelo:2.5.1' ADO-version='3.40.1' "
              "Computer='BUILDHOST' \r\n"
              "  Method: mFunctions.CovStr \r\n"
              "  Number: 53 = &H35 = vbObjectError + 2147221557 = ERRMAP_APP_FIRST + 2147216359 \r\n"
              "  Source: Varnelo \r\n"
              "  Description: File not found\r\n" +
                  stackLine("  Call Stack: mFunctions.CovStr() ") +
                  stackLine("  Call Stack: Varnelo.Save() ") +
                  stackLine("  Call Stack: Varnelo.SaveNSend() "));
}

TEST_F(HuntErrTest, NumberLineRelativeNumbersAndHex) {
    // The extremes of the 32-bit range: the differences do not fit in 32 bits.
    const std::pair<int32_t, std::string> cases[] = {
        {ERRMAP_APP_FIRST,
         "-2147216306 = &H8004144E = vbObjectError + 5198 = ERRMAP_APP_FIRST + 0 = ERR_GENERAL"},
        {vbObjectError + 100, "-2147221404 = &H80040064 = vbObjectError + 100 = ERRMAP_APP_FIRST - 5098 "},
        {INT32_MAX, "2147483647 = &H7FFFFFFF = vbObjectError + 4294705151 = ERRMAP_APP_FIRST + 4294699953 "},
        {INT32_MIN, "-2147483648 = &H80000000 = vbObjectError - 262144 = ERRMAP_APP_FIRST - 267342 "},
    };
    for (const auto& [number, line] : cases)
        EXPECT_THAT(reportFor(Error(number, "Varnelo", "x")), HasSubstr("\r\n  Number: " + line + "\r\n"));
}

TEST_F(HuntErrTest, PassThroughRangeLeavesUnchangedWithoutReport) {
    for (int32_t number : {kPassThroughFirst, vbObjectError + 4500, kPassThroughLast}) {
        const Error e = throughSave(
            [number] { throw Error(number, "CGZip::AddFile", "File is already in zip").setHelp("h", "7"); });
        EXPECT_EQ(e.number(), number);
        EXPECT_EQ(e.source(), "CGZip::AddFile");
        EXPECT_EQ(e.description(), "File is already in zip");
        EXPECT_EQ(e.helpContext(), "7");
        EXPECT_EQ(reportFor(Error(number, "s", "d")), "");
    }
    for (int32_t number : {kPassThroughFirst - 1, kPassThroughLast + 1}) {
        const Error e = throughSave([number] { throw Error(number, "Varnelo", "d"); });
        EXPECT_EQ(e.source(), "HuntERR.ErrorIn") << number;
        EXPECT_THAT(e.description(), StartsWith("d \r\n"));
    }
}

TEST_F(HuntErrTest, LostErrorIsReportedUnderErrmapAppFirstAndPreservedOneIsKeptOnce) {
    const std::string report = ErrorIn("mFunctions.CovStr(inval,DataType)", kReport);
    EXPECT_THAT(report, StartsWith(std::string(kLost) + " \r\n"));
    EXPECT_THAT(report, HasSubstr("ERRMAP_APP_FIRST + 0 = ERR_GENERAL\r\n"));
    EXPECT_THAT(report, HasSubstr("  Description: " + std::string(kLost) + "\r\n"));
    EXPECT_EQ(current().number, ERRMAP_APP_FIRST);

    // An error thrown with number 0 carries nothing either.
    const Error e = throughSave([] { throw Error(0, "Varnelo", ""); });
    EXPECT_EQ(e.number(), ERRMAP_APP_FIRST);
    EXPECT_THAT(e.description(), StartsWith(std::string(kLost) + " \r\n"));

    // A preserved error survives the handler's own work.
    const Error notSet(91, "Varnelo", "Object variable or With block variable not set");
    setCurrent(Error(53, "Varnelo", "File not found"));
    ErrPreserve();
    setCurrent(notSet);
    ErrPreserve();  // changes nothing: 53 stays preserved
    clearCurrent();
    const std::string kept = ErrorIn("Varnelo.Save", kReport);
    EXPECT_THAT(kept, StartsWith("File not found \r\n"));
    EXPECT_THAT(kept, HasSubstr("  Number: 53 = "));
    // ErrorIn released the preserved error: the next one is preserved afresh.
    EXPECT_THAT(reportFor(notSet), HasSubstr("  Number: 91 = "));
}

TEST_F(HuntErrTest, CallStackLinePaddingAtAndBeyondWidth) {
    // "  Call Stack: " + method + "() " is 99, 100 and 150 characters.
    const std::string m82 = "Varnelo." + std::string(74, 'a'), m83 = m82 + "b";
    const std::string m133 = "Varnelo." + std::string(125, 'c');
    const Error e(5, "Varnelo", "d");
    EXPECT_TRUE(reportFor(e, m82 + "(Index)").ends_with("  Call Stack: " + m82 + "() -\r\n"));
    EXPECT_TRUE(reportFor(e, m83).ends_with("\r\n  Call Stack: " + m83 + "() \r\n"));
    EXPECT_TRUE(reportFor(e, m133 + "(X1,Y1,X2,Y2)").ends_with("\r\n  Call Stack: " + m133 + "() \r\n"));
    // A line number, when the procedure has them, follows the parentheses.
    EXPECT_TRUE(reportFor(Error(5, "Varnelo", "d").setLine(120), "Varnelo.Scale_(X1,Y1,X2,Y2)")
                    .ends_with(stackLine("  Call Stack: Varnelo.Scale_()  at Line 120 ")));
}

TEST_F(HuntErrTest, ValuesAreInsertedLiterally) {
    facts().computer = "host%nl%";
    facts().adoVersion = "";
    const std::string descr = "100% of %Descr% at %Time%\b%";
    const std::string report = reportFor(Error(5, "src %Source%", descr), "Varnelo.%Comp%(a)");
    EXPECT_THAT(report, StartsWith(descr + " \r\n"));
    EXPECT_THAT(report, HasSubstr("  Method: Varnelo.%Comp% \r\n"));
    EXPECT_THAT(report, HasSubstr("  Source: src %Source% \r\n"));
    EXPECT_THAT(report, HasSubstr("  Description: " + descr + "\r\n"));
    EXPECT_THAT(report, HasSubstr("ADO-version='?' Computer='host%nl%' \r\n"));
}

TEST_F(HuntErrTest, SystemErrorLineOnlyForRealSystemErrors) {
    const Error e = throughSave([] { raiseSystem(err::kFileNotFound, "Varnelo", ENOENT); });
    EXPECT_EQ(e.lastSystemError(), ENOENT);
    const std::string apiLine = "  API Error: (2) " + platform::systemErrorText(ENOENT) + "\r\n";
    EXPECT_THAT(e.description(), HasSubstr("  Description: File not found\r\n" + apiLine +
                                           stackLine("  Call Stack: Varnelo.ascii_IO() ")));
    // Written once, by the level that built the header.
    EXPECT_EQ(e.description().find("API Error"), e.description().rfind("API Error"));
    for (int code : {0, 203}) {
        const Error quiet = throughSave([code] { raiseSystem(err::kFileNotFound, "Varnelo", code); });
        EXPECT_THAT(quiet.description(), Not(HasSubstr("API Error"))) << code;
    }
}

TEST_F(HuntErrTest, GuardMapsStandardExceptions) {
    const std::filesystem::path tmp = std::filesystem::temp_directory_path();
    auto fsError = [](std::filesystem::path p) {
        const std::error_code code(ENOENT, std::generic_category());
        return [p, code] { throw std::filesystem::filesystem_error("open", p, code); };
    };
    struct Case { std::function<void()> thrower; int32_t number; std::string description; int systemError; };
    const Case cases[] = {
        {[] { throw std::bad_alloc(); }, 7, "Out of memory", 0},
        {[] { throw std::system_error(ENOSPC, std::generic_category(), "write"); }, 61, "Disk full", ENOSPC},
        {fsError(tmp / "no-such-folder-varnelo" / "out.csv"), 76, "Path not found", ENOENT},
        {fsError(tmp / "no-such-file-varnelo.csv"), 53, "File not found", ENOENT},
        {[] { throw std::out_of_range("vector::at"); }, 9, "Subscript out of range", 0},
        {[] { throw std::runtime_error("zip handle closed"); }, 51, "zip handle closed", 0},
        {[] { throw 42; }, 51, "Internal error", 0},
    };
    for (const auto& c : cases) {
        const Error e = throughSave(c.thrower);
        EXPECT_EQ(e.number(), c.number) << c.description;
        EXPECT_THAT(e.description(), StartsWith(c.description + " \r\n"));
        EXPECT_EQ(e.lastSystemError(), c.systemError) << c.description;
    }
    // Codes of other categories are not errno values.
    const Error io = toError(std::make_exception_ptr(
        std::system_error(std::make_error_code(std::io_errc::stream), "stream")));
    EXPECT_EQ(io.number(), 51);
    EXPECT_EQ(io.lastSystemError(), 0);
}

TEST_F(HuntErrTest, CleanupRunsBeforeTheErrorLeavesAndCannotReplaceIt) {
    std::vector<std::string> events;
    const Error e = errorOf([&] {
        guard("Varnelo.Save", [] { throw Error::standard(err::kDiskFull); }, [&] {
            events.push_back("cleanup saw " + std::to_string(current().number));
            // Clean-up that fails, even through its own handler, changes nothing.
            guard("Varnelo.HideWait", [] { throw Error::standard(err::kObjectNotSet); });
        });
    });
    events.push_back("host got " + std::to_string(e.number()));
    EXPECT_THAT(e.description(), StartsWith("Disk full \r\n"));
    EXPECT_THAT(e.description(), Not(HasSubstr("HideWait")));
    EXPECT_EQ(events, (std::vector<std::string>{"cleanup saw 61", "host got 61"}));
}

TEST_F(HuntErrTest, ReportWithoutRaiseIsReturnedAndBecomesTheDescription) {
    const std::string inner = reportFor(Error(57, "Varnelo", "Device I/O error").setHelp("f.hlp", "3"),
                                        "Varnelo.ascii_IO");
    EXPECT_THAT(inner, StartsWith("Device I/O error \r\n"));
    EXPECT_EQ(current().number, 57);
    EXPECT_EQ(current().source, "HuntERR.ErrorIn");
    EXPECT_EQ(current().description, inner);
    EXPECT_EQ(current().helpContext, "3");
    EXPECT_EQ(ErrorIn("Varnelo.Save", kStandardFlags & ~kRaise),
              inner + stackLine("  Call Stack: Varnelo.Save() "));

    // Without the report flag the error stays as it came in.
    setCurrent(Error(57, "Varnelo", "Device I/O error"));
    EXPECT_EQ(ErrorIn("Varnelo.Save", 0), "");
    EXPECT_EQ(current().source, "Varnelo");
    EXPECT_EQ(current().description, "Device I/O error");
}

TEST_F(HuntErrTest, PlatformFactsAndStateArePerThread) {
    setCurrent(Error(53, "Varnelo", "File not found"));
    ErrPreserve();
    std::string report;
    Facts fresh;
    std::thread([&] {
        fresh = facts();
        report = reportFor(Error(13, "Varnelo", "Type mismatch"));
    }).join();
    EXPECT_EQ(fresh.adoVersion, sqlite3_libversion());
    EXPECT_FALSE(fresh.computer.empty());
    EXPECT_THAT(report, StartsWith("Type mismatch \r\n"));
    const std::regex header(R"(  Time='\d\d/\d\d/\d\d \d\d:\d\d:\d\d' App='Varnelo:)" +
                            std::string(VARNELO_VERSION) + "' ");
    EXPECT_TRUE(std::regex_search(report, header));
    // This thread's preserved error was not touched.
    EXPECT_THAT(ErrorIn("Varnelo.Save", kReport), StartsWith("File not found \r\n"));
}

}  // namespace
}  // namespace varnelo::hunterr
