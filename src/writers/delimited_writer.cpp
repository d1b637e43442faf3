// The delimited text writer: comma, TAB or any separator, one line per row.
//
//  - With includeSQL 1, first the line "SQL statement that produce this data"
//    and the line of the source's query text.
//  - With columns 1, a header line of column names: lower case and in double
//    quotes with lowercaseColumns 1; with quotes 1, a name holding the
//    separator, a double quote or a line break stands in double quotes.
//  - Then one line per row: each value, then the separator. Null and the
//    empty string read "NULL" with includeNulls 1, else nothing. With quotes
//    1, every text value and every value of a character column stands in
//    double quotes with embedded double quotes doubled; Null in a character
//    column too ("NULL" or "").
// The separator after the last value of a line is dropped unless
// delimAfterRow is 1. Lines end in LF with unixFormat 1, else CR LF; the last
// line has no line end. The query text and header come with the first row,
// so a source without rows gives an empty file. Values are written as bytes,
// as the source holds them: delimited text has no encoding of its own.
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "writers/writers.h"

namespace varnelo {

namespace {

class DelimitedWriter final : public RowWriter {
public:
    explicit DelimitedWriter(const ExportJob& job)
        : job_(job), sep_(job.fieldSeparator), lineEnd_(job.lineEnd()), quotes_(job.quotes == 1),
          keepSeparator_(job.delimAfterRow == 1), blankText_(job.includeNulls == 1 ? "NULL" : "") {}

    void begin(OutputFile&, const std::vector<Column>& columns, Recordset& rs) override {
        columns_ = &columns;
        source_ = rs.Source();
    }

    void row(OutputFile& out, Recordset& rs, int64_t number) override {
        std::string& buf = out.buffer();
        if (number == 1) {
            if (job_.includeSQL == 1) {
                buf.append("SQL statement that produce this data").append(lineEnd_);
                buf.append(source_).append(lineEnd_);
            }
            if (job_.columns == 1) appendHeader(buf);
        } else {
            buf.append(lineEnd_);  // the line before this one was not the last
        }
        const size_t lineStart = buf.size();
        const std::vector<Column>& cols = *columns_;
        for (size_t j = 0; j < cols.size(); ++j) {
            rs.readField(static_cast<int>(j), value_);
            appendValue(buf, cols[j]);
            buf.append(sep_);
        }
        dropSeparator(buf, lineStart, cols.size());
    }

    void finish(OutputFile&, int64_t) override {}

private:
    void appendValue(std::string& buf, const Column& col) {
        const bool charColumn = col.group == TypeGroup::Character;
        if (value_.isBlank()) {
            // Text (even empty) is quoted; Null only where the column holds text.
            const bool q = quotes_ && (charColumn || value_.kind == Variant::Kind::String);
            if (q) appendCsvQuoted(buf, blankText_);
            else buf.append(blankText_);
            return;
        }
        if (value_.kind == Variant::Kind::String) {
            if (quotes_) appendCsvQuoted(buf, value_.text);
            else buf.append(value_.text);
            return;
        }
        if (quotes_ && charColumn) {
            scratch_.clear();
            value_.appendText(scratch_);
            appendCsvQuoted(buf, scratch_);
            return;
        }
        value_.appendText(buf);
    }

    void appendHeader(std::string& buf) {
        const size_t start = buf.size();
        std::string name;
        for (const Column& c : *columns_) {
            if (job_.lowercaseColumns == 1) {
                name = c.name;
                lowerAscii(name);
                appendCsvQuoted(buf, name);
            } else if (quotes_ && csvNameNeedsQuotes(c.name, sep_)) {
                appendCsvQuoted(buf, c.name);
            } else {
                buf.append(c.name);
            }
            buf.append(sep_);
        }
        dropSeparator(buf, start, columns_->size());
        buf.append(lineEnd_);
    }

    // The whole separator goes, so a separator of several characters leaves
    // nothing of itself at the line's end.
    void dropSeparator(std::string& buf, size_t lineStart, size_t columns) const {
        if (keepSeparator_ || columns == 0) return;
        if (buf.size() - lineStart >= sep_.size()) buf.resize(buf.size() - sep_.size());
    }

    const ExportJob& job_;
    const std::string sep_;
    const std::string_view lineEnd_;
    const bool quotes_;
    const bool keepSeparator_;
    const std::string_view blankText_;
    const std::vector<Column>* columns_ = nullptr;
    std::string source_;
    FieldValue value_;
    std::string scratch_;
};

}  // namespace

std::unique_ptr<RowWriter> makeDelimitedWriter(const ExportJob& job) { return std::make_unique<DelimitedWriter>(job); }

}  // namespace varnelo
