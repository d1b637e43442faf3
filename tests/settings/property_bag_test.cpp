// The property bag: the keys in their order, the load defaults, a round
// trip of every key through the bag file, and the orders hosts call the
// lifecycle in.
#include <gmock/gmock.h>
#include <sys/stat.h>

#include "settings/settings_fixture.h"
#include "varnelo/bag_file.h"

namespace {

using namespace varnelo;
using namespace varnelo::testing_settings;
using testing_support::readFile;

const std::vector<std::string> kSaveOrder = {
    "BackColor", "ForeColor", "Font", "Locked", "ScaleHeight", "ScaleLeft", "ScaleMode", "ScaleTop", "ScaleWidth",
    "DateFormat", "BodyBackColor", "BodyForeColor", "BodyFont", "HeaderBackColor", "HeaderForeColor", "HeaderFont",
    "CommitInterval", "FieldSeparator", "InsertSchema", "InsertTable", "DelimChar", "LowercaseColumns", "NoWrap",
    "UnixFormat", "BodyBackColor", "BodyForeColor", "BodyFont", "HeaderBackColor", "HeaderForeColor", "HeaderFont",
    "Columns", "IncludeNulls", "DelimAfterRow", "Compress", "Quotes", "IncludeSQL", "Format", "SQLLoaderMode",
    "AutoColumnWidth", "OutputFile", "SaveToFile", "IncludeCellBorder", "LaunchFile", "DataSource", "FontExcelDef",
    "DiscardMax", "DateTemp", "Timetemp", "MailHTMLBody", "MailReceipt", "MailFrom", "MailTo", "MailCc", "MailBcc",
    "MailSubject", "MailMessage", "MailServer", "MailFormat", "MailFormatEnabled", "MailPriority", "MailHTMLBody",
    "MailReceipt", "MailTo", "MailFrom", "MailFromEnabled", "MailCc", "MailBcc", "MailSubject", "MailMessage",
    "MailFooter", "MailFormat", "MailSMTPServer", "MailSMTPServerEnabled", "MailPriority", "SMTPAuthentication",
    "SMTPAuthEnabled", "SendThroughMail", "MailAttachment", "Password", "UserName"};

TEST_F(SettingsTest, SaveWritesEveryKeyInOrder) {
    auto c = instance();
    c->placeAndShow();
    EXPECT_EQ(c->save().writeOrder(), kSaveOrder);
}

// A bag with none of the keys: the load defaults, where they differ from
// first placement too.
TEST_F(SettingsTest, LoadDefaults) {
    auto c = instance();
    PropertyBag empty;
    c->control.UserControl_ReadProperties(empty);
    const VarneloSettings& s = c->s();
    Panel& p = c->p();
    const DrawingSurface& d = c->host.drawing;
    EXPECT_EQ(std::make_tuple(s.DateFormat, s.CommitInterval, s.FieldSeparator, s.DelimChar, s.DiscardMax, s.DateTemp,
                              s.TimeTemp, s.OutputFile),
              std::make_tuple("dd/MM/yyyy HH:mm:ss", "1000", ",", ";", "1000", "dd/MM/yyyy", "hh:mm:ss", ""));
    EXPECT_EQ((std::vector<int32_t>{s.Columns, s.SQLLoaderMode, s.SaveToFile, s.MailFormatEnabled, s.Format,
                                    s.Quotes, s.MailPriority, s.SMTPAuthentication}),
              (std::vector<int32_t>{1, 1, 1, 1, 0, 0, 0, 0}));
    EXPECT_EQ((std::vector<OLE_COLOR>{s.BodyBackColor, s.BodyForeColor, s.HeaderBackColor, s.HeaderForeColor,
                                      p.lblBody(1).backColor(), p.lblHeader(2).backColor(), p.SSTab1.backColor()}),
              (std::vector<OLE_COLOR>{0xFFFFFF, 0, 0x400000, 0xFFFFFF, 0x80000009, 0x80000009, 0x8000000F}));
    EXPECT_EQ(std::make_tuple(d.scaleWidth, d.scaleHeight, d.scaleMode), std::make_tuple(5295.0f, 7050.0f, int16_t{1}));
    EXPECT_EQ(p.cboPriority.text(), "cboPriority");
    EXPECT_TRUE(p.txtFrom.enabled() && p.txtServer.enabled() && p.chkAuthReq.enabled());
    // The fonts start as the host's, each a copy of its own.
    ASSERT_TRUE(s.HeaderFont && s.BodyFont);
    EXPECT_EQ(s.HeaderFont->name, c->host.font->name);
    EXPECT_NE(s.HeaderFont, s.BodyFont);
    EXPECT_NE(s.HeaderFont, c->host.font);
    EXPECT_TRUE(c->host.changes.empty());
}

// Values of the wrong type or out of range take the key's default.
TEST_F(SettingsTest, LoadTakesDefaultsForValuesThatDoNotFit) {
    auto c = instance();
    PropertyBag bag;
    const Variant none;
    bag.WriteProperty("Format", Variant(int32_t{9}), none);
    bag.WriteProperty("Quotes", Variant("yes"), none);
    bag.WriteProperty("Columns", Variant(int32_t{7}), none);
    bag.WriteProperty("SaveToFile", Variant(int32_t{-1}), none);
    bag.WriteProperty("HeaderFont", Variant("Arial"), none);
    bag.WriteProperty("HeaderBackColor", Variant(int64_t{1} << 40), none);
    bag.WriteProperty("MailPriority", Variant(int32_t{5}), none);
    c->control.UserControl_ReadProperties(bag);
    const VarneloSettings& s = c->s();
    EXPECT_EQ((std::vector<int32_t>{s.Format, s.Quotes, s.Columns, s.SaveToFile}), (std::vector<int32_t>{0, 0, 1, 1}));
    EXPECT_EQ(s.HeaderBackColor, 0x400000u);
    ASSERT_TRUE(s.HeaderFont);
    EXPECT_EQ(s.HeaderFont->name, c->host.font->name);
    EXPECT_EQ(s.MailPriority, 5);
    EXPECT_EQ(c->p().cboPriority.text(), "Low");
}

// Every key survives save, the bag file and load: the second save's file
// is the first one's, byte for byte.
TEST_F(SettingsTest, EveryKeyRoundTripsThroughTheBagFile) {
    auto a = instance();
    a->placeAndShow();
    Varnelo& c = a->control;
    c.BackColor(0x123456);
    c.ForeColor(0x80000012);
    c.Font(makeFont("Tab Face", 9));
    c.Locked(true);
    c.ScaleHeight(100.5f);
    c.ScaleLeft(-3);
    c.ScaleTop(4);
    c.ScaleWidth(200.25f);
    c.ScaleMode(3);
    a->p().lblDateFormat.setCaption("yyyy-MM-dd");
    c.BodyBackColor(0x010203);
    c.BodyForeColor(0x0A0B0C);
    c.BodyFont(makeFont("Body Face", 11.5, false, true));
    c.HeaderBackColor(0x80000005);
    c.HeaderForeColor(0x00FF00);
    c.HeaderFont(makeFont("Head \\ Face", 14, true));
    c.Format(Inserts);
    c.CommitInterval("250");
    c.FieldSeparator("\t|\r\n");
    c.InsertSchema("sch");
    c.InsertTable("tbl");
    c.DelimChar("~");
    using Setter = void (Varnelo::*)(int32_t);
    for (Setter set : std::initializer_list<Setter>{&Varnelo::LowercaseColumns, &Varnelo::NoWrap, &Varnelo::UnixFormat, &Varnelo::IncludeNulls,
                     &Varnelo::DelimAfterRow, &Varnelo::Quotes, &Varnelo::IncludeSQL, &Varnelo::AutoColumnWidth,
                     &Varnelo::IncludeCellBorder, &Varnelo::FontExcelDef, &Varnelo::Compress})
        (c.*set)(1);
    c.Columns(2);
    c.SQLLoaderMode(Truncate);
    c.OutputFile("/tmp/out \xC3\xA9\xFF.sql");
    c.DiscardMax("77");
    c.SendThroughMail(1);
    c.MailHTMLBody(1);
    c.MailReceipt(1);
    c.MailFrom("me@example.org");
    c.MailTo("you@example.org");
    c.MailCc("cc@example.org");
    c.MailBcc("bcc@example.org");
    c.MailSubject("Orders");
    c.MailMessage("Line one\r\nLine two\n\ttabbed \\ end");
    c.MailFooter("--\nfooter");
    c.MailSMTPServer("smtp.example.org");
    c.MailFormatEnabled(0);
    c.MailFromEnabled(false);
    c.MailSMTPServerEnabled(false);
    c.MailPriority(PriorityHigh);
    c.SMTPAuthentication(1);
    c.SMTPAuthEnabled(false);
    c.UserName("ana");
    c.Password("p\tw=d\n");
    c.MailAttachment("/tmp/attach.sql");
    const std::string first = formatBagFile(a->save());

    // Load and save alone: a show would lay the settings file over the bag.
    PropertyBag loaded = parseBagFile(first, "first");
    auto b = instance();
    b->control.UserControl_ReadProperties(loaded);
    EXPECT_EQ(formatBagFile(b->save()), first);
    EXPECT_TRUE(b->host.changes.empty());
    // The priority survives a show too.
    b->control.UserControl_Show();
    EXPECT_EQ(b->p().cboPriority.listIndex(), 1);
    EXPECT_EQ(b->s().MailPriority, PriorityHigh);
    EXPECT_EQ(b->control.MailMessage(), "Line one\r\nLine two\n\ttabbed \\ end");
    EXPECT_EQ(b->control.Password(), "p\tw=d\n");
    EXPECT_EQ(b->control.SMTPAuthentication(), 1);
}

TEST_F(SettingsTest, BagFileIsPrivateWholeAndChecked) {
    auto c = instance();
    c->placeAndShow();
    c->control.Password("secret");
    const std::string path = dir.file("form.bag");
    writeBagFile(c->save(), path);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const std::string text = readFile(path);
    EXPECT_EQ(formatBagFile(readBagFile(path)), text);
    EXPECT_THAT(text, ::testing::HasSubstr("\nPassword\tstring\tsecret\n"));
    // A truncated file is refused, naming the file and the line.
    testing_support::writeFile(path, text.substr(0, text.size() / 2));
    const Error e = testing_support::errorOf([&] { readBagFile(path); });
    EXPECT_EQ(e.number(), 13);
    EXPECT_THAT(e.description(), ::testing::HasSubstr(path + ", line "));
    EXPECT_EQ(testing_support::errorOf([&] { readBagFile(dir.file("none.bag")); }).number(), 53);
}

// The orders hosts use: a new control, a loaded one, a loaded one shown,
// hidden and shown again; each ends arranged for its format, at its fixed
// size, with one priority list.
TEST_F(SettingsTest, LifecycleInTheOrdersHostsUse) {
    PropertyBag saved;
    {
        auto first = instance();
        first->placeAndShow();
        first->control.Format(HTMLTable);
        first->control.MailPriority(PriorityLow);
        saved = first->save();
        first->control.UserControl_Terminate();
    }
    struct Case {
        const char* name;
        std::function<void(Instance&)> run;
        int32_t format, priority;
    } cases[] = {
        {"new", [](Instance& i) { i.placeAndShow(); }, HTMLTable, PriorityNormal},
        {"loaded", [&](Instance& i) { i.loadAndShow(saved); }, HTMLTable, PriorityLow},
        {"loaded, shown twice",
         [&](Instance& i) {
             i.control.UserControl_ReadProperties(saved);
             i.control.UserControl_Show();
             i.control.UserControl_Hide();
             i.host.drawing.width = 10;
             i.control.UserControl_Resize();
             i.control.UserControl_Show();
         },
         HTMLTable, PriorityLow},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto i = instance();
        c.run(*i);
        EXPECT_EQ(i->s().Format, c.format);  // the settings file's format over the bag's
        EXPECT_TRUE(i->p().optFormat(c.format).value());
        EXPECT_TRUE(i->p().SSTab1.tab(1).enabled);  // HTML arranges the colour tab
        EXPECT_EQ(i->s().MailPriority, c.priority);
        EXPECT_EQ(i->p().cboPriority.list(), (std::vector<std::string>{"Normal", "High", "Low"}));
        EXPECT_EQ(std::make_pair(i->host.drawing.width, i->host.drawing.height), std::make_pair(5295.0, 7050.0));
    }
}

}  // namespace
