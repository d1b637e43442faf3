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
using namespace varnelo::testing_support;
using ::testing::HasSubstr;

// A bag without the keys, or with values of the wrong type or out of range:
// the load defaults, where they differ from first placement too; the fonts
// are copies of the host's, each its own.
TEST_F(SettingsTest, LoadDefaults) {
    auto c = instance();
    PropertyBag bag;
    for (const auto& [key, value] : std::vector<std::pair<const char*, Variant>>{
             {"Format", Variant(int32_t{9})}, {"Quotes", Variant("yes")}, {"Columns", Variant(int32_t{7})},
             {"SaveToFile", Variant(int32_t{-1})}, {"HeaderFont", Variant("Arial")},
             {"HeaderBackColor", Variant(int64_t{1} << 40)}})
        bag.WriteProperty(key, value, Variant());
    c->control.UserControl_ReadProperties(bag);
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
    ASSERT_TRUE(s.HeaderFont && s.BodyFont);
    EXPECT_EQ(s.HeaderFont->name, c->host.font->name);
    EXPECT_TRUE(s.HeaderFont != s.BodyFont && s.HeaderFont != c->host.font);
    EXPECT_TRUE(c->host.changes.empty());
}

// Every key survives save, the bag file and load: the second save's file
// is the first one's, byte for byte, and names every key but DataSource.
TEST_F(SettingsTest, EveryKeyRoundTripsThroughTheBagFile) {
    auto a = instance();
    a->show();
    Varnelo& c = a->control;
    c.BackColor(0x123456), c.ForeColor(0x80000012), c.Font(makeFont("Tab Face", 9)), c.Locked(true);
    c.ScaleHeight(100.5f), c.ScaleLeft(-3), c.ScaleTop(4), c.ScaleWidth(200.25f), c.ScaleMode(3);
    a->p().lblDateFormat.setCaption("yyyy-MM-dd");
    c.BodyBackColor(0x010203), c.BodyForeColor(0x0A0B0C), c.BodyFont(makeFont("Body Face", 11.5, false, true));
    c.HeaderBackColor(0x80000005), c.HeaderForeColor(0x00FF00), c.HeaderFont(makeFont("Head \\ Face", 14, true));
    c.Format(Inserts), c.CommitInterval("250"), c.FieldSeparator("\t|\r\n"), c.InsertSchema("sch");
    c.InsertTable("tbl"), c.DelimChar("~"), c.Columns(2), c.SQLLoaderMode(Truncate), c.DiscardMax("77");
    using Setter = void (Varnelo::*)(int32_t);
    for (Setter set : std::initializer_list<Setter>{
             &Varnelo::LowercaseColumns, &Varnelo::NoWrap, &Varnelo::UnixFormat, &Varnelo::IncludeNulls,
             &Varnelo::DelimAfterRow, &Varnelo::Quotes, &Varnelo::IncludeSQL, &Varnelo::AutoColumnWidth,
             &Varnelo::IncludeCellBorder, &Varnelo::FontExcelDef, &Varnelo::Compress, &Varnelo::SendThroughMail,
             &Varnelo::MailHTMLBody, &Varnelo::MailReceipt, &Varnelo::SMTPAuthentication})
        (c.*set)(1);
    c.OutputFile("/tmp/out \xC3\xA9\xFF.sql"), c.MailFrom("me@example.org"), c.MailTo("you@example.org");
    c.MailCc("cc@example.org"), c.MailBcc("bcc@example.org"), c.MailSubject("Orders"), c.MailFooter("--\nfooter");
    c.MailMessage("Line one\r\nLine two\n\ttabbed \\ end"), c.MailSMTPServer("smtp.example.org");
    c.MailFormatEnabled(0), c.MailFromEnabled(false), c.MailSMTPServerEnabled(false), c.MailPriority(PriorityHigh);
    c.SMTPAuthEnabled(false), c.UserName("ana"), c.Password("p\tw=d\n"), c.MailAttachment("/tmp/attach.sql");
    const std::string first = formatBagFile(a->save());
    EXPECT_EQ(std::count(first.begin(), first.end(), '\n'), 2 + 63);  // the heading, 63 keys and the end line

    // Load and save alone: a show would lay the settings file over the bag.
    PropertyBag loaded = parseBagFile(first, "first");
    auto b = instance();
    b->control.UserControl_ReadProperties(loaded);
    EXPECT_EQ(formatBagFile(b->save()), first);
    EXPECT_TRUE(b->host.changes.empty());
    b->control.UserControl_Show();  // the priority survives a show too
    EXPECT_EQ(std::make_pair(b->p().cboPriority.listIndex(), b->s().MailPriority),
              std::make_pair(1, int32_t{PriorityHigh}));
    EXPECT_EQ(b->control.MailMessage() + "|" + b->control.Password(), "Line one\r\nLine two\n\ttabbed \\ end|p\tw=d\n");
    EXPECT_EQ(b->control.SMTPAuthentication(), 1);
}

// The bag file is private and read back as written; a truncated one is
// refused naming the file and the line, a missing one is error 53.
TEST_F(SettingsTest, BagFileIsPrivateWholeAndChecked) {
    auto c = instance();
    c->show();
    c->control.Password("secret");
    const std::string path = dir.file("form.bag");
    writeBagFile(c->save(), path);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const std::string text = readFile(path);
    EXPECT_EQ(formatBagFile(readBagFile(path)), text);
    EXPECT_THAT(text, HasSubstr("\nPassword\tstring\tsecret\n"));
    writeFile(path, text.substr(0, text.size() / 2));
    const Error e = errorOf([&] { readBagFile(path); });
    EXPECT_EQ(e.number(), 13);
    EXPECT_THAT(e.description(), HasSubstr(path + ", line "));
    EXPECT_EQ(errorOf([&] { readBagFile(dir.file("none.bag")); }).number(), 53);
}

// The orders hosts use: a new control, a loaded one, a loaded one shown,
// hidden and shown again; each ends arranged for its format, at its fixed
// size, with one priority list.
TEST_F(SettingsTest, LifecycleInTheOrdersHostsUse) {
    auto first = instance();
    first->show();
    first->control.Format(HTMLTable);
    first->control.MailPriority(PriorityLow);
    PropertyBag saved = first->save();
    first->control.UserControl_Terminate();
    const std::pair<const char*, std::function<void(Instance&)>> cases[] = {
        {"new", [](Instance& i) { i.show(); }},
        {"loaded", [&](Instance& i) { i.show(&saved); }},
        {"loaded, shown twice", [&](Instance& i) {
             i.control.UserControl_ReadProperties(saved);
             i.control.UserControl_Show();
             i.control.UserControl_Hide();
             i.host.drawing.width = 10;
             i.control.UserControl_Resize();
             i.control.UserControl_Show();
         }}};
    for (const auto& [name, run] : cases) {
        SCOPED_TRACE(name);
        auto i = instance();
        run(*i);
        EXPECT_EQ(i->s().Format, HTMLTable);  // the settings file's format over the bag's
        EXPECT_TRUE(i->p().optFormat(HTMLTable).value());
        EXPECT_TRUE(i->p().SSTab1.tab(1).enabled);  // HTML arranges the colour tab
        EXPECT_EQ(i->s().MailPriority, name == std::string("new") ? PriorityNormal : PriorityLow);
        EXPECT_EQ(i->p().cboPriority.list(), (std::vector<std::string>{"Normal", "High", "Low"}));
        EXPECT_EQ(std::make_pair(i->host.drawing.width, i->host.drawing.height), std::make_pair(5295.0, 7050.0));
    }
}

}  // namespace
