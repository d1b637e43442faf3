// The settings file "Varnelo.ini": 34 keys of section [Varnelo], read at
// each show (through the panel's own handlers, as if the user set them) and
// written at the end of the control's life.
#include <unistd.h>

#include <cmath>
#include <optional>
#include <utility>
#include <vector>

#include "errors/hunt_err.h"
#include "panel/panel.h"
#include "platform/profile.h"
#include "varnelo/varnelo.h"
#include "writers/file_ops.h"
#include "writers/formatting.h"

namespace varnelo {

using hunterr::guard;

namespace {

constexpr const char* kSection = "Varnelo";
constexpr const char* kFileName = "Varnelo.ini";
constexpr double kLargestFontSize = 2048;

// A number as the file holds it (" 1", "-7", "8.25"); nothing for text that
// is no number.
std::optional<double> numberIn(const std::string& text) {
    try {
        return Variant(text).toDouble();
    } catch (const Error&) {
        return std::nullopt;
    }
}

// An integer in [low, high], or nothing.
std::optional<int64_t> integerIn(const std::string& text, int64_t low, int64_t high) {
    try {
        int64_t v = Variant(text).toInt64();
        if (v >= low && v <= high) return v;
    } catch (const Error&) {
    }
    return std::nullopt;
}

std::string number(const Variant& v) { return CovStr(v, ""); }

// A text whose blanks or enclosing quotes the reader would strip (a TAB
// separator after a TAB export, a separator of one space) goes out in one
// more pair of quotes, which the reader takes off again: the value comes back
// as it was.
std::string text(const std::string& v) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    const bool quoted = v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front();
    return !v.empty() && (blank(v.front()) || blank(v.back()) || quoted) ? '"' + v + '"' : v;
}

}  // namespace

std::string Varnelo::settingsFile() const {
    if (settingsDirectory_.empty()) return {};
    return settingsDirectory_ + (settingsDirectory_.back() == '/' ? "" : "/") + kFileName;
}

// A value that cannot be read (letters in a number, an option with no
// button, a size of 0 or below) takes its key's default and the pass goes
// on: a damaged file never keeps the control from showing.
//
// With no settings file at all (a first run, a new machine) nothing is
// applied: the file's values go over the host's, and where there are none
// the host's own settings (first placement or its bag) stand, instead of
// being replaced by the file's defaults (no header row, other fonts and
// colours).
void Varnelo::GetPropertyINI() {
    guard("Varnelo.GetPropertyINI", [&] {
        Panel& p = *panel_;
        const std::string path = settingsFile();
        if (path.empty() || ::access(path.c_str(), F_OK) != 0) return;
        const platform::ProfileFile file = platform::ProfileFile::load(path);
        auto read = [&](const char* key, const char* def) { return file.get(kSection, key, def); };
        // "0" stands for the default in the text keys.
        auto readText = [&](const char* key, const char* def) {
            std::string v = read(key, def);
            return v == "0" ? std::string(def) : v;
        };
        auto check = [&](const char* key, ui::CheckBox& box) {
            box.setValue(static_cast<int32_t>(integerIn(read(key, "0"), 0, 2).value_or(0)));
        };

        std::string discardMax = read("DiscardMax", "1000");
        if (!discardMax.empty() && !numberIn(discardMax)) discardMax = "1000";
        p.txtDiscardMax.setText(discardMax);

        // The parts are stored too, or the next end would write back the
        // parts this instance started with and lose the file's.
        s_.DateTemp = readText("DateOnlyFormat", "dd/MM/yyyy");
        p.lblDateFormat.setCaption(s_.DateTemp);
        s_.TimeTemp = readText("TimeFormat", "HH:mm:ss");
        p.lblDateFormat.setCaption(s_.TimeTemp.empty() ? s_.DateTemp : s_.DateTemp + " " + s_.TimeTemp);

        int64_t commit = integerIn(read("CommitInterval", "1000"), INT16_MIN, INT16_MAX).value_or(1000);
        p.txtCommitInt.setText(std::to_string(commit == 0 ? 1000 : commit));
        p.txtFieldSep.setText(readText("FieldSeparator", ","));
        p.txtDelimChar.setText(readText("DelimChar", ";"));

        check("LowercaseColumns", p.chkOption(7));
        check("NoWrap", p.chkOption(8));
        check("UnixFormat", p.chkSaveTo(1));
        check("FontExcelDef", p.chkExcelDef);
        check("LaunchFile", p.chkSaveTo(0));
        check("IncludeCellBorder", p.chkOption(6));
        // Missing means "File": read as 0 it would pick the option that
        // refuses every Save.
        int64_t saveTo = integerIn(read("SaveToFile", "1"), 0, 1).value_or(1);
        p.optSaveTo(saveTo).setValue(true);
        s_.SaveToFile = static_cast<int32_t>(saveTo);
        check("AutoColumnWidth", p.chkOption(0));
        int64_t mode = integerIn(read("SQLLoaderMode", "1"), 0, Truncate).value_or(Insert);
        p.optSQLLdr(mode == 0 ? int64_t{Insert} : mode).setValue(true);
        check("Columns", p.chkOption(2));
        check("IncludeNulls", p.chkOption(3));
        check("DelimAfterRow", p.chkOption(9));
        check("Quotes", p.chkOption(1));
        check("IncludeSQL", p.chkOption(5));
        p.optFormat(integerIn(read("Format", "0"), Ascii, SQLLoader).value_or(Ascii)).setValue(true);

        // Each font is a new object: the header and the body may have been
        // loaded as one shared font, which must not take both sizes.
        auto readFont = [&](const char* face, const char* size, const char* bold, const char* italic,
                            const FontPtr& current, double defaultSize) {
            auto f = std::make_shared<varnelo::Font>(current ? *current : varnelo::Font{});
            // A missing face ("0") keeps the current one rather than naming
            // the font "0".
            std::string name = read(face, "0");
            if (name != "0" && !name.empty()) f->name = name;
            std::optional<double> points = numberIn(read(size, "0"));
            f->size = points && *points > 0 && *points <= kLargestFontSize ? *points : defaultSize;
            f->bold = integerIn(read(bold, "0"), INT16_MIN, INT16_MAX).value_or(0) != 0;
            f->italic = integerIn(read(italic, "0"), INT16_MIN, INT16_MAX).value_or(0) != 0;
            return f;
        };
        HeaderFont(readFont("HFFont", "HFSize", "HFBold", "HFItalic", s_.HeaderFont, 12));
        p.lblHeader(0).setCaption(fontCaption(*s_.HeaderFont));
        BodyFont(readFont("BFFont", "BFSize", "BFBold", "BFItalic", s_.BodyFont, 10));
        p.lblBody(0).setCaption(fontCaption(*s_.BodyFont));

        auto color = [&](const char* key, OLE_COLOR zeroMeans) {
            std::string v = read(key, "0");
            if (v == "0") return zeroMeans;
            return static_cast<OLE_COLOR>(integerIn(v, INT32_MIN, INT32_MAX).value_or(zeroMeans));
        };
        BodyBackColor(color("BodyBackColor", 16777215));
        BodyForeColor(color("BodyForeColor", 0));
        HeaderBackColor(color("HeaderBackColor", 12566463));
        HeaderForeColor(color("HeaderForeColor", 0));
    });
}

void Varnelo::SavePropertyINI() {
    guard("Varnelo.SavePropertyINI", [&] {
        const std::string path = settingsFile();
        if (path.empty())
            throw Error(err::kPathNotFound, "Varnelo",
                        standardErrorText(err::kPathNotFound) +
                            " (no folder for Varnelo.ini: neither XDG_CONFIG_HOME nor HOME is set)");
        const varnelo::Font header = s_.HeaderFont ? *s_.HeaderFont : varnelo::Font{};
        const varnelo::Font body = s_.BodyFont ? *s_.BodyFont : varnelo::Font{};
        auto color = [](OLE_COLOR c) { return number(Variant(static_cast<int32_t>(c))); };
        const std::vector<std::pair<std::string, std::string>> entries = {
            {"DiscardMax", text(s_.DiscardMax)},
            {"DateFormat", text(s_.DateFormat)},
            {"DateOnlyFormat", text(s_.DateTemp)},
            {"TimeFormat", text(s_.TimeTemp)},
            {"CommitInterval", text(s_.CommitInterval)},
            {"FieldSeparator", text(s_.FieldSeparator)},
            {"DelimChar", text(s_.DelimChar)},
            {"LowercaseColumns", number(s_.LowercaseColumns)},
            {"NoWrap", number(s_.NoWrap)},
            {"UnixFormat", number(s_.UnixFormat)},
            {"FontExcelDef", number(s_.FontExcelDef)},
            {"LaunchFile", number(s_.LaunchFile)},
            {"IncludeCellBorder", number(s_.IncludeCellBorder)},
            {"SaveToFile", number(s_.SaveToFile)},
            {"AutoColumnWidth", number(s_.AutoColumnWidth)},
            {"SQLLoaderMode", number(s_.SQLLoaderMode)},
            {"Columns", number(s_.Columns)},
            {"IncludeNulls", number(s_.IncludeNulls)},
            {"DelimAfterRow", number(s_.DelimAfterRow)},
            {"Quotes", number(s_.Quotes)},
            {"IncludeSQL", number(s_.IncludeSQL)},
            {"Format", number(s_.Format)},
            {"HFFont", text(header.name)},
            {"HFSize", number(header.size)},
            {"HFBold", CovStr(header.bold, "Bool")},
            {"HFItalic", CovStr(header.italic, "Bool")},
            {"BFFont", text(body.name)},
            {"BFSize", number(body.size)},
            {"BFBold", CovStr(body.bold, "Bool")},
            {"BFItalic", CovStr(body.italic, "Bool")},
            {"BodyBackColor", color(s_.BodyBackColor)},
            {"BodyForeColor", color(s_.BodyForeColor)},
            {"HeaderBackColor", color(s_.HeaderBackColor)},
            {"HeaderForeColor", color(s_.HeaderForeColor)},
        };
        // All keys in one replacement of the file. A value with a line break
        // is left out by the profile layer: its key keeps the line it had.
        if (int e = platform::updateProfile(path, kSection, entries)) throw fileError(e, "writing " + path);
    });
}

}  // namespace varnelo
