// End-to-end: varnelo-panel driven through whole scenarios, its JSON read
// back with Python's own parser.
#include <gmock/gmock.h>

#include "support/test_support.h"

namespace {

using ::testing::HasSubstr;
using namespace varnelo::testing_support;

// varnelo-panel's exit status, its output and errors in out.txt and err.txt.
int runPanel(const std::vector<std::string>& args, const TempDir& dir) {
    std::string cmd = shellQuote(VARNELO_PANEL_BIN);
    for (const auto& a : args) cmd += " " + shellQuote(a);
    return runShell(cmd + " >" + shellQuote(dir.file("out.txt")) + " 2>" + shellQuote(dir.file("err.txt"))).first;
}

// Runs the scenario with --json and returns the value of `expression` over
// the parsed output `d`, as compact JSON.
std::string scenario(std::vector<std::string> args, const std::string& expression) {
    TempDir dir;
    args.push_back("--json");
    EXPECT_EQ(runPanel(args, dir), 0) << readFile(dir.file("err.txt"));
    const char* print = "import json,sys\nd=json.load(open(sys.argv[1],encoding='utf-8'))\n"
                        "print(json.dumps(eval(sys.argv[2],{'d':d}),separators=(',',':')))";
    auto [status, out] = runShell("python3 -c " + shellQuote(print) + " " + shellQuote(dir.file("out.txt")) + " " +
                                  shellQuote(expression));
    EXPECT_EQ(status, 0) << "the output is not JSON: " << out;
    return out;
}

// Insert Statements: a refused commit interval, then Save asks for a source.
TEST(PanelCli, InsertStatementsWithABadCommitInterval) {
    EXPECT_EQ(scenario({"--click", "optFormat(3)", "--type", "txtCommitInt=12x", "--type", "txttable=ORDERS", "--click",
                        "cmdSave"},
                       "[d['widgets']['txtCommitInt']['text'], d['widgets']['txtCommitInt']['effectiveEnabled'], "
                       "d['widgets']['chkOption(1)']['effectiveEnabled'], d['widgets']['optFormat(3)']['value'], "
                       "d['currentTab'], d['tabs'][1], d['events']]"),
              R"(["12x",true,false,true,0,{"caption":"&Other Settings","enabled":false,"visible":true},)"
              R"([{"type":"notify","key":"Format"},{"type":"message","title":"Wrong data Entry",)"
              R"("text":"Please enter numeric data to proceed","style":48},{"type":"notify","key":"InsertTable"},)"
              R"({"type":"message","title":"Missing DataSource","text":"Please set the DataSource to proceed.",)"
              R"("style":48}]])" "\n");
}

// A date format composed from its lists, then mail mode with a login and back.
TEST(PanelCli, ComposeADateFormatThenMailModeAndBack) {
    EXPECT_EQ(scenario({"--click", "optFormat(4)", "--pick", "cmbDate(0)=2", "--pick", "cmbDate(1)=1", "--pick",
                        "cmbDate(2)=1", "--pick", "cmbDate(3)=1", "--pick", "cmbDate(4)=1", "--type", "cmbDate(2)=x",
                        "--click", "chkTime(0)", "--click", "optTime(1)", "--click", "cmdOK1", "--set",
                        "OutputFile=/data/out.csv", "--click", "chkOption(10)", "--click", "chkAuthReq", "--type",
                        "txtUserName=me", "--click", "optFormat(1)"},
                       "[d['widgets']['lblDateFormat']['caption'], d['widgets']['cmbDate(2)']['text'], "
                       "d['tabs'][2]['enabled'], d['widgets']['cmdSave']['visible'], "
                       "d['widgets']['txtUserName']['text'], [e['key'] for e in d['events'] if e['type'] == 'notify']]"),
              R"(["yyyy-MM-dd HH:mm:ss","MM",false,true,"me",["Format","DateTemp","TimeTemp","DateFormat",)"
              R"("DateFormat","OutputFile","OutputFile","SendThroughMail","MailAttachment","SMTPAuthentication",)"
              R"("SendThroughMail","MailAttachment","Format"]])" "\n");
}

// A refused property write is a report; a bad command line is refused with
// the usage and no output; without --json the state comes as text.
TEST(PanelCli, RefusedPropertiesAreReportedAndBadCommandLinesRefused) {
    EXPECT_EQ(scenario({"--set", "Quotes=7", "--set", "Quotes=1"},
                       "[[e['type'] for e in d['events']], d['widgets']['chkOption(1)']['value']]"),
              "[[\"report\",\"notify\",\"notify\"],1]\n");

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
    EXPECT_THAT(text, HasSubstr(R"(txtDelimChar container="fraOption1" toolTip="" enabled=true)"));
    EXPECT_THAT(text, HasSubstr("tab 0 caption=\"&Export Settings\" enabled=true visible=true current\n"));
    EXPECT_THAT(text, HasSubstr("event type=\"notify\" key=\"Format\"\n"));
}

}  // namespace
