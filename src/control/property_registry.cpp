#include "varnelo/property_registry.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <map>

#include "varnelo/error.h"
#include "varnelo/varnelo.h"

namespace varnelo {

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    size_t e = s.find_last_not_of(" \t");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

[[noreturn]] void mismatch(const std::string& property, const std::string& why) {
    throw Error(err::kTypeMismatch, "Varnelo", "Type mismatch: " + property + " " + why);
}

[[noreturn]] void overflow(const std::string& property) {
    throw Error(err::kOverflow, "Varnelo", "Overflow: the value is too large for " + property);
}

const Variant& plain(const std::string& property, const BagValue& v) {
    if (auto p = std::get_if<Variant>(&v)) return *p;
    mismatch(property, "takes a plain value");
}

int32_t toLong(const std::string& property, const BagValue& v) {
    try {
        return plain(property, v).toInt32();
    } catch (const Error& e) {
        if (e.number() == err::kTypeMismatch) mismatch(property, "needs a number");
        if (e.number() == err::kOverflow) overflow(property);
        throw;
    }
}

double toSingle(const std::string& property, const BagValue& v) {
    double d = 0;
    try {
        d = plain(property, v).toDouble();
    } catch (const Error&) {
        mismatch(property, "needs a number");
    }
    // The text reader also takes "inf" and "nan"; neither is a size.
    if (!std::isfinite(d)) mismatch(property, "needs a number");
    return d;
}

float toFloat(const std::string& property, const BagValue& v) {
    double d = toSingle(property, v);
    if (std::fabs(d) > std::numeric_limits<float>::max()) overflow(property);
    return static_cast<float>(d);
}

bool toBool(const std::string& property, const BagValue& v) {
    const Variant& x = plain(property, v);
    if (x.kind() == Variant::Kind::Boolean) return x.asBool();
    if (x.isString()) {
        std::string t = lower(trim(x.asString()));
        if (t == "true" || t == "yes") return true;
        if (t == "false" || t == "no") return false;
    }
    return toSingle(property, v) != 0;
}

OLE_COLOR toColor(const std::string& property, const BagValue& v) {
    const Variant& x = plain(property, v);
    if (x.isString()) {
        std::string t = trim(x.asString());
        std::string_view digits;
        if (t.size() > 2 && (t.compare(0, 2, "0x") == 0 || t.compare(0, 2, "0X") == 0 || t.compare(0, 2, "&H") == 0 ||
                             t.compare(0, 2, "&h") == 0))
            digits = std::string_view(t).substr(2);
        if (!digits.empty()) {
            if (digits.back() == '&') digits.remove_suffix(1);
            uint32_t c = 0;
            auto r = std::from_chars(digits.data(), digits.data() + digits.size(), c, 16);
            if (r.ec != std::errc() || r.ptr != digits.data() + digits.size())
                mismatch(property, "needs a colour number");
            return c;
        }
    }
    try {
        int64_t n = x.toInt64();
        if (n < INT32_MIN || n > UINT32_MAX) mismatch(property, "needs a 32-bit colour");
        return static_cast<OLE_COLOR>(n);
    } catch (const Error& e) {
        if (e.number() == err::kTypeMismatch) mismatch(property, "needs a colour number");
        throw;
    }
}

FontPtr toFont(const std::string& property, const BagValue& v) {
    if (auto f = std::get_if<FontPtr>(&v)) return *f;
    const Variant& x = plain(property, v);
    if (!x.isString()) mismatch(property, "needs a font");
    try {
        return parseFontText(x.asString());
    } catch (const Error& e) {
        // parseFontText knows the text, not which property it was meant for.
        throw Error(e.number(), e.source(), e.description() + " (" + property + ")");
    }
}

std::string toString(const std::string& property, const BagValue& v) {
    return plain(property, v).toText();
}

struct Entry {
    PropertyInfo info;
    std::function<BagValue(Varnelo&)> get;
    std::function<void(Varnelo&, const BagValue&)> set;
};

#define STR(Name, Desc)                                                                    \
    Entry{{#Name, "String", Desc, false}, [](Varnelo& c) -> BagValue { return Variant(c.Name()); }, \
          [](Varnelo& c, const BagValue& v) { c.Name(toString(#Name, v)); }}
#define LONG(Name, Type, Desc)                                                             \
    Entry{{#Name, Type, Desc, false}, [](Varnelo& c) -> BagValue { return Variant(int32_t{c.Name()}); }, \
          [](Varnelo& c, const BagValue& v) { c.Name(toLong(#Name, v)); }}
#define COLOR(Name, Desc)                                                                  \
    Entry{{#Name, "OLE_COLOR", Desc, false},                                               \
          [](Varnelo& c) -> BagValue { return Variant(static_cast<int64_t>(c.Name())); },  \
          [](Varnelo& c, const BagValue& v) { c.Name(toColor(#Name, v)); }}
#define FONT(Name, Desc)                                                                   \
    Entry{{#Name, "Font", Desc, false}, [](Varnelo& c) -> BagValue { return c.Name(); },  \
          [](Varnelo& c, const BagValue& v) { c.Name(toFont(#Name, v)); }}
#define BOOL(Name, Desc)                                                                   \
    Entry{{#Name, "Boolean", Desc, false}, [](Varnelo& c) -> BagValue { return Variant(c.Name()); }, \
          [](Varnelo& c, const BagValue& v) { c.Name(toBool(#Name, v)); }}
#define SINGLE(Name)                                                                       \
    Entry{{#Name, "Single", "", false},                                                    \
          [](Varnelo& c) -> BagValue { return Variant(static_cast<double>(c.Name())); },   \
          [](Varnelo& c, const BagValue& v) { c.Name(toFloat(#Name, v)); }}

const std::vector<Entry>& entries() {
    static const std::vector<Entry> table = {
        STR(StrEnclose, ""),
        STR(InsertTable, ""),
        COLOR(BackColor, "Returns/sets the background color used to display text and graphics in an object."),
        COLOR(ForeColor, "Returns/sets the foreground color used to display text and graphics in an object."),
        FONT(Font, "Returns a Font object."),
        STR(DateFormat, "Returns date format for date field."),
        STR(CommitInterval, "Returns/sets interval at which commit statement to be added in Insert statement file."),
        STR(FieldSeparator, "Returns/sets the field separator character for SQL Loader control file."),
        STR(InsertSchema, "Returns/sets the Schema name for Table used in Insert statement/ SQL Loader control file."),
        STR(DelimChar, "Returns/sets the delimit character used for other delimit char format."),
        LONG(LowercaseColumns, "edSelYesNo", "Returns/sets whether header text to be exported in lower case."),
        LONG(NoWrap, "edSelYesNo", "Returns/sets whether text to be wrapped in HTML file."),
        LONG(UnixFormat, "edSelYesNo", "Returns/sets whether file to be saved in Unix format."),
        COLOR(BodyBackColor, "Returns/sets the background color used to display text in body / data."),
        COLOR(BodyForeColor, "Returns/sets the foreground color used to display text in body / data."),
        FONT(BodyFont, "Returns/sets the font used to display text in body / data."),
        COLOR(HeaderBackColor, "Returns/sets the background color used to display text in Header."),
        COLOR(HeaderForeColor, "Returns/sets the foreground color used to display text in header."),
        FONT(HeaderFont, "Returns/sets the font used to display text in header."),
        Entry{{"Enabled", "Boolean", "", true}, [](Varnelo& c) -> BagValue { return Variant(c.Enabled()); },
              nullptr},
        BOOL(Locked, ""),
        SINGLE(ScaleHeight),
        SINGLE(ScaleLeft),
        Entry{{"ScaleMode", "Integer", "", false},
              [](Varnelo& c) -> BagValue { return Variant(int32_t{c.ScaleMode()}); },
              [](Varnelo& c, const BagValue& v) {
                  int32_t m = toLong("ScaleMode", v);
                  if (m < INT16_MIN || m > INT16_MAX) overflow("ScaleMode");
                  c.ScaleMode(static_cast<int16_t>(m));
              }},
        SINGLE(ScaleTop),
        SINGLE(ScaleWidth),
        LONG(Columns, "edSelYesNo", "Retuns/Sets whether header to be added for data"),
        LONG(IncludeNulls, "edSelYesNo", "Returns/sets whether null to be replaced with 'NULL' text."),
        LONG(DelimAfterRow, "edSelYesNo", "Returns/sets whether delimit character to be at the end of each row."),
        LONG(Quotes, "edSelYesNo", "Returns/sets whether enclose text data with double quotes."),
        LONG(IncludeSQL, "edSelYesNo",
             "Returns/setswhether include SQL statement used to retrived data in output file."),
        LONG(Format, "edFormatType", "Returns/sets the format of data export."),
        LONG(SQLLoaderMode, "edSQLLDRtype", "Returns/sets the mode for SQL Loader data insert."),
        LONG(AutoColumnWidth, "edSelYesNo", ""),
        STR(OutputFile, ""),
        LONG(SaveToFile, "edSelYesNo", ""),
        LONG(FontExcelDef, "edSelYesNo", ""),
        LONG(MailPriority, "MailPriority", ""),
        LONG(SendThroughMail, "edSelYesNo", ""),
        LONG(MailFormatEnabled, "edSelYesNo", ""),
        LONG(MailHTMLBody, "edSelYesNo", ""),
        LONG(MailReceipt, "edSelYesNo", ""),
        STR(MailTo, ""),
        STR(MailFrom, ""),
        BOOL(MailFromEnabled, ""),
        STR(MailCc, ""),
        STR(MailBcc, ""),
        STR(MailSubject, ""),
        STR(MailMessage, ""),
        STR(MailFooter, ""),
        LONG(MailFormat, "MailFormat", ""),
        STR(MailSMTPServer, ""),
        BOOL(MailSMTPServerEnabled, ""),
        LONG(IncludeCellBorder, "edSelYesNo", ""),
        LONG(LaunchFile, "edSelYesNo", ""),
        Entry{{"DataSource", "Recordset", "", false},
              [](Varnelo& c) -> BagValue { return c.DataSource(); },
              [](Varnelo& c, const BagValue& v) {
                  auto rs = std::get_if<RecordsetPtr>(&v);
                  if (!rs) mismatch("DataSource", "needs a record source object");
                  c.DataSource(*rs);
              }},
        STR(DiscardMax, ""),
        STR(Password, ""),
        STR(UserName, ""),
        LONG(SMTPAuthentication, "edSelYesNo", ""),
        BOOL(SMTPAuthEnabled, ""),
        Entry{{"TotalFrames", "Long", "", false},
              [](Varnelo& c) -> BagValue { return Variant(c.TotalFrames); },
              [](Varnelo& c, const BagValue& v) { c.TotalFrames = toLong("TotalFrames", v); }},
    };
    return table;
}

#undef STR
#undef LONG
#undef COLOR
#undef FONT
#undef BOOL
#undef SINGLE

const Entry* findEntry(const std::string& name) {
    static const std::map<std::string, const Entry*> byName = [] {
        std::map<std::string, const Entry*> m;
        for (const Entry& e : entries()) m[lower(e.info.name)] = &e;
        return m;
    }();
    auto it = byName.find(lower(name));
    return it == byName.end() ? nullptr : it->second;
}

const Entry& requireEntry(const std::string& name) {
    if (const Entry* e = findEntry(name)) return *e;
    throw Error(err::kObjectNotSupported, "Varnelo",
                "Object doesn't support this property or method: " + name);
}

}  // namespace

const std::vector<PropertyInfo>& PropertyRegistry::all() {
    static const std::vector<PropertyInfo> infos = [] {
        std::vector<PropertyInfo> v;
        for (const Entry& e : entries()) v.push_back(e.info);
        return v;
    }();
    return infos;
}

const PropertyInfo* PropertyRegistry::find(const std::string& name) {
    const Entry* e = findEntry(name);
    return e ? &e->info : nullptr;
}

BagValue PropertyRegistry::get(Varnelo& control, const std::string& name) {
    return requireEntry(name).get(control);
}

void PropertyRegistry::set(Varnelo& control, const std::string& name, const BagValue& value) {
    const Entry& e = requireEntry(name);
    if (!e.set) throw Error(383, "Varnelo", "Property is read-only: " + e.info.name);
    e.set(control, value);
}

std::string PropertyRegistry::toText(const PropertyInfo& info, const BagValue& value) {
    if (auto f = std::get_if<FontPtr>(&value)) {
        if (!*f) return "";
        std::string s = fontCaption(**f);
        if ((*f)->bold) s += ",bold";
        if ((*f)->italic) s += ",italic";
        return s;
    }
    if (auto rs = std::get_if<RecordsetPtr>(&value)) return *rs ? "(record source)" : "(nothing)";
    const Variant& v = std::get<Variant>(value);
    if (info.type == "OLE_COLOR") {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(v.toInt64()));
        return buf;
    }
    return v.toText();
}

FontPtr parseFontText(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        size_t comma = text.find(',', start);
        parts.push_back(trim(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (parts.size() < 2 || parts[0].empty())
        mismatch("font", "\"" + text + "\" is not Name,Size[,bold][,italic]");
    auto f = std::make_shared<varnelo::Font>();
    f->name = parts[0];
    try {
        f->size = Variant(parts[1]).toDouble();
    } catch (const Error&) {
        mismatch("font", "size \"" + parts[1] + "\" is not a number");
    }
    if (!(f->size > 0 && f->size <= 1638)) mismatch("font", "size \"" + parts[1] + "\" is out of range");
    for (size_t i = 2; i < parts.size(); ++i) {
        std::string flag = lower(parts[i]);
        if (flag == "bold") f->bold = true;
        else if (flag == "italic") f->italic = true;
        else if (flag == "underline") f->underline = true;
        else if (flag == "strikethrough") f->strikethrough = true;
        else mismatch("font", "flag \"" + parts[i] + "\" is not bold, italic, underline or strikethrough");
    }
    return f;
}

}  // namespace varnelo
