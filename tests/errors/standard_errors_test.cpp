// Standard error texts and the system facts the report quotes.
#include <gtest/gtest.h>

#include <cerrno>

#include "platform/system.h"
#include "varnelo/error.h"

namespace varnelo {
namespace {

TEST(StandardErrorText, ClassicTextsAndFallback) {
    EXPECT_EQ(standardErrorText(err::kTypeMismatch), "Type mismatch");
    EXPECT_EQ(standardErrorText(err::kFileNotFound), "File not found");
    EXPECT_EQ(standardErrorText(err::kInvalidPropertyValue), "Invalid property value");
    EXPECT_EQ(standardErrorText(err::kSetNotAtDesignTime), "Set not supported (read-only property)");
    EXPECT_EQ(standardErrorText(err::kNoCurrentRecord),
              "Either BOF or EOF is True, or the current record has been deleted. Requested "
              "operation requires a current record.");
    EXPECT_EQ(standardErrorText(err::kItemNotFound),
              "Item cannot be found in the collection corresponding to the requested name or "
              "ordinal.");
    for (int32_t other : {0, 1, 4, 999, 3022, err::vbObjectError + 1}) {
        EXPECT_EQ(standardErrorText(other), "Application-defined or object-defined error") << other;
    }
    EXPECT_EQ(controlArrayElementText(10), "Control array element '10' doesn't exist");
}

TEST(SystemFacts, MessageTextsAreSingleLine) {
    for (int code : {ENOENT, EACCES, ENOSPC, 0, 99999}) {
        const std::string text = platform::systemErrorText(code);
        EXPECT_FALSE(text.empty()) << code;
        EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << code;
    }
    EXPECT_NE(platform::systemErrorText(ENOENT), platform::systemErrorText(ENOSPC));
    EXPECT_FALSE(platform::computerName().empty());
}

}  // namespace
}  // namespace varnelo
