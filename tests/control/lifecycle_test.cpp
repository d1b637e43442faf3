// The control's life in its host as the panel sees it: the events it raises,
// the panel showing every stored value once shown, fonts of its own, and
// listings that read without changing anything.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "control/control_fixture.h"
#include "support/test_support.h"
#include "varnelo/memory_recordset.h"
#include "varnelo/property_registry.h"

namespace varnelo {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing_support::readFile;
using testing_support::TempDir;

TEST(Lifecycle, FirstPlacementAndHideRaiseTheirEventsAndShowFillsEveryField) {
    RecordingHost host;
    RecordingDesktop desktop;
    Varnelo control(host, desktop);
    control.UserControl_Initialize();
    EXPECT_FALSE(control.panel().fraOthers.enabled());
    EXPECT_FALSE(control.panel().frmSaveTo.enabled());
    control.UserControl_InitProperties();
    EXPECT_THAT(host.events, ElementsAre("InitProperties"));
    EXPECT_THAT(host.changes, IsEmpty()) << "defaults are stored, not recorded";
    control.UserControl_Show();
    control.UserControl_Hide();
    EXPECT_THAT(host.events, ElementsAre("InitProperties", "Hide"));

    Panel& p = control.panel();
    const std::pair<ui::TextBox*, std::string> texts[] = {
        {&p.txtCommitInt, "1000"}, {&p.txtDelimChar, ";"},  {&p.txtFieldSep, ","}, {&p.txtDiscardMax, "1000"},
        {&p.txttable, ""},         {&p.txtFileSave, ""},    {&p.txtSchema, ""},    {&p.txtStrEnclose, ""}};
    for (auto [box, text] : texts) EXPECT_EQ(box->text(), text) << box->name();
    EXPECT_EQ(p.chkOption(2).value(), 1) << "Columns";
    EXPECT_TRUE(p.optSQLLdr(Insert).value());
    EXPECT_TRUE(p.optSaveTo(1).value());
    EXPECT_TRUE(p.optEncodeType(0).value());
    EXPECT_EQ(p.lblHeader(1).backColor(), 0x400000u);
    EXPECT_EQ(p.lblHeader(2).backColor(), 0xFFFFFFu);
    EXPECT_EQ(p.lblBody(1).backColor(), 0xFFFFFFu);
    EXPECT_EQ(p.lblBody(2).backColor(), 0u);
    EXPECT_EQ(p.lblHeader(0).caption(), "Sans Serif,8.25");
    EXPECT_EQ(p.lblBody(0).toolTip(), "Sans Serif,8.25");
    EXPECT_EQ(p.lblDateFormat.caption(), "dd/MM/yyyy HH:mm:ss");
    EXPECT_EQ(p.cboPriority.text(), "Normal");
}

TEST(Lifecycle, HeaderAndBodyFontsAreCopiesOfTheAmbientFont) {
    RecordingHost host;
    RecordingDesktop desktop;
    Varnelo control(host, desktop);
    control.UserControl_Initialize();
    control.UserControl_InitProperties();
    FontPtr header = control.HeaderFont(), body = control.BodyFont();
    EXPECT_EQ(header->name, host.font->name);
    EXPECT_EQ(body->size, host.font->size);
    EXPECT_NE(header, host.font);
    EXPECT_NE(body, host.font);
    header->bold = true;
    body->italic = true;
    EXPECT_FALSE(body->bold);
    EXPECT_FALSE(host.font->bold || host.font->italic);
}

class StoredValuesTest : public testing_control::ControlTest {
protected:
    TempDir dir;
    std::shared_ptr<MemoryRecordset> source = std::make_shared<MemoryRecordset>(
        std::vector<std::string>{"A", "B"}, std::vector<int>{adtype::kInteger, adtype::kVarChar},
        std::vector<std::vector<Variant>>{{1, "x"}});
};

// A host that only writes properties (and never reads one back) can save in
// every format: the checks see the stored commit interval and delimiter.
TEST_F(StoredValuesTest, AHostThatNeverReadsCanSaveInEveryFormat) {
    control.DataSource(source);
    for (int32_t format : {Ascii, DelimTab, DelimOther, Inserts, ExcelFile, HTMLTable, SQLLoader}) {
        SCOPED_TRACE(format);
        const std::string file = dir.file("out" + std::to_string(format));
        control.Format(format);
        control.InsertTable("T");
        control.OutputFile(file);
        forget();
        EXPECT_TRUE(control.Save());
        EXPECT_THAT(desktop.messages, IsEmpty());
        EXPECT_FALSE(readFile(file).empty());
    }
    EXPECT_EQ(readFile(dir.file("out2")), "A;B\r\n1;x");
}

TEST_F(StoredValuesTest, ListingReadsStoredValuesWithoutTheReadsSideEffects) {
    control.UnixFormat(1);
    p().lblBody(1).setBackColor(0x0000FF);  // disturbed on the panel alone
    forget();
    {
        auto storedOnly = control.readStoredValuesOnly();
        for (const PropertyInfo& info : PropertyRegistry::all())
            if (info.name != "DataSource") PropertyRegistry::get(control, info.name);
        EXPECT_EQ(control.SendThroughMail(), 0);
    }
    EXPECT_EQ(control.settings().UnixFormat, 1) << "reading SendThroughMail 0 left Unix style save alone";
    EXPECT_EQ(p().chkSaveTo(1).value(), 1);
    EXPECT_EQ(p().lblBody(1).backColor(), 0x0000FFu);
    EXPECT_THAT(host.changes, IsEmpty());

    EXPECT_EQ(control.SendThroughMail(), 0);  // an ordinary read does clear it
    EXPECT_EQ(control.settings().UnixFormat, 0);
    EXPECT_EQ(p().lblBody(1).backColor(), 0x0000FFu);
    control.BodyBackColor();
    EXPECT_EQ(p().lblBody(1).backColor(), 0xFFFFFFu);
}

}  // namespace
}  // namespace varnelo
