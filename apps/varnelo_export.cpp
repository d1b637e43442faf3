// varnelo-export: a command-line host for the Varnelo control.
//
// Creates the control, runs its lifecycle as a form would (creation, first
// placement, show, ... end), sets its properties from the command line and
// calls Save on the rows of a query: from a SQLite file, a PostgreSQL server
// or any database an ODBC driver reaches.
#include <getopt.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
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
#include "varnelo/version.h"
#include "varnelo/export.h"
#include "writers/output_file.h"

using namespace varnelo;

namespace {

constexpr const char* kDefaultQuery = "SELECT * FROM demo_export";
constexpr int kExitUsage = 64;         // EX_USAGE
constexpr int kExitBrokenPipe = 141;   // 128 + SIGPIPE, as a tool the signal ended

const char* const kUsage =
    "usage: varnelo-export [--db FILE|URI | --pg CONNINFO | --odbc CONNSTRING] [--query SQL | --table NAME]\n"
    "                      [--format NAME|NUMBER] -o FILE|-\n"
    "                      [--set PROPERTY=VALUE]... [--send] [--settings-dir DIR] [--bag FILE]\n"
    "                      [--list-properties] [--quiet]\n"
    "\n"
    "  --db FILE           SQLite database (default: the bundled demo database); a\n"
    "                      postgresql:// or postgres:// URI reads from PostgreSQL instead\n"
    "  --pg CONNINFO       PostgreSQL connection string (\"host=... dbname=...\" or a URI)\n"
    "  --odbc CONNSTRING   ODBC connection string (\"DSN=...;\" or \"Driver=...;...\")\n"
    "  --query SQL         query whose rows are exported (default: SELECT * FROM demo_export)\n"
    "  --table NAME        short for --query 'SELECT * FROM \"NAME\"'\n"
    "  --format F          Ascii|DelimTab|DelimOther|Inserts|ExcelFile|HTMLTable|SQLLoader, 0-4, 6, 7,\n"
    "                      or csv, tsv, delim, insert, xlsx, html, sqlldr\n"
    "  -o, --output FILE   output file (the OutputFile property); - for standard output\n"
    "  --set P=V           set a property (numbers, strings, colours as decimal or\n"
    "                      0x hex, fonts as Name,Size[,bold][,italic]); see --list-properties\n"
    "  --send              export, then mail the file (SaveNSend) with the mail settings given by\n"
    "                      --set: MailSMTPServer, MailFrom, MailTo, MailCc, MailBcc, MailSubject,\n"
    "                      MailMessage, MailFormat, MailPriority, SMTPAuthentication, UserName,\n"
    "                      Password (or $VARNELO_SMTP_PASSWORD), MailHTMLBody, MailReceipt;\n"
    "                      $VARNELO_SMTP_CAFILE names the CA certificates of a private relay\n"
    "  --settings-dir DIR  folder of the settings file Varnelo.ini (default: $XDG_CONFIG_HOME/varnelo,\n"
    "                      or ~/.config/varnelo)\n"
    "  --bag FILE          keep the control's settings in FILE: loaded (when it exists) before the\n"
    "                      --set options, saved at the end (mode 0600: it holds the mail password)\n"
    "  --list-properties   print the properties --set takes, with their values and descriptions\n"
    "  -q, --quiet         no summary line and no progress bar\n"
    "  -h, --help          this text\n"
    "  --version           the program's version\n"
    "\n"
    "Long options also take their value as --name=value.\n"
    "Exit status: 0 exported, 1 error (the report is printed), 2 a setting is missing\n"
    "(the message is printed, nothing is written), 64 bad command line, 141 standard\n"
    "output closed early (as by | head). Settings are saved with 0, 1 and 2; a settings\n"
    "file or bag that cannot be written is a warning.\n";

struct UsageError {
    std::string message;  // one line; empty: show the whole usage
};

struct Options {
    enum class Source { Sqlite, Postgres, Odbc };
    Source source = Source::Sqlite;
    std::string db;  // the file, or the connection string of the other sources
    std::optional<std::string> query;
    std::optional<std::string> table;
    std::optional<int32_t> format;
    std::optional<std::string> output;
    std::vector<std::pair<std::string, std::string>> sets;
    std::optional<std::string> settingsDir;
    std::optional<std::string> bag;
    bool listProperties = false;
    bool quiet = false;
    bool send = false;
    bool toStdout() const { return output && *output == "-"; }
};

int32_t parseFormat(const std::string& text) {
    static const std::map<std::string, int32_t> names = {
        {"ascii", Ascii},         {"delimtab", DelimTab},   {"delimother", DelimOther}, {"inserts", Inserts},
        {"excelfile", ExcelFile}, {"htmltable", HTMLTable}, {"sqlloader", SQLLoader},   {"csv", Ascii},
        {"tsv", DelimTab},        {"delim", DelimOther},    {"insert", Inserts},        {"xlsx", ExcelFile},
        {"html", HTMLTable},      {"sqlldr", SQLLoader}};
    std::string key;
    for (char c : text) key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (auto it = names.find(key); it != names.end()) return it->second;
    // 5 (ExcelInstance) is a Format value that writes nothing: no use here.
    if (text.size() == 1 && text[0] >= '0' && text[0] <= '7' && text[0] != '5') return text[0] - '0';
    throw UsageError{"unknown format \"" + text + "\" (csv, tsv, delim, insert, xlsx, html, sqlldr, or 0-4, 6, 7)"};
}

// A table name as a SQL identifier: in double quotes, inner ones doubled.
std::string quotedIdentifier(const std::string& name) {
    std::string q = "\"";
    for (char c : name) q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

std::string programDir() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : exe.parent_path().string();
}

void setSource(Options& o, Options::Source source, const char* value) {
    o.db = value;
    o.source = source;
}

// The options, one line each: a new option is one entry here.
struct CommandOption {
    const char* name;
    char shortName;  // 0: long only
    bool takesValue;
    void (*apply)(Options& o, const char* value);
};

const CommandOption kOptions[] = {
    {"db", 0, true,
     [](Options& o, const char* v) {
         const std::string db = v;
         const bool uri = db.starts_with("postgresql://") || db.starts_with("postgres://");
         setSource(o, uri ? Options::Source::Postgres : Options::Source::Sqlite, v);
     }},
    {"pg", 0, true, [](Options& o, const char* v) { setSource(o, Options::Source::Postgres, v); }},
    {"odbc", 0, true, [](Options& o, const char* v) { setSource(o, Options::Source::Odbc, v); }},
    {"query", 0, true, [](Options& o, const char* v) { o.query = v; }},
    {"table", 0, true,
     [](Options& o, const char* v) {
         if (!*v) throw UsageError{"--table needs a table name"};
         o.table = v;
     }},
    {"format", 0, true, [](Options& o, const char* v) { o.format = parseFormat(v); }},
    {"output", 'o', true, [](Options& o, const char* v) { o.output = v; }},
    {"set", 0, true,
     [](Options& o, const char* v) {
         const std::string s = v;
         const auto eq = s.find('=');
         if (eq == std::string::npos || eq == 0) throw UsageError{"--set needs PROPERTY=VALUE, got \"" + s + "\""};
         o.sets.emplace_back(s.substr(0, eq), s.substr(eq + 1));
     }},
    {"settings-dir", 0, true, [](Options& o, const char* v) { o.settingsDir = v; }},
    {"bag", 0, true, [](Options& o, const char* v) { o.bag = v; }},
    {"list-properties", 0, false, [](Options& o, const char*) { o.listProperties = true; }},
    {"send", 0, false, [](Options& o, const char*) { o.send = true; }},
    {"quiet", 'q', false, [](Options& o, const char*) { o.quiet = true; }},
    {"help", 'h', false,
     [](Options&, const char*) {
         std::cout << kUsage;
         std::exit(0);
     }},
    {"version", 0, false,
     [](Options&, const char*) {
         std::cout << "varnelo-export " VARNELO_VERSION "\n";
         std::exit(0);
     }},
};

Options parseArgs(int argc, char** argv) {
    if (argc < 2) throw UsageError{};
    Options o;
    o.db = programDir() + "/demo.db";

    std::vector<option> longOptions;
    std::string shortOptions = ":";  // ':' first: a missing value is told apart from an unknown option
    for (size_t i = 0; i < std::size(kOptions); ++i) {
        const CommandOption& entry = kOptions[i];
        longOptions.push_back(option{entry.name, entry.takesValue ? required_argument : no_argument, nullptr,
                                     static_cast<int>(256 + i)});
        if (entry.shortName) shortOptions += std::string(1, entry.shortName) + (entry.takesValue ? ":" : "");
    }
    longOptions.push_back(option{nullptr, 0, nullptr, 0});

    opterr = 0;
    optind = 1;
    for (int c; (c = getopt_long(argc, argv, shortOptions.c_str(), longOptions.data(), nullptr)) != -1;) {
        const std::string given = argv[optind - 1];
        if (c == '?')
            throw UsageError{"unknown option \"" + (optopt ? "-" + std::string(1, static_cast<char>(optopt)) : given) + "\""};
        if (c == ':') throw UsageError{given + " needs a value"};
        const CommandOption* entry = nullptr;
        if (c >= 256) entry = &kOptions[c - 256];
        for (const CommandOption& s : kOptions)
            if (!entry && s.shortName == c) entry = &s;
        entry->apply(o, optarg);
    }
    if (optind < argc) throw UsageError{"unexpected argument \"" + std::string(argv[optind]) + "\""};
    if (o.query && o.table) throw UsageError{"--query and --table both name the rows: give one"};
    if (o.send && o.toStdout()) throw UsageError{"--send mails a file: give -o FILE, not standard output"};
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

// Properties of the control's appearance, drawing surface and panel state,
// and the record source: nothing a command line can set or needs to see.
bool commandLineProperty(const std::string& name) {
    static const char* const kOthers[] = {"BackColor",      "ForeColor", "Font",       "Enabled",   "Locked",
                                          "ScaleHeight",    "ScaleLeft", "ScaleMode",  "ScaleTop",  "ScaleWidth",
                                          "DataSource",     "TotalFrames", "DateFormat", "LaunchFile",
                                          "MailFromEnabled", "MailSMTPServerEnabled", "SMTPAuthEnabled"};
    for (const char* other : kOthers)
        if (name == other) return false;
    return true;
}

void listProperties(Varnelo& control) {
    // Some reads change settings (SendThroughMail 0 clears Unix style save);
    // a listing shows what is stored and changes nothing.
    auto storedOnly = control.readStoredValuesOnly();
    for (const PropertyInfo& info : PropertyRegistry::all()) {
        if (!commandLineProperty(info.name)) continue;
        std::string value;
        try {
            value = PropertyRegistry::toText(info, PropertyRegistry::get(control, info.name));
        } catch (const Error& e) {
            value = "(error " + std::to_string(e.number()) + ")";
        }
        if (info.name == "Password" && !value.empty()) value = "(set)";
        std::printf("%-22s %-13s %-24s %s\n", info.name.c_str(), info.type.c_str(), value.c_str(),
                    info.description.c_str());
    }
}

bool wholeNumber(const std::string& text) {
    size_t i = text.find_first_not_of(" \t");
    if (i == std::string::npos) return false;
    if (text[i] == '+' || text[i] == '-') ++i;
    const size_t end = text.find_last_not_of(" \t") + 1;
    return i < end && text.find_first_not_of("0123456789", i) >= end;
}

// Why `text` is no value of the property, or "" when the control may judge
// it. Numbers must be whole (the control would round 1.5 to 2, a different
// state), and enumerations must name one of their values.
std::string refusal(const PropertyInfo& info, const std::string& text) {
    static const std::map<std::string, std::pair<std::vector<int>, const char*>> kEnumerations = {
        {"edSelYesNo", {{0, 1, 2}, "0 (no), 1 (yes) or 2 (grey)"}},
        {"edFormatType", {{0, 1, 2, 3, 4, 6, 7}, "0-4, 6 or 7"}},
        {"edSQLLDRtype", {{1, 2, 3, 4}, "1 (Insert), 2 (Append), 3 (Replace) or 4 (Truncate)"}},
        {"MailPriority", {{1, 3, 5}, "1 (high), 3 (normal) or 5 (low)"}},
        {"MailFormat", {{0, 1}, "0 (MIME) or 1 (UU encoding)"}},
    };
    const bool hex = info.type == "OLE_COLOR" && (text.starts_with("0x") || text.starts_with("0X") ||
                                                  text.starts_with("&H") || text.starts_with("&h"));
    const bool numeric = info.type == "Long" || info.type == "Integer" || info.type == "OLE_COLOR" ||
                         kEnumerations.count(info.type);
    if (numeric && !hex && !wholeNumber(text)) return "takes a whole number";
    if (auto e = kEnumerations.find(info.type); e != kEnumerations.end()) {
        const long long n = std::strtoll(text.c_str(), nullptr, 10);
        const auto& [allowed, words] = e->second;
        if (std::find(allowed.begin(), allowed.end(), n) == allowed.end()) return std::string("takes ") + words;
    }
    return {};
}

// The settings the control holds, for an export that bypasses its file.
ExportOptions optionsOf(const VarneloSettings& s) {
    ExportOptions o;
    if (s.Format < 0 || s.Format > 7 || s.Format == ExcelInstance)
        throw Error(err::kInvalidPropertyValue, "Varnelo",
                    "Invalid property value: Format " + std::to_string(s.Format) + " writes no file (0-4, 6 or 7 do).");
    const ExportFormat formats[] = {ExportFormat::Csv,   ExportFormat::Tsv,  ExportFormat::Delimited,
                                    ExportFormat::Insert, ExportFormat::Excel, ExportFormat::Excel,
                                    ExportFormat::Html,  ExportFormat::SqlLoader};
    o.format = formats[s.Format];
    // Grey (2) is not "yes": writers act on 1 only.
    o.columns = s.Columns == 1;
    o.lowercaseColumns = s.LowercaseColumns == 1;
    o.includeNulls = s.IncludeNulls == 1;
    o.quotes = s.Quotes == 1;
    o.delimAfterRow = s.DelimAfterRow == 1;
    o.includeSql = s.IncludeSQL == 1;
    o.unixFormat = s.UnixFormat == 1;
    o.delimiter = s.DelimChar;
    o.insertTable = s.InsertTable;
    o.insertSchema = s.InsertSchema;
    o.commitInterval = s.CommitInterval;
    o.discardMax = s.DiscardMax;
    o.strEnclose = s.StrEnclose;
    o.loaderSeparator = s.FieldSeparator;
    o.sqlLoaderMode = static_cast<SqlLoaderMode>(s.SQLLoaderMode);
    o.noWrap = s.NoWrap == 1;
    o.autoColumnWidth = s.AutoColumnWidth == 1;
    o.includeCellBorder = s.IncludeCellBorder == 1;
    o.fontExcelDef = s.FontExcelDef == 1;
    o.headerBackColor = s.HeaderBackColor;
    o.headerForeColor = s.HeaderForeColor;
    o.bodyBackColor = s.BodyBackColor;
    o.bodyForeColor = s.BodyForeColor;
    if (s.HeaderFont) o.headerFont = *s.HeaderFont;
    if (s.BodyFont) o.bodyFont = *s.BodyFont;
    if (!s.OutputFile.empty() && s.OutputFile != "-") o.streamName = s.OutputFile;
    return o;
}

bool brokenPipe(const Error& e) { return e.lastSystemError() == EPIPE; }

}  // namespace

int main(int argc, char** argv) {
    // Ctrl-C, kill or a closed terminal during an export takes its named
    // temporary file with it (unnamed ones need nothing).
    OutputFile::removeTemporariesOnSignals();
    Options opt;
    try {
        opt = parseArgs(argc, argv);
    } catch (const UsageError& e) {
        if (e.message.empty()) std::cerr << kUsage;
        else std::cerr << "varnelo-export: " << e.message << " (see --help)\n";
        return kExitUsage;
    }
    if (opt.table) opt.query = "SELECT * FROM " + quotedIdentifier(*opt.table);

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
        // Mail mode attaches the output file.
        if (opt.send) control.SendThroughMail(1);
        for (const auto& [name, text] : opt.sets) {
            const PropertyInfo* info = PropertyRegistry::find(name);
            if (!info || !commandLineProperty(info->name)) {
                std::cerr << "varnelo-export: unknown property \"" << name << "\" (see --list-properties)\n";
                return kExitUsage;
            }
            std::string why = refusal(*info, text);
            if (why.empty()) {
                try {
                    PropertyRegistry::set(control, info->name, Variant(text));
                } catch (const Error& e) {
                    why = e.message();
                }
            }
            if (!why.empty()) {
                std::cerr << "varnelo-export: bad value \"" << text << "\" for " << info->name << ": " << why << "\n";
                return kExitUsage;
            }
        }
        // The password from the environment stays out of process listings; a
        // --set Password wins.
        const char* password = std::getenv("VARNELO_SMTP_PASSWORD");
        const bool passwordSet = std::any_of(opt.sets.begin(), opt.sets.end(), [](const auto& s) {
            const PropertyInfo* info = PropertyRegistry::find(s.first);
            return info && info->name == "Password";
        });
        if (opt.send && password && !passwordSet) control.Password(password);
        if (desktop.messageShown) return end(2);
        if (opt.listProperties) {
            listProperties(control);
            return end(0);
        }
        if (opt.toStdout() && control.Format() == ExcelFile && isatty(STDOUT_FILENO)) {
            std::cerr << "varnelo-export: a workbook is binary: not written to a terminal (redirect standard output "
                         "or give -o FILE)\n";
            return kExitUsage;
        }

        const std::string query = opt.query.value_or(kDefaultQuery);
        RecordsetPtr source;
        switch (opt.source) {
            case Options::Source::Sqlite: source = std::make_shared<SqliteRecordset>(opt.db, query); break;
            case Options::Source::Postgres: source = std::make_shared<PgRecordset>(opt.db, query); break;
            case Options::Source::Odbc: source = std::make_shared<OdbcRecordset>(opt.db, query); break;
        }
        ProgressBar bar(!opt.quiet);
        auto start = std::chrono::steady_clock::now();
        ExportSummary done;
        if (opt.toStdout()) {
            // The control writes files; standard output takes the same
            // settings through exportRows, which writes to a descriptor.
            try {
                const ExportResult r = exportRows(source, optionsOf(control.settings()), STDOUT_FILENO,
                                                  {.progress = [&](int64_t n, std::optional<int64_t> total) {
                                                      bar.update(n, total.value_or(-1));
                                                  },
                                                  .stop = {}});
                done = ExportSummary{r.rows, r.repairedValues};
            } catch (const SettingsError& e) {
                const std::string& m = e.message();
                std::cerr << "Missing Configuration: " << m.substr(m.find(": ") + 2) << std::endl;
                return end(2);
            }
        } else {
            control.DataSource(source);
            control.setProgressCallback([&](int64_t n, int64_t total) { bar.update(n, total); });
            if (opt.send)
                control.SaveNSend();
            else
                control.Save();
            if (desktop.messageShown) return end(2);
            done = control.lastExport();
        }
        bar.finish();
        const std::string written = opt.toStdout() ? "standard output" : control.OutputFile();
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
        // A reader that stopped early (| head) is no failure to report.
        if (brokenPipe(e)) return end(kExitBrokenPipe);
        std::cerr << e.description() << std::endl;
        return end(1);
    } catch (const std::exception& e) {
        std::cerr << "varnelo-export: " << e.what() << std::endl;
        return end(1);
    }
}
