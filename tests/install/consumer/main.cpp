// An outside program using the installed library: a headless control exports rows held in memory to CSV. Prints
// "ok" and exits 0 when all is as expected.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include <varnelo/memory_recordset.h>
#include <varnelo/testing.h>
#include <varnelo/varnelo.h>
#include <varnelo/version.h>

using namespace varnelo;

static int failures = 0;

static void check(bool ok, const std::string& what) {
    if (!ok) std::cerr << "FAILED: " << what << "\n", ++failures;
}

int main(int argc, char** argv) {
    if (argc != 2) return std::cerr << "usage: consumer OUTPUT.csv\n", 2;
    const std::string out = argv[1];

    check(std::strcmp(version(), VARNELO_VERSION) == 0, std::string("version() ") + version());

    RecordingHost host;
    HeadlessDesktop desktop;
    Varnelo control(host, desktop);
    control.UserControl_Initialize();
    control.UserControl_InitProperties();
    control.UserControl_Show();

    // A missing setting: a message for the host to read, nothing written.
    control.DataSource(std::make_shared<MemoryRecordset>(
        std::vector<std::string>{"id", "name"}, std::vector<int>{adtype::kInteger, adtype::kVarChar},
        std::vector<std::vector<Variant>>{{int32_t{1}, "Ada"}, {int32_t{2}, "Grace"}}));
    control.Format(Ascii);
    control.OutputFile("");
    check(!control.Save(), "Save without an output file wrote");
    check(desktop.messages().size() == 1, "one message for the missing output file");

    control.OutputFile(out);
    control.Quotes(Yes);
    check(control.Save(), "Save failed");
    std::ifstream in(out);
    std::stringstream text;
    text << in.rdbuf();
    check(text.str().find("\"Ada\"") != std::string::npos && text.str().find("\"Grace\"") != std::string::npos,
          "the file holds both rows: " + text.str());

    // An error thrown inside the library is caught here by its type.
    try {
        control.Quotes(5);
        check(false, "Quotes(5) was accepted");
    } catch (const Error& e) {
        check(e.number() == err::kInvalidPropertyValue, "Quotes(5) error number " + std::to_string(e.number()));
    }

    if (failures) return 1;
    std::cout << "ok\n";
    return 0;
}
