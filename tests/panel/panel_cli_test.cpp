// End-to-end: varnelo-panel driven through whole scenarios, its JSON read
// back with Python's own parser.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using namespace varnelo::testing_support;

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

int runPanel(const std::vector<std::string>& args, const TempDir& dir) {
    std::string cmd = quote(VARNELO_PANEL_BIN);
    for (const auto& a : args) cmd += " " + quote(a);
    cmd += " >" + quote(dir.file("out.txt")) + " 2>" + quote(dir.file("err.txt")) + " </dev/null";
    const int raw = std::system(cmd.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// Runs the scenario with --json and returns the value of each expression
// over the parsed output `d`, as compact JSON.
std::vector<std::string> scenario(std::vector<std::string> args, const std::vector<std::string>& expressions) {
    TempDir dir;
    args.push_back("--json");
    EXPECT_EQ(runPanel(args, dir), 0) << readFile(dir.file("err.txt"));
    std::string cmd = "python3 " + quote(std::string(VARNELO_SOURCE_DIR) + "/tests/panel/panel_json.py") + " " +
                      quote(dir.file("out.txt"));
    for (const auto& e : expressions) cmd += " " + quote(e);
    cmd += " >" + quote(dir.file("values.txt"));
    EXPECT_EQ(std::system(cmd.c_str()), 0) << "the output is not JSON";
    std::vector<std::string> lines;
    std::string all = readFile(dir.file("values.txt"));
    for (size_t start = 0, end; (end = all.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(all.substr(start, end - start));
    return lines;
}

TEST(PanelCli, InsertStatementsWithABadCommitInterval) {
    auto v = scenario({"--click", "optFormat(3)", "--type", "txtCommitInt=12x", "--type", "txttable=ORDERS",
                       "--click", "cmdSave"},
                      {"d['widgets']['txtCommitInt']['text']", "d['widgets']['txtCommitInt']['effectiveEnabled']",
                       "d['widgets']['chkOption(1)']['effectiveEnabled']", "d['widgets']['optFormat(3)']['value']",
                       "d['events']", "d['currentTab']", "d['tabs'][1]"});
    ASSERT_EQ(v.size(), 7u);
    EXPECT_EQ(v[0], "\"12x\"");
    EXPECT_EQ(v[1], "true");
    EXPECT_EQ(v[2], "false");
    EXPECT_EQ(v[3], "true");
    EXPECT_EQ(v[4],
              "[{\"type\":\"notify\",\"key\":\"Format\"},"
              "{\"type\":\"message\",\"title\":\"Wrong data Entry\",\"text\":\"Please enter numeric data to proceed\","
              "\"style\":48},"
              "{\"type\":\"notify\",\"key\":\"InsertTable\"},"
              "{\"type\":\"message\",\"title\":\"Missing DataSource\",\"text\":\"Please set the DataSource to proceed.\","
              "\"style\":48}]");
    EXPECT_EQ(v[5], "0");
    EXPECT_EQ(v[6], "{\"caption\":\"&Other Settings\",\"enabled\":false,\"visible\":true}");
}

TEST(PanelCli, HeaderColoursAndFontsThroughAnsweredDialogs) {
    auto v = scenario({"--click", "optFormat(6)", "--answer", "color=0x0000FF", "--click", "cmdHeader(1)", "--answer",
                       "font=Arial,10.5,bold", "--click", "cmdHeader(0)", "--click", "cmdBody(2)"},
                      {"d['events']", "d['widgets']['lblHeader(1)']['backColor']",
                       "d['widgets']['lblHeader(0)']['caption']", "d['widgets']['lblHeader(0)']['toolTip']",
                       "d['widgets']['lblBody(2)']['backColor']", "'value' in d['widgets']['lblHeader(0)']"});
    ASSERT_EQ(v.size(), 6u);
    EXPECT_EQ(v[0],
              "[{\"type\":\"notify\",\"key\":\"Format\"},"
              "{\"type\":\"dialog\",\"kind\":\"color\",\"answer\":255},"
              "{\"type\":\"notify\",\"key\":\"HeaderBackColor\"},"
              "{\"type\":\"dialog\",\"kind\":\"font\",\"answer\":\"Arial,10.5,bold\"},"
              "{\"type\":\"notify\",\"key\":\"HeaderFont\"},"
              "{\"type\":\"dialog\",\"kind\":\"color\",\"answer\":null},"
              "{\"type\":\"notify\",\"key\":\"BodyForeColor\"}]");
    EXPECT_EQ(v[1], "255");
    EXPECT_EQ(v[2], "\"Arial,10.5\"");
    EXPECT_EQ(v[3], "\"Arial,10.5\"");
    EXPECT_EQ(v[4], "0");
    EXPECT_EQ(v[5], "false") << "a label has no value";
}

TEST(PanelCli, ComposeADateFormat) {
    auto v = scenario({"--click", "optFormat(4)", "--pick", "cmbDate(0)=2", "--pick", "cmbDate(1)=1", "--pick",
                       "cmbDate(2)=1", "--pick", "cmbDate(3)=1", "--pick", "cmbDate(4)=1", "--type", "cmbDate(2)=x",
                       "--click", "chkTime(0)", "--click", "optTime(1)", "--click", "cmdOK1"},
                      {"d['widgets']['lblDateFormat']['caption']", "d['widgets']['cmbDate(2)']['text']",
                       "[e['key'] for e in d['events'] if e['type'] == 'notify']"});
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[0], "\"yyyy-MM-dd HH:mm:ss\"");
    EXPECT_EQ(v[1], "\"MM\"");
    EXPECT_EQ(v[2], "[\"Format\",\"DateTemp\",\"TimeTemp\",\"DateFormat\",\"DateFormat\"]");
}

TEST(PanelCli, MailModeAndBack) {
    const std::vector<std::string> state = {
        "d['tabs'][2]['enabled']", "d['widgets']['cmdSend']['visible']", "d['widgets']['cmdSave']['visible']",
        "d['widgets']['txtUserName']['text']", "d['widgets']['txtUserName']['effectiveVisible']"};
    auto mail = scenario({"--set", "OutputFile=/data/out.csv", "--click", "chkOption(10)", "--click", "chkAuthReq",
                          "--type", "txtUserName=me"},
                         state);
    EXPECT_THAT(mail, ElementsAre("true", "true", "false", "\"me\"", "true"));
    auto back = scenario({"--set", "OutputFile=/data/out.csv", "--click", "chkOption(10)", "--click", "chkAuthReq",
                          "--type", "txtUserName=me", "--click", "optFormat(1)"},
                         state);
    EXPECT_THAT(back, ElementsAre("false", "false", "true", "\"me\"", "true"));
}

TEST(PanelCli, RefusedPropertiesAreReportedAndBadCommandLinesRefused) {
    auto v = scenario({"--set", "Quotes=7", "--set", "Quotes=1"},
                      {"[e['type'] for e in d['events']]", "d['widgets']['chkOption(1)']['value']"});
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[0], "[\"report\",\"notify\",\"notify\"]");
    EXPECT_EQ(v[1], "1");

    TempDir dir;
    const std::vector<std::vector<std::string>> bad = {
        {"--click", "noSuchWidget"}, {"--pick", "txtTo=1"},        {"--answer", "printer=1"},
        {"--set", "NoSuch=1"},       {"--type", "txtTo"},          {"--key", "cboPriority=down"},
        {"--frobnicate"},            {"--answer", "color=purple"}, {"--click", "lblHeader(0)"}};
    for (const auto& args : bad) {
        EXPECT_EQ(runPanel(args, dir), 64) << args[0];
        EXPECT_THAT(readFile(dir.file("err.txt")), HasSubstr("usage: varnelo-panel"));
        EXPECT_EQ(readFile(dir.file("out.txt")), "");
    }

    ASSERT_EQ(runPanel({"--click", "optFormat(2)"}, dir), 0);
    const std::string text = readFile(dir.file("out.txt"));
    EXPECT_THAT(text, HasSubstr("txtDelimChar container=\"fraOption1\" toolTip=\"\" enabled=true"));
    EXPECT_THAT(text, HasSubstr("tab 0 caption=\"&Export Settings\" enabled=true visible=true current\n"));
    EXPECT_THAT(text, HasSubstr("event type=\"notify\" key=\"Format\"\n"));
}

}  // namespace
