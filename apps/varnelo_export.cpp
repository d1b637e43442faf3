// varnelo-export: a command-line host for the Varnelo control.
//
// Creates the control, runs its lifecycle as a form would (creation, first
// placement, show, ... end), sets its properties from the command line and
// calls Save on the rows of a query: from a SQLite file, a PostgreSQL server
// or any database an ODBC driver reaches.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "console_desktop.h"
#include "varnelo/bag_file.h"
#include "varnelo/odbc_recordset.h"
#include "varnelo/pg_recordset.h"
#include "varnelo/property_registry.h"
#include "varnelo/sqlite_recordset.h"
#include "varnelo/varnelo.h"
#include "writers/output_file.h"

using namespace varnelo;

namespace {

constexpr const char* kDefaultQuery = "SELECT * FROM demo_export";

const char* const kUsage =
    "usage: varnelo-export [--db FILE|URI | --pg CONNINFO | --odbc CONNSTRING] [--query SQL]\n"
    "                      [--format NAME|NUMBER] [-o FILE]\n"
    "                      [--set PROPERTY=VALUE]... [--send] [--settings-dir DIR] [--bag FILE]\n"
    "                      [--list-properties] [--quiet]\n"
    "\n"
    "  --db FILE           SQLite database (default: the bundled demo database); a\n"
    "                      postgresql:// or postgres:// URI reads from PostgreSQL instead\n"
    "  --pg CONNINFO       PostgreSQL connection string (\"host=... dbname=...\" or a URI)\n"
    "  --odbc CONNSTRING   ODBC connection string (\"DSN=...;\" or \"Driver=...;...\")\n"
    "  --query SQL         query whose rows are exported (default: SELECT * FROM demo_export)\n"
    "  --format F          Ascii|DelimTab|DelimOther|Inserts|ExcelFile|HTMLTable|SQLLoader, 0-7,\n"
    "                      or csv, tsv, delim, insert, xlsx, html, sqlldr\n"
    "  -o FILE             output file (the OutputFile property)\n"
    "  --set P=V           set a published property (numbers, strings, colours as decimal or\n"
    "                      0x hex, fonts as Name,Size[,bold][,italic])\n"
    "  --send              export, then mail the file (SaveNSend) with the mail settings given by\n"
    "                      --set: MailSMTPServer, MailFrom, MailTo, MailCc, MailBcc, MailSubject,\n"
    "                      MailMessage, MailFormat, MailPriority, SMTPAuthentication, UserName,\n"
    "                      Password (or $VARNELO_SMTP_PASSWORD), MailHTMLBody, MailReceipt;\n"
    "                      $VARNELO_SMTP_CAFILE names the CA certificates of a private relay\n"
    "  --settings-dir DIR  folder of the settings file Varnelo.ini (default: $XDG_CONFIG_HOME/varnelo,\n"
    "                      or ~/.config/varnelo)\n"
    "  --bag FILE          keep the control's settings in FILE: loaded (when it exists) before the\n"
    "                      --set options, saved at the end (mode 0600: it holds the mail password)\n"
    "  --list-properties   print every published property with its value and description\n"
    "  --quiet             no summary line and no progress bar\n"
    "\n"
    "Exit status: 0 exported, 1 error (the report is printed), 2 a setting is missing\n"
    "(the message is printed, nothing is written), 64 bad command line. Settings are saved\n"
    "with 0, 1 and 2; a settings file or bag that cannot be written is a warning.\n";

struct UsageError {
    std::string message;
};

struct Options {
    enum class Source { Sqlite, Postgres, Odbc };
    Source source = Source::Sqlite;
    std::string db;  // the file, or the connection string of the other sources
    std::string query = kDefaultQuery;
    std::optional<int32_t> format;
    std::optional<std::string> output;
    std::vector<std::pair<std::string, std::string>> sets;
    std::optional<std::string> settingsDir;
    std::optional<std::string> bag;
    bool listProperties = false;
    bool quiet = false;
    bool send = false;
};

int32_t parseFormat(const std::string& text) {
    static const std::map<std::string, int32_t> names = {
        {"ascii", Ascii},         {"delimtab", DelimTab},   {"delimother", DelimOther}, {"inserts", Inserts},
        {"excelfile", ExcelFile}, {"excelinstance", ExcelInstance}, {"htmltable", HTMLTable},
        {"sqlloader", SQLLoader}, {"csv", Ascii},           {"tsv", DelimTab},          {"delim", DelimOther},
        {"insert", Inserts},      {"xlsx", ExcelFile},      {"html", HTMLTable},        {"sqlldr", SQLLoader}};
    std::string key;
    for (char c : text) key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (auto it = names.find(key); it != names.end()) return it->second;
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos && text.size() < 3)
        return std::stoi(text);
    throw UsageError{"unknown format \"" + text + "\""};
}

std::string programDir() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : exe.parent_path().string();
}

Options parseArgs(int argc, char** argv) {
    Options o;
    o.db = programDir() + "/demo.db";
    auto value = [&](int& i) -> std::string {
        if (i + 1 >= argc) throw UsageError{std::string(argv[i]) + " needs a value"};
        return argv[++i];
    };
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--db") {
            o.db = value(i);
            const bool uri = o.db.starts_with("postgresql://") || o.db.starts_with("postgres://");
            o.source = uri ? Options::Source::Postgres : Options::Source::Sqlite;
        } else if (a == "--pg") o.db = value(i), o.source = Options::Source::Postgres;
        else if (a == "--odbc") o.db = value(i), o.source = Options::Source::Odbc;
        else if (a == "--query") o.query = value(i);
        else if (a == "--format") o.format = parseFormat(value(i));
        else if (a == "-o" || a == "--output") o.output = value(i);
        else if (a == "--set") {
            std::string s = value(i);
            auto eq = s.find('=');
            if (eq == std::string::npos || eq == 0) throw UsageError{"--set needs PROPERTY=VALUE, got \"" + s + "\""};
            o.sets.emplace_back(s.substr(0, eq), s.substr(eq + 1));
        } else if (a == "--settings-dir") o.settingsDir = value(i);
        else if (a == "--bag") o.bag = value(i);
        else if (a == "--list-properties") o.listProperties = true;
        else if (a == "--send") o.send = true;
        else if (a == "--quiet" || a == "-q") o.quiet = true;
        else if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            std::exit(0);
        } else throw UsageError{"unknown option \"" + a + "\""};
    }
    return o;
}

// A progress line on standard error, drawn only on a terminal and only once
// an export has run for a moment: the rows done and the rate (the total is
// not counted, since that would run the query a second time), or a bar when
// a total is known.
class ProgressBar {
public:
    explicit ProgressBar(bool enabled) : enabled_(enabled && isatty(STDERR_FILENO)) {}
    void update(int64_t done, int64_t total) {
        if (!enabled_) return;
        auto now = std::chrono::steady_clock::now();
        if (now - start_ < std::chrono::milliseconds(500) || now - last_ < std::chrono::milliseconds(100)) return;
        last_ = now;
        const double secs = std::chrono::duration<double>(now - start_).count();
        const double rate = secs > 0 ? static_cast<double>(done) / secs : 0;
        if (total > 0) {
            int pct = static_cast<int>(done * 100 / total);
            int filled = pct * 40 / 100;
            std::fprintf(stderr, "\r[%-40s] %3d%% %lld/%lld rows", std::string(static_cast<size_t>(filled), '#').c_str(),
                         pct, static_cast<long long>(done), static_cast<long long>(total));
        } else {
            std::fprintf(stderr, "\r%lld rows, %.0f rows/s   ", static_cast<long long>(done), rate);
        }
        drawn_ = true;
    }
    void finish() {
        if (drawn_) std::fprintf(stderr, "\r%*s\r", 72, "");
    }

private:
    bool enabled_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point last_{};
};

void listProperties(Varnelo& control) {
    // Some reads change settings (SendThroughMail 0 clears Unix style save);
    // a listing shows what is stored and changes nothing.
    auto storedOnly = control.readStoredValuesOnly();
    for (const PropertyInfo& info : PropertyRegistry::all()) {
        std::string value;
        try {
            value = PropertyRegistry::toText(info, PropertyRegistry::get(control, info.name));
        } catch (const Error& e) {
            value = "(error " + std::to_string(e.number()) + ")";
        }
        std::printf("%-22s %-13s %-24s %s\n", info.name.c_str(), info.type.c_str(), value.c_str(),
                    info.description.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Ctrl-C, kill or a closed terminal during an export takes its named
    // temporary file with it (unnamed ones need nothing).
    OutputFile::removeTemporariesOnSignals();
    Options opt;
    try {
        opt = parseArgs(argc, argv);
    } catch (const UsageError& e) {
        std::cerr << "varnelo-export: " << e.message << "\n\n" << kUsage;
        return 64;
    }

    RecordingHost host;
    ConsoleDesktop desktop;
    // A bag that cannot be read stops the run before anything is touched,
    // so the file is still there to be looked at.
    std::optional<PropertyBag> bag;
    if (opt.bag) {
        try {
            std::error_code ec;
            if (std::filesystem::exists(*opt.bag, ec)) bag = readBagFile(*opt.bag);
        } catch (const Error& e) {
            std::cerr << "varnelo-export: " << e.description() << std::endl;
            return 1;
        }
    }
    std::optional<Varnelo> placed;
    // The end of the control's life, whatever the export's result: hidden,
    // saved to the bag, its settings file written. A store that cannot be
    // written is reported and the export's own status stands.
    auto end = [&](int status) {
        if (!placed) return status;
        Varnelo& control = *placed;
        auto warn = [](const char* what, const Error& e) {
            std::cerr << "varnelo-export: warning: " << what << ":\n" << e.description() << std::endl;
        };
        try {
            control.UserControl_Hide();
        } catch (const Error& e) {
            warn("hiding the control failed", e);
        }
        if (opt.bag) {
            try {
                PropertyBag saved;
                control.UserControl_WriteProperties(saved);
                writeBagFile(saved, *opt.bag);
            } catch (const Error& e) {
                warn("the property bag was not saved", e);
            }
        }
        try {
            control.UserControl_Terminate();
        } catch (const Error& e) {
            warn("the settings file was not saved", e);
        }
        placed.reset();
        return status;
    };
    try {
        Varnelo& control = placed.emplace(host, desktop);
        if (opt.settingsDir) control.setSettingsDirectory(*opt.settingsDir);
        control.UserControl_Initialize();
        if (bag) control.UserControl_ReadProperties(*bag);
        else control.UserControl_InitProperties();
        control.UserControl_Resize();
        control.UserControl_Show();

        if (opt.format) control.Format(*opt.format);
        if (opt.output) control.OutputFile(*opt.output);
        // Mail mode attaches the output file; a --set below may still name
        // another attachment.
        if (opt.send) control.SendThroughMail(1);
        for (const auto& [name, text] : opt.sets) {
            if (!PropertyRegistry::find(name)) {
                std::cerr << "varnelo-export: unknown property \"" << name << "\" (see --list-properties)\n";
                return 64;
            }
            try {
                PropertyRegistry::set(control, name, Variant(text));
            } catch (const Error& e) {
                std::cerr << "varnelo-export: bad value \"" << text << "\" for " << name << ": "
                          << e.description() << "\n";
                return 64;
            }
        }
        // The password from the environment stays out of process listings; a
        // --set Password wins.
        const char* password = std::getenv("VARNELO_SMTP_PASSWORD");
        const bool passwordSet = std::any_of(opt.sets.begin(), opt.sets.end(),
                                             [](const auto& s) {
                                                 const PropertyInfo* info = PropertyRegistry::find(s.first);
                                                 return info && info->name == "Password";
                                             });
        if (opt.send && password && !passwordSet) control.Password(password);
        if (desktop.messageShown) return end(2);
        if (opt.listProperties) {
            listProperties(control);
            return end(0);
        }

        RecordsetPtr source;
        switch (opt.source) {
            case Options::Source::Sqlite: source = std::make_shared<SqliteRecordset>(opt.db, opt.query); break;
            case Options::Source::Postgres: source = std::make_shared<PgRecordset>(opt.db, opt.query); break;
            case Options::Source::Odbc: source = std::make_shared<OdbcRecordset>(opt.db, opt.query); break;
        }
        control.DataSource(source);
        ProgressBar bar(!opt.quiet);
        control.setProgressCallback([&](int64_t done, int64_t total) { bar.update(done, total); });
        auto start = std::chrono::steady_clock::now();
        if (opt.send)
            control.SaveNSend();
        else
            control.Save();
        bar.finish();
        if (desktop.messageShown) return end(2);
        const ExportSummary done = control.lastExport();
        const std::string written = control.OutputFile();
        const int status = end(0);
        if (done.repairedValues > 0)
            std::fprintf(stderr,
                         "varnelo-export: warning: %lld values held bytes that are not UTF-8; they were written "
                         "with U+FFFD in their place\n",
                         static_cast<long long>(done.repairedValues));
        if (!opt.quiet) {
            double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            std::fprintf(stderr, "Exported %lld rows to %s in %.2f s%s\n", static_cast<long long>(done.rows),
                         written.c_str(), secs, opt.send ? ", and mailed it" : "");
        }
        return status;
    } catch (const Error& e) {
        std::cerr << e.description() << std::endl;
        return end(1);
    } catch (const std::exception& e) {
        std::cerr << "varnelo-export: " << e.what() << std::endl;
        return end(1);
    }
}
