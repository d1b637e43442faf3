// The type library: the published list, and setting and getting properties
// by name from text as a command-line host does.
#include "varnelo/property_registry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/control_fixture.h"

namespace varnelo {
namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using testing_control::errorOf;

using RegistryTest = testing_control::ControlTest;

TEST(PropertyRegistryList, EveryPublishedPropertyInOrderWithSpotCheckedTypesAndDescriptions) {
    const std::vector<std::string> published = {
        "StrEnclose", "InsertTable", "BackColor", "ForeColor", "Font", "DateFormat", "CommitInterval",
        "FieldSeparator", "InsertSchema", "DelimChar", "LowercaseColumns", "NoWrap", "UnixFormat",
        "BodyBackColor", "BodyForeColor", "BodyFont", "HeaderBackColor", "HeaderForeColor", "HeaderFont",
        "Enabled", "Locked", "ScaleHeight", "ScaleLeft", "ScaleMode", "ScaleTop", "ScaleWidth", "Columns",
        "IncludeNulls", "DelimAfterRow", "Quotes", "IncludeSQL", "Format", "SQLLoaderMode",
        "AutoColumnWidth", "OutputFile", "SaveToFile", "FontExcelDef", "MailPriority", "SendThroughMail",
        "MailFormatEnabled", "MailHTMLBody", "MailReceipt", "MailTo", "MailFrom", "MailFromEnabled", "MailCc",
        "MailBcc", "MailSubject", "MailMessage", "MailFooter", "MailFormat", "MailSMTPServer",
        "MailSMTPServerEnabled", "IncludeCellBorder", "LaunchFile", "DataSource", "DiscardMax", "Password",
        "UserName", "SMTPAuthentication", "SMTPAuthEnabled", "TotalFrames"};
    std::vector<std::string> names;
    for (const PropertyInfo& info : PropertyRegistry::all()) names.push_back(info.name);
    EXPECT_THAT(names, ElementsAreArray(published));

    struct Expected { const char* name; const char* type; const char* description; };
    const Expected spots[] = {
        {"Columns", "edSelYesNo", "Retuns/Sets whether header to be added for data"},
        {"IncludeSQL", "edSelYesNo", "Returns/setswhether include SQL statement used to retrived data in output file."},
        {"Format", "edFormatType", "Returns/sets the format of data export."},
        {"SQLLoaderMode", "edSQLLDRtype", "Returns/sets the mode for SQL Loader data insert."},
        {"BackColor", "OLE_COLOR", "Returns/sets the background color used to display text and graphics in an object."},
        {"Font", "Font", "Returns a Font object."},
        {"FieldSeparator", "String", "Returns/sets the field separator character for SQL Loader control file."},
        {"DateFormat", "String", "Returns date format for date field."},
    };
    for (const Expected& e : spots) {
        const PropertyInfo* info = PropertyRegistry::find(e.name);
        ASSERT_NE(info, nullptr) << e.name;
        EXPECT_EQ(info->type, e.type) << e.name;
        EXPECT_EQ(info->description, e.description) << e.name;
    }
    EXPECT_TRUE(PropertyRegistry::find("Enabled")->readOnly);
    EXPECT_FALSE(PropertyRegistry::find("Locked")->readOnly);
}

TEST_F(RegistryTest, NamesAreCaseInsensitiveAndValuesConvertFromText) {
    PropertyRegistry::set(control, "insertTABLE", Variant("ORDERS"));
    EXPECT_EQ(std::get<Variant>(PropertyRegistry::get(control, "INSERTTABLE")), Variant("ORDERS"));

    PropertyRegistry::set(control, "format", Variant(" 1 "));
    PropertyRegistry::set(control, "HeaderBackColor", Variant("&H00FF00"));
    PropertyRegistry::set(control, "BodyBackColor", Variant("0x123456"));
    PropertyRegistry::set(control, "locked", Variant("True"));
    PropertyRegistry::set(control, "ScaleTop", Variant("2.5"));
    EXPECT_EQ(control.Format(), DelimTab);
    EXPECT_EQ(control.HeaderBackColor(), 0x00FF00u);
    EXPECT_EQ(control.BodyBackColor(), 0x123456u);
    EXPECT_TRUE(control.Locked());
    EXPECT_FLOAT_EQ(control.ScaleTop(), 2.5f);
    auto text = [&](const char* name) {
        return PropertyRegistry::toText(*PropertyRegistry::find(name), PropertyRegistry::get(control, name));
    };
    EXPECT_EQ(text("BodyBackColor"), "0x00123456");

    // Fonts come from name, size and flags; a font object is taken by reference.
    PropertyRegistry::set(control, "HeaderFont", Variant("Arial, 10.5 ,bold"));
    EXPECT_EQ(text("HeaderFont"), "Arial,10.5,bold");
    EXPECT_EQ(p().lblHeader(0).caption(), "Arial,10.5");
    auto mine = makeFont("Verdana", 9);
    PropertyRegistry::set(control, "Font", mine);
    EXPECT_EQ(control.Font(), mine);
}

TEST_F(RegistryTest, BadValuesUnknownNamesAndReadOnlyWritesFailNamingThePropertyAndChangeNothing) {
    const int32_t mismatch = err::kTypeMismatch, overflow = err::kOverflow;
    struct Bad { const char* property; BagValue value; int32_t number; };
    const Bad bad[] = {
        {"Format", Variant("abc"), mismatch},     {"BodyBackColor", Variant("0xZZ"), mismatch},
        {"Locked", Variant("maybe"), mismatch},   {"ScaleWidth", Variant("wide"), mismatch},
        {"ScaleWidth", Variant("inf"), mismatch}, {"HeaderFont", Variant("Arial"), mismatch},
        {"BodyFont", Variant(12), mismatch},      {"BodyFont", Variant("Arial,big"), mismatch},
        {"BodyFont", Variant("Arial,10,heavy"), mismatch},
        {"DataSource", Variant("orders"), mismatch},
        {"InsertTable", makeFont("Arial", 10), mismatch},
        // Numbers too large for the property overflow.
        {"Format", Variant("1e300"), overflow},   {"ScaleMode", Variant("1e300"), overflow},
        {"ScaleHeight", Variant("1e300"), overflow},
        {"Colour", Variant(1), err::kObjectNotSupported},
        {"Enabled", Variant("False"), 383}};  // read-only
    for (const Bad& b : bad) {
        Error e = errorOf([&] { PropertyRegistry::set(control, b.property, b.value); });
        EXPECT_EQ(e.number(), b.number) << b.property;
        EXPECT_THAT(e.description(), HasSubstr(b.property));
    }
    EXPECT_EQ(control.Format(), Ascii);
    EXPECT_EQ(control.InsertTable(), "");
    EXPECT_EQ(control.ScaleHeight(), 7050);
    EXPECT_TRUE(control.Enabled());
    EXPECT_EQ(PropertyRegistry::find("Colour"), nullptr);
    EXPECT_EQ(errorOf([&] { PropertyRegistry::get(control, "Colour"); }).number(), err::kObjectNotSupported);
}

}  // namespace
}  // namespace varnelo
