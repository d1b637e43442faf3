#include "writers/sqlldr_writer.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "varnelo/error.h"
#include "writers/formatting.h"
#include "writers/output_file.h"
#include "writers/scratch_file.h"
#include "writers/writers.h"

namespace varnelo {

namespace {

// Appends `text` with every occurrence of `enclose` doubled.
void appendDoubling(std::string& out, std::string_view text, std::string_view enclose) {
    for (size_t hit; (hit = text.find(enclose)) != std::string_view::npos;) {
        out.append(text.substr(0, hit + enclose.size()));
        out.append(enclose);
        text.remove_prefix(hit + enclose.size());
    }
    out.append(text);
}

// A string of the control file: in double quotes, in single quotes when it
// holds a double quote (the loader reads no doubled quotes), and as hex when
// it holds both kinds.
void appendLoaderString(std::string& buf, std::string_view text) {
    if (text.find('"') == std::string_view::npos) {
        buf.append("\"").append(text).append("\"");
    } else if (text.find('\'') == std::string_view::npos) {
        buf.append("'").append(text).append("'");
    } else {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        buf.append("X'");
        for (unsigned char c : text) {
            buf.push_back(kDigits[c >> 4]);
            buf.push_back(kDigits[c & 0xF]);
        }
        buf.append("'");
    }
}

void appendHeader(std::string& buf, const ExportJob& job, std::string_view lineEnd) {
    const std::string base = sqlLoaderBaseName(job.outputFile);
    buf.append("Load data ").append(lineEnd);
    buf.append("INFILE *").append(lineEnd);
    buf.append("BADFILE ").append(base).append("bad").append(lineEnd);
    buf.append("DISCARDFILE ").append(base).append("dsc").append(lineEnd);
    // An empty count would be a syntax error: the loader's default applies.
    if (!job.discardMax.empty()) buf.append("DISCARDMAX ").append(job.discardMax).append(lineEnd);
    buf.append(sqlLoaderKeyword(job.sqlLoaderMode)).append(" INTO TABLE ");
    if (!job.insertSchema.empty()) buf.append(job.insertSchema).append(".");
    buf.append(job.insertTable).append(lineEnd);
    buf.append("Fields terminated by ");
    appendLoaderString(buf, job.fieldSeparator);
    if (!job.strEnclose.empty()) {
        buf.append(" Optionally enclosed by ");
        appendLoaderString(buf, job.strEnclose);
    }
    buf.append(lineEnd);
    // Without it a Null in the last column (an empty last field) rejects the row.
    buf.append("TRAILING NULLCOLS").append(lineEnd);
    buf.append("(").append(lineEnd);
}

}  // namespace

const char* sqlLoaderKeyword(int32_t mode) {
    switch (mode) {
        case 1: return "INSERT";
        case 2: return "APPEND";
        case 3: return "REPLACE";
        case 4: return "TRUNCATE";
        default: return "";
    }
}

std::string sqlLoaderBaseName(const std::string& outputFile) {
    const size_t slash = outputFile.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = outputFile.rfind('.');
    if (dot == std::string::npos || dot < nameStart) return outputFile + ".";
    return outputFile.substr(0, dot + 1);
}

namespace {

class SqlLoaderWriter final : public RowWriter {
public:
    explicit SqlLoaderWriter(const ExportJob& job) : job_(job), lineEnd_(job.lineEnd()) {
        // Refused before a file is opened: the loader cannot split on nothing.
        if (job.fieldSeparator.empty())
            throw Error(err::kInvalidProcedureCall, "Varnelo",
                        "The field separator is empty; a SQL*Loader file needs one between its fields.");
    }

    void begin(OutputFile& out, const std::vector<Column>& columns, Recordset&) override {
        columns_ = &columns;
        stats_.assign(columns.size(), ColumnStats{});
        data_ = std::make_unique<ScratchFile>(out.path());
    }

    void row(OutputFile&, Recordset& rs, int64_t number) override {
        std::string& buf = data_->buffer();
        if (number > 1) buf.append(lineEnd_);
        const std::vector<Column>& cols = *columns_;
        for (size_t j = 0; j < cols.size(); ++j) {
            if (j > 0) buf.append(job_.fieldSeparator);
            rs.readField(static_cast<int>(j), value_);
            appendField(buf, cols[j], stats_[j], number);
        }
        data_->flushIfFull();
    }

    void finish(OutputFile& out, int64_t) override {
        std::string& buf = out.buffer();
        appendHeader(buf, job_, lineEnd_);
        const std::vector<Column>& cols = *columns_;
        for (size_t j = 0; j < cols.size(); ++j) {
            appendSqlName(buf, cols[j].name);
            buf.append("\t").append(typeText(cols[j], stats_[j]));
            if (j + 1 < cols.size()) buf.append(",");
            buf.append(lineEnd_);
        }
        buf.append(")").append(lineEnd_);
        // INFILE * data starts only after this line.
        buf.append("BEGINDATA").append(lineEnd_);
        data_->copyTo(out);
    }

private:
    struct ColumnStats {
        size_t longest = 0;  // bytes of the longest value
        bool fractions = false;
        bool zones = false;
    };

    static std::string typeText(const Column& c, const ColumnStats& s) {
        switch (c.group) {
            case TypeGroup::Character: return "CHAR(" + std::to_string(s.longest > 0 ? s.longest : 1) + ")";
            case TypeGroup::Date: return loaderDateType(s.fractions, s.zones);
            case TypeGroup::Other: break;
        }
        return GetFieldTypeText(c.type);
    }

    void appendField(std::string& buf, const Column& col, ColumnStats& stats, int64_t number) {
        using K = Variant::Kind;
        if (value_.isNull()) return;  // an empty field: NULL to the loader
        text_.clear();
        DateTime d;
        if (value_.kind == K::String && col.group == TypeGroup::Date &&
            (DateTime::parseIso(value_.text, d) || DateTime::parseDayFirst(value_.text, d))) {
            value_.kind = K::Date;  // date text in a date column loads through the column's mask
            value_.date = d;
        }
        switch (value_.kind) {
            case K::String:
                if (holdsNul(value_.text))
                    failValue(number, col, "a NUL character cannot travel in SQL*Loader data");
                if (appendRepairedUtf8(text_, value_.text, false)) ++repairedValues;
                break;
            case K::Boolean: text_.push_back(value_.boolean ? '1' : '0'); break;  // INTEGER EXTERNAL reads these
            case K::Date:
                appendLoaderDate(text_, value_.date);
                stats.fractions |= value_.date.hasFraction();
                stats.zones |= value_.date.hasZone();
                break;
            default: value_.appendText(text_); break;
        }
        if (text_.find_first_of("\r\n") != std::string::npos)
            failValue(number, col, "a line break cannot travel in SQL*Loader in-line data; export it in another format");
        stats.longest = std::max(stats.longest, text_.size());
        const std::string& enclose = job_.strEnclose;
        const bool holdsSeparator = text_.find(job_.fieldSeparator) != std::string::npos;
        if (!enclose.empty() && (holdsSeparator || value_.kind == K::String || col.group == TypeGroup::Character)) {
            buf.append(enclose);
            appendDoubling(buf, text_, enclose);
            buf.append(enclose);
        } else if (holdsSeparator) {
            failValue(number, col,
                      "the value holds the field separator; set StrEnclose (for example to a double quote) to "
                      "export it");
        } else {
            buf.append(text_);
        }
    }

    const ExportJob& job_;
    const std::string_view lineEnd_;
    const std::vector<Column>* columns_ = nullptr;
    std::vector<ColumnStats> stats_;
    std::unique_ptr<ScratchFile> data_;  // the rows, until the column list is known
    FieldValue value_;
    std::string text_;
};

}  // namespace

std::unique_ptr<RowWriter> makeSqlLoaderWriter(const ExportJob& job) {
    return std::make_unique<SqlLoaderWriter>(job);
}

}  // namespace varnelo
