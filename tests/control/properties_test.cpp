// The published properties: where a written value lands on the panel, which
// change keys the host receives and in what order, and how refused values fail.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "control/control_fixture.h"
#include "varnelo/memory_recordset.h"

namespace varnelo {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testing_control::callStack;
using testing_control::errorOf;

using PropertiesTest = testing_control::ControlTest;

TEST_F(PropertiesTest, StoredTextGoesIntoItsFieldWhoseHandlerRecordsFirst) {
    control.StrEnclose("'");
    EXPECT_EQ(p().txtStrEnclose.text(), "'");
    EXPECT_THAT(host.changes, ElementsAre("StrEnclose", "StrEnclose"));

    forget();
    control.InsertTable("  Order Lines ");
    control.InsertTable("  Order Lines ");  // the field already holds it: no handler
    EXPECT_EQ(p().txttable.text(), "  Order Lines ") << "stored as written";
    EXPECT_THAT(host.changes, ElementsAre("InsertTable", "Inserttable", "Inserttable"));

    // Stored before the field takes it, so the field's one-character rule has the last word.
    control.DelimChar(";|");
    EXPECT_EQ(control.settings().DelimChar, "|");
    EXPECT_EQ(p().txtDelimChar.text(), "|");
}

TEST_F(PropertiesTest, ReadsReturnTheStoredValueRestoreTheFieldAndRecordNothing) {
    control.BodyBackColor(0x00336699);
    control.MailPriority(PriorityLow);
    control.SQLLoaderMode(Append);
    forget();
    p().lblBody(1).setBackColor(0);  // disturbed without going through a handler
    p().cboPriority.setText("junk");
    EXPECT_EQ(control.BodyBackColor(), 0x00336699u);
    EXPECT_EQ(control.MailPriority(), PriorityLow);
    EXPECT_EQ(control.SQLLoaderMode(), Append);
    EXPECT_EQ(p().lblBody(1).backColor(), 0x00336699u);
    EXPECT_EQ(p().cboPriority.text(), "Low");
    EXPECT_THAT(host.changes, IsEmpty());
}

TEST_F(PropertiesTest, CheckBoxPropertiesPassGreyAndRefuseOtherValuesKeepingThePreviousOne) {
    control.Columns(2);
    EXPECT_EQ(p().chkOption(2).value(), 2);
    EXPECT_THAT(host.changes, ElementsAre("Columns", "Columns"));

    forget();
    control.LowercaseColumns(1);
    Error e = errorOf([&] { control.LowercaseColumns(5); });
    EXPECT_EQ(e.number(), err::kInvalidPropertyValue);
    EXPECT_EQ(e.source(), "HuntERR.ErrorIn");
    EXPECT_THAT(callStack(e.description()), ElementsAre("Varnelo.LowercaseColumns"));
    EXPECT_EQ(control.LowercaseColumns(), 1) << "still readable";
    EXPECT_EQ(p().chkOption(7).value(), 1);
    EXPECT_THAT(host.changes, ElementsAre("LowercaseColumns", "LowercaseColumns")) << "the refusal records nothing";

    forget();  // IncludeSQL records before it touches the box
    control.Quotes(1);
    EXPECT_THROW(control.IncludeSQL(3), Error);
    EXPECT_EQ(errorOf([&] { control.Quotes(7); }).number(), err::kInvalidPropertyValue);
    EXPECT_EQ(control.Quotes(), 1);
    EXPECT_EQ(control.IncludeSQL(), 0);
    EXPECT_THAT(host.changes, ElementsAre("Quotes", "Quotes", "IncludeSQL"));
}

TEST_F(PropertiesTest, OptionPropertiesSelectTheButtonOfTheirValueOrFailKeepingThePreviousOne) {
    const std::pair<int32_t, const char*> modes[] = {
        {Insert, "Insert"}, {Append, "Append"}, {Replace_, "Replace"}, {Truncate, "Truncate"}};
    for (auto [mode, caption] : modes) {
        forget();
        control.SQLLoaderMode(mode);
        EXPECT_TRUE(p().optSQLLdr(mode).value());
        EXPECT_EQ(p().optSQLLdr(mode).caption(), caption);
        EXPECT_EQ(control.settings().SQLLoaderMode, mode) << "the button's handler stores the same";
    }
    EXPECT_THAT(host.changes, ElementsAre("SQLLoadermode", "SQLLoaderMode"));

    control.MailFormat(EncodingUU);
    EXPECT_TRUE(p().optEncodeType(1).value());
    EXPECT_FALSE(p().ckHtml.enabled());

    // Values without a button are refused and the previous value stays; Format records before it fails,
    // the others do not.
    forget();
    EXPECT_EQ(errorOf([&] { control.SQLLoaderMode(0); }).number(), err::kControlArrayElement);
    EXPECT_EQ(control.SQLLoaderMode(), Truncate);
    EXPECT_THAT(host.changes, IsEmpty());
    Error e = errorOf([&] { control.Format(8); });
    EXPECT_EQ(e.number(), err::kControlArrayElement);
    EXPECT_EQ(e.source(), "HuntERR.ErrorIn");
    EXPECT_THAT(e.description(), HasSubstr("  Method: Varnelo.Format \r\n"));
    EXPECT_THAT(callStack(e.description()), ElementsAre("Varnelo.Format"));
    EXPECT_EQ(control.Format(), Ascii);
    EXPECT_THAT(host.changes, ElementsAre("Format"));
}

TEST_F(PropertiesTest, ANewFormatRunsTheFormatChoiceWhichLeavesMailMode) {
    control.OutputFile("out.csv");
    control.SendThroughMail(1);
    forget();
    control.Format(Ascii);  // already selected: no format choice runs
    EXPECT_THAT(host.changes, ElementsAre("Format"));
    EXPECT_EQ(control.settings().SendThroughMail, 1);

    forget();
    control.Format(DelimTab);
    EXPECT_EQ(control.settings().SendThroughMail, 0);
    EXPECT_EQ(p().chkOption(10).value(), 0);
    EXPECT_EQ(control.MailAttachment(), "");
    EXPECT_TRUE(p().cmdSave.visible());
    EXPECT_FALSE(p().cmdSend.visible());
    EXPECT_THAT(host.changes, ElementsAre("Format", "SendThroughMail", "MailAttachment", "Format"));
}

TEST_F(PropertiesTest, ColoursAndFontsShowOnTheirSwatchesAndTheTabSheet) {
    control.BodyBackColor(0x00FF0000);
    control.BodyForeColor(0x000000FF);
    control.HeaderBackColor(0x80000005);
    control.HeaderForeColor(0x0000FF00);
    control.BackColor(0x00C0C0C0);
    EXPECT_EQ(p().lblBody(1).backColor(), 0x00FF0000u);
    EXPECT_EQ(p().lblBody(2).backColor(), 0x000000FFu);
    EXPECT_EQ(p().lblHeader(1).backColor(), 0x80000005u);
    EXPECT_EQ(p().lblHeader(2).backColor(), 0x0000FF00u);
    EXPECT_EQ(p().SSTab1.backColor(), 0x00C0C0C0u);

    // Fonts are held by reference and shown as "Name,Size"; a holder label takes only the name.
    auto tabFont = makeFont("Verdana", 9);
    control.Font(tabFont);
    EXPECT_EQ(p().SSTab1.font(), tabFont);
    p().Label9.setFont(makeFont("Holder", 12));
    auto body = makeFont("MS Sans Serif", 8.25, true);
    control.BodyFont(body);
    EXPECT_EQ(p().lblBody(0).caption(), "MS Sans Serif,8.25");
    EXPECT_EQ(p().lblBody(0).toolTip(), "MS Sans Serif,8.25");
    EXPECT_EQ(p().Label9.font()->name, "MS Sans Serif");
    EXPECT_EQ(p().Label9.font()->size, 12);
    EXPECT_FALSE(p().Label9.font()->bold);
    body->size = 10;  // the host changes its font object; a read shows it
    control.BodyFont();
    EXPECT_EQ(p().lblBody(0).caption(), "MS Sans Serif,10");
    control.HeaderFont(makeFont("Courier New", 11.5));
    EXPECT_EQ(p().lblHeader(0).toolTip(), "Courier New,11.5");
    EXPECT_EQ(p().Label8.font()->name, "Courier New");
    EXPECT_THAT(host.changes, ElementsAre("BodyBackColor", "BodyForeColor", "HeaderBackColor", "HeaderForeColor",
                                          "BackColor", "Font", "BodyFont", "HeaderFont"));
}

TEST_F(PropertiesTest, PanelOnlyAndScalePropertiesLiveInTheirFieldsAndOnTheSurface) {
    control.MailTo("a@example.org");
    control.MailHTMLBody(1);
    control.MailFromEnabled(false);
    control.ScaleMode(3);
    EXPECT_EQ(p().txtTo.text(), "a@example.org");
    EXPECT_EQ(p().ckHtml.value(), 1);
    EXPECT_FALSE(p().txtFrom.enabled());
    EXPECT_EQ(host.drawing.scaleMode, 3);
    p().txtSubject.setText("typed by the user");
    EXPECT_EQ(control.MailSubject(), "typed by the user");
    control.Scale_(10, 20, 110, 70);
    EXPECT_EQ(control.ScaleLeft(), 10);
    EXPECT_EQ(control.ScaleHeight(), 50);
    EXPECT_THAT(host.changes, ElementsAre("MailTo", "MailHTMLBody", "MailFromEnabled", "ScaleMode"));

    forget();
    EXPECT_EQ(errorOf([&] { control.MailReceipt(3); }).number(), err::kInvalidPropertyValue);
    EXPECT_THAT(host.changes, IsEmpty());
}

TEST_F(PropertiesTest, MailPriorityAndMailFormatEnabledSetTheirFieldsOnly) {
    const int32_t codeBefore = control.settings().priorityCode;
    control.MailPriority(PriorityHigh);
    EXPECT_EQ(p().cboPriority.text(), "High");
    control.MailPriority(PriorityLow);
    control.MailPriority(2);
    EXPECT_EQ(control.settings().MailPriority, 2);
    EXPECT_EQ(p().cboPriority.text(), "Low") << "no text for 2";
    EXPECT_EQ(control.settings().priorityCode, codeBefore);
    EXPECT_THAT(host.changes, ElementsAre("MailPriority", "MailPriority", "MailPriority"));

    control.MailFormatEnabled(0);
    EXPECT_FALSE(p().optEncodeType(0).enabled() || p().optEncodeType(1).enabled());
    control.MailFormatEnabled(7);
    EXPECT_TRUE(p().optEncodeType(0).enabled() && p().optEncodeType(1).enabled());
}

TEST_F(PropertiesTest, SendThroughMailSwitchesBetweenFileAndMailMode) {
    control.OutputFile("/data/orders.csv");
    p().chkAuthReq.setValue(1);
    control.UserName("me");
    control.Password("secret");
    forget();

    control.SendThroughMail(1);
    EXPECT_EQ(control.MailAttachment(), "/data/orders.csv");
    EXPECT_EQ(p().txtAttach.text(), "/data/orders.csv");
    EXPECT_EQ(control.UserName(), "me") << "the login fields stay shown and keep what they hold";
    EXPECT_EQ(control.Password(), "secret");
    EXPECT_FALSE(p().cmdSave.visible());
    EXPECT_TRUE(p().cmdSend.visible());
    EXPECT_TRUE(p().SSTab1.tab(2).enabled);
    EXPECT_TRUE(p().chkSaveTo(0).enabled()) << "a write enables Launch file, unlike a click";
    EXPECT_FALSE(p().optSaveTo(0).enabled());
    EXPECT_THAT(host.changes, ElementsAre("SendThroughMail", "SendThroughMail", "MailAttachment"));

    forget();  // in mail mode a new output file carries over into the attachment
    control.OutputFile("/data/other.csv");
    EXPECT_EQ(control.MailAttachment(), "/data/other.csv");
    EXPECT_THAT(host.changes, ElementsAre("MailAttachment", "OutputFile", "OutputFile"));

    control.SendThroughMail(0);
    EXPECT_EQ(control.MailAttachment(), "");
    EXPECT_TRUE(p().cmdSave.visible());
    EXPECT_FALSE(p().SSTab1.tab(2).enabled);
    EXPECT_FALSE(p().chkSaveTo(0).enabled());

    // Reading 0 also clears Unix-style save, through the box's handler.
    control.UnixFormat(1);
    forget();
    EXPECT_EQ(control.SendThroughMail(), 0);
    EXPECT_EQ(p().chkSaveTo(1).value(), 0);
    EXPECT_EQ(control.settings().UnixFormat, 0);
    EXPECT_THAT(host.changes, ElementsAre("UnixFormat"));

    forget();
    EXPECT_EQ(errorOf([&] { control.SendThroughMail(5); }).number(), err::kInvalidPropertyValue);
    EXPECT_EQ(control.settings().SendThroughMail, 0);
    EXPECT_THAT(host.changes, ElementsAre("SendThroughMail"));
}

TEST_F(PropertiesTest, WritingDateFormatHasNoEffect) {
    EXPECT_EQ(control.DateFormat(), "dd/MM/yyyy HH:mm:ss");
    forget();
    control.DateFormat("yyyy");
    EXPECT_EQ(control.DateFormat(), "dd/MM/yyyy HH:mm:ss");
    EXPECT_EQ(p().lblDateFormat.caption(), "dd/MM/yyyy HH:mm:ss");
    EXPECT_THAT(host.changes, IsEmpty());
}

TEST_F(PropertiesTest, DataSourceIsRefusedAtDesignTimeAndTakesAnythingAtRunTime) {
    auto rs = std::make_shared<MemoryRecordset>(std::vector<std::string>{"A"}, std::vector<int>{adtype::kInteger},
                                                std::vector<std::vector<Variant>>{{1}});
    host.runMode = false;
    Error e = errorOf([&] { control.DataSource(rs); });
    EXPECT_EQ(e.number(), err::kSetNotAtDesignTime);
    EXPECT_EQ(e.source(), "HuntERR.ErrorIn");
    EXPECT_THAT(callStack(e.description()), ElementsAre("Varnelo.DataSource"));
    EXPECT_EQ(control.DataSource(), nullptr);
    EXPECT_THAT(host.changes, IsEmpty());

    host.runMode = true;
    control.DataSource(rs);
    EXPECT_EQ(control.DataSource(), rs);
    control.DataSource(nullptr);
    EXPECT_EQ(control.DataSource(), nullptr);
    EXPECT_THAT(host.changes, ElementsAre("DataSource", "DataSource"));
}

TEST_F(PropertiesTest, NumericFieldsRejectWordsButTheCommitIntervalWriteStoresThem) {
    control.CommitInterval("250");
    EXPECT_THAT(desktop.messages, IsEmpty());
    EXPECT_THAT(host.changes, ElementsAre("CommitInterval", "CommitInterval"));

    forget();
    control.CommitInterval("12a");
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].text, "Please enter numeric data to proceed");
    EXPECT_EQ(desktop.messages[0].title, "Wrong data Entry");
    EXPECT_EQ(desktop.messages[0].style, mb::kExclamation);
    EXPECT_EQ(control.settings().CommitInterval, "12a");
    EXPECT_EQ(p().txtCommitInt.text(), "12a");
    EXPECT_THAT(host.changes, ElementsAre("CommitInterval")) << "only the write's own record";

    // Typed into the fields.
    forget();
    for (const char* good : {"", "42", " 42 ", "-3.5", "1e3"}) {
        p().txtDiscardMax.setText("0");
        p().txtDiscardMax.setText(good);
        EXPECT_EQ(control.DiscardMax(), good);
    }
    EXPECT_THAT(desktop.messages, IsEmpty());
    for (const char* bad : {"abc", "nan", "inf", "-infinity", "12a"}) {
        p().txtCommitInt.setText(bad);
        EXPECT_EQ(control.settings().CommitInterval, "12a") << bad;
    }
    EXPECT_EQ(desktop.messages.size(), 5u);
}

}  // namespace
}  // namespace varnelo
