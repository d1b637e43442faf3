// The published properties and the control's life in its host: where values land on the panel,
// the change keys the host hears, refused values, and access by name as a command-line host has.
#include <gmock/gmock.h>

#include "control/control_fixture.h"
#include "varnelo/memory_recordset.h"
#include "varnelo/property_registry.h"

namespace varnelo {
namespace {

using ::testing::ElementsAre, ::testing::IsEmpty, testing_control::callStack, testing_control::errorOf;

using PropertiesTest = testing_control::ControlTest;

// First placement raises InitProperties and stores the defaults unrecorded;
// Show puts every stored value on the panel; Hide raises Hide.
TEST(Lifecycle, FirstPlacementAndHideRaiseTheirEventsAndShowFillsEveryField) {
    RecordingHost host;
    RecordingDesktop desktop;
    Varnelo control(host, desktop);
    control.UserControl_Initialize(), control.UserControl_InitProperties();
    EXPECT_THAT(host.changes, IsEmpty());
    control.UserControl_Show(), control.UserControl_Hide();
    EXPECT_THAT(host.events, ElementsAre("InitProperties", "Hide"));
    Panel& p = panelOf(control);
    EXPECT_EQ(p.txtCommitInt.text() + p.txtDelimChar.text() + p.txtFieldSep.text() + p.txtDiscardMax.text() + "|" +
                  p.lblHeader(0).caption() + "|" + p.lblBody(0).toolTip() + "|" + p.lblDateFormat.caption() + "|" +
                  p.cboPriority.text(),
              "1000;,1000|Sans Serif,8.25|Sans Serif,8.25|dd/MM/yyyy HH:mm:ss|Normal");
    EXPECT_TRUE(p.chkOption(2).value() && p.optSQLLdr(Insert).value() && p.optSaveTo(1).value());
}

// Text goes into its field, whose handler records first; the key's own
// spelling is kept; the delimiter field's one-character rule has the last word.
TEST_F(PropertiesTest, StoredTextGoesIntoItsFieldWhoseHandlerRecordsFirst) {
    control.StrEnclose("'"), control.InsertTable(" Order Lines ");
    control.InsertTable(" Order Lines ");  // the field already holds it: no handler
    EXPECT_EQ(p().txtStrEnclose.text() + p().txttable.text(), "' Order Lines ");
    EXPECT_THAT(host.changes, ElementsAre("StrEnclose", "StrEnclose", "InsertTable", "Inserttable", "Inserttable"));
    control.DelimChar(";|");
    EXPECT_EQ(control.settings().DelimChar + p().txtDelimChar.text(), "||");
}

// Reads return the stored value, put it back on a disturbed panel, record
// nothing; a listing's stored-only reads leave the panel and other values alone.
TEST_F(PropertiesTest, ReadsRestoreThePanelAndListingReadsDoNot) {
    control.BodyBackColor(0x336699), control.MailPriority(PriorityLow), control.UnixFormat(1);
    forget(), p().lblBody(1).setBackColor(0), p().cboPriority.setText("junk");
    {
        auto storedOnly = control.readStoredValuesOnly();
        for (const PropertyInfo& info : PropertyRegistry::all())
            if (info.name != "DataSource") PropertyRegistry::get(control, info.name);
    }
    EXPECT_EQ(p().lblBody(1).backColor(), 0u);
    EXPECT_EQ(control.settings().UnixFormat, 1) << "reading SendThroughMail 0 left Unix style save alone";
    EXPECT_EQ(std::pair(control.BodyBackColor(), control.MailPriority()), std::pair(0x336699u, int32_t{PriorityLow}));
    EXPECT_EQ(std::pair(p().lblBody(1).backColor(), p().cboPriority.text()), std::pair(0x336699u, std::string("Low")));
    EXPECT_THAT(host.changes, IsEmpty());
    control.MailPriority(2);  // no entry for 2: the list and the mail's code keep Low
    EXPECT_EQ(std::pair(p().cboPriority.text(), control.settings().priorityCode), std::pair(std::string("Low"), 5));
    forget();
    EXPECT_EQ(control.SendThroughMail(), 0);  // an ordinary read of 0 clears Unix style save through its box
    EXPECT_EQ(control.settings().UnixFormat, 0);
    EXPECT_THAT(host.changes, ElementsAre("UnixFormat"));
}

// Check-box values pass grey; others fail with 380 and leave the previous value readable, unrecorded; IncludeSQL
// records before it checks.
TEST_F(PropertiesTest, CheckBoxAndOptionPropertiesRefuseOtherValuesKeepingThePreviousOne) {
    control.Columns(2), control.LowercaseColumns(1);
    Error e = errorOf([&] { control.LowercaseColumns(5); });
    EXPECT_EQ(e.number(), err::kInvalidPropertyValue);
    EXPECT_THAT(callStack(e.description()), ElementsAre("Varnelo.LowercaseColumns"));
    EXPECT_EQ(std::pair(control.LowercaseColumns(), p().chkOption(7).value()), std::pair(1, 1));
    EXPECT_THROW(control.IncludeSQL(3), Error);
    EXPECT_EQ(std::pair(control.IncludeSQL(), p().chkOption(2).value()), std::pair(0, 2)) << "IncludeSQL kept at 0; Columns (2) shows grey";
    EXPECT_THAT(host.changes, ElementsAre("Columns", "Columns", "LowercaseColumns", "LowercaseColumns", "IncludeSQL"));
    // Option values select their button; a value without one fails with 340 and keeps the previous value, Format
    // recording it all the same.
    control.SQLLoaderMode(Truncate), forget();
    EXPECT_TRUE(p().optSQLLdr(Truncate).value());
    EXPECT_EQ(errorOf([&] { control.SQLLoaderMode(0); }).number(), err::kControlArrayElement);
    e = errorOf([&] { control.Format(8); });
    EXPECT_EQ(e.number(), err::kControlArrayElement);
    EXPECT_THAT(callStack(e.description()), ElementsAre("Varnelo.Format"));
    EXPECT_EQ(std::pair(control.SQLLoaderMode(), control.Format()), std::pair(int32_t{Truncate}, int32_t{Ascii}));
    EXPECT_THAT(host.changes, ElementsAre("Format"));
}

// Colours show on their swatches and the tab sheet; fonts are held by
// reference and shown as "Name,Size", a holder label taking only the name.
TEST_F(PropertiesTest, ColoursAndFontsShowOnTheirSwatchesAndTheTabSheet) {
    const char* const colours[] = {"BodyBackColor", "BodyForeColor", "HeaderBackColor", "HeaderForeColor", "BackColor"};
    for (int i = 0; i < 5; ++i) PropertyRegistry::set(control, colours[i], Variant(i + 1));
    EXPECT_EQ((std::vector{p().lblBody(1).backColor(), p().lblBody(2).backColor(), p().lblHeader(1).backColor(),
                           p().lblHeader(2).backColor(), p().SSTab1.backColor()}),
              (std::vector<OLE_COLOR>{1, 2, 3, 4, 5}));
    p().Label9.setFont(makeFont("Holder", 12));
    auto body = makeFont("MS Sans Serif", 8.25, true);
    control.BodyFont(body), control.HeaderFont(makeFont("Courier New", 11.5));
    EXPECT_EQ(std::tuple(p().Label9.font()->name, p().Label9.font()->size, p().Label9.font()->bold),
              std::tuple("MS Sans Serif", 12.0, false));
    body->size = 10;  // the host changes its font object; a read shows it
    control.BodyFont();
    EXPECT_EQ(p().lblBody(0).caption() + "|" + p().lblBody(0).toolTip() + "|" + p().lblHeader(0).toolTip() + "|" +
                  p().Label8.font()->name,
              "MS Sans Serif,10|MS Sans Serif,10|Courier New,11.5|Courier New");
    EXPECT_THAT(host.changes, ElementsAre("BodyBackColor", "BodyForeColor", "HeaderBackColor", "HeaderForeColor",
                                          "BackColor", "BodyFont", "HeaderFont"));
}

// The SendThroughMail write switches mode: attachment, buttons, tab 2 and
// Launch file (enabled in mail mode, unlike a click); a bad value keeps 0.
TEST_F(PropertiesTest, SendThroughMailSwitchesBetweenFileAndMailMode) {
    control.OutputFile("/data/orders.csv"), forget(), control.SendThroughMail(1);
    EXPECT_EQ(control.MailAttachment(), "/data/orders.csv");
    EXPECT_TRUE(!p().cmdSave.visible() && p().cmdSend.visible() && p().SSTab1.tab(2).enabled &&
                p().chkSaveTo(0).enabled() && !p().optSaveTo(0).enabled());
    EXPECT_THAT(host.changes, ElementsAre("SendThroughMail", "SendThroughMail", "MailAttachment"));
    EXPECT_EQ((control.SendThroughMail(0), control.MailAttachment()), "");
    EXPECT_TRUE(p().cmdSave.visible() && !p().SSTab1.tab(2).enabled && !p().chkSaveTo(0).enabled());
    EXPECT_THROW(control.SendThroughMail(5), Error);
    EXPECT_EQ(control.settings().SendThroughMail, 0);
}

// DateFormat ignores writes; DataSource is refused at design time; a
// written commit interval is stored even when the field complains.
TEST_F(PropertiesTest, DateFormatDataSourceAndCommitIntervalWrites) {
    control.DateFormat("yyyy");
    EXPECT_EQ(control.DateFormat() + "|" + p().lblDateFormat.caption(), "dd/MM/yyyy HH:mm:ss|dd/MM/yyyy HH:mm:ss");
    auto rs = std::make_shared<MemoryRecordset>(std::vector<std::string>{"A"}, std::vector<int>{adtype::kInteger},
                                                std::vector<std::vector<Variant>>{{1}});
    host.runMode = false;
    EXPECT_EQ(errorOf([&] { control.DataSource(rs); }).number(), err::kSetNotAtDesignTime);
    host.runMode = true;
    EXPECT_EQ(control.DataSource(), nullptr);
    EXPECT_EQ((control.DataSource(rs), control.DataSource()), rs);
    control.CommitInterval("12a");
    EXPECT_THAT(shown(), ElementsAre("Wrong data Entry: Please enter numeric data to proceed (48)"));
    EXPECT_EQ(control.settings().CommitInterval + "|" + p().txtCommitInt.text(), "12a|12a");
    EXPECT_THAT(host.changes, ElementsAre("DataSource", "CommitInterval"));
}

// By name: case-insensitive, values converted from text, fonts from "Name,Size[,flags]"; bad values, unknown
// names and read-only writes fail with their number naming the property and change nothing.
TEST_F(PropertiesTest, ByNameConvertsFromTextOrFailsNamingTheProperty) {
    const std::string mismatch = "error " + std::to_string(err::kTypeMismatch),
                      overflow = "error " + std::to_string(err::kOverflow);
    const std::tuple<const char*, BagValue, std::string> cases[] = {
        {"insertTABLE", Variant("ORDERS"), "ORDERS"}, {"format", Variant(" 1 "), "1"},
        {"HeaderBackColor", Variant("&H00FF00"), "0x0000FF00"}, {"BodyBackColor", Variant("0x123456"), "0x00123456"},
        {"locked", Variant("True"), "True"}, {"ScaleTop", Variant("2.5"), "2.5"},
        {"HeaderFont", Variant("Arial, 10.5 ,bold"), "Arial,10.5,bold"},
        {"Format", Variant("abc"), mismatch}, {"BodyBackColor", Variant("0xZZ"), mismatch},
        {"Locked", Variant("maybe"), mismatch}, {"ScaleWidth", Variant("inf"), mismatch},
        {"HeaderFont", Variant("Arial,10,heavy"), mismatch}, {"DataSource", Variant("orders"), mismatch},
        {"InsertTable", makeFont("Arial", 10), mismatch}, {"Format", Variant("1e300"), overflow},
        {"ScaleHeight", Variant("1e300"), overflow}, {"Colour", Variant(1), "error 438"}, {"Enabled", Variant("False"), "error 383"}};
    for (const auto& [name, value, want] : cases) {
        std::string got;
        try {
            PropertyRegistry::set(control, name, value);
            got = PropertyRegistry::toText(*PropertyRegistry::find(name), PropertyRegistry::get(control, name));
        } catch (const Error& e) {
            got = "error " + std::to_string(e.number()) + (e.description().find(name) == std::string::npos ? " unnamed" : "");
        }
        EXPECT_EQ(got, want) << name;
    }
    EXPECT_EQ(std::tuple(control.Format(), control.InsertTable(), control.ScaleHeight(), control.Enabled()),
              std::tuple(int32_t{1}, "ORDERS", 7050.f, true));  // as the good writes left them
}

}  // namespace
}  // namespace varnelo
