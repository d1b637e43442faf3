// The INSERT statement writer: one INSERT per row, with COMMITs between.
//
// Each row becomes
//
//   INSERT INTO [schema.]table (col1,col2) <line end>
//   VALUES (<line end>
//   v1,v2);<line end>
//
// with the job's separator between names and values. Column names that are
// not plain identifiers stand in double quotes. Every value is the SQL
// literal of what it is (appendSqlLiteral): text always quoted, Null as NULL,
// binary values as X'..', plain dates as TO_DATE(...) with the 24-hour mask,
// dates with a fraction or zone as quoted ISO text. Text with ill-formed
// UTF-8 gets U+FFFD (counted); text holding a NUL character fails the
// export with Error 5 naming its row and column.
//
// After every commitInterval statements (the text read as a number and
// floored; 0 or less: never) comes "COMMIT;" and a line end; the file ends
// with a "COMMIT;" of its own and no line end, so an empty source gives a
// file holding only "COMMIT;". With includeSQL 1 the first statement is
// preceded by "--SQL statement that produce this data" and by every line of
// the query text, each behind "--", so no part of the query runs as SQL. A
// commit interval that is no number fails with Error 13 at the first row.
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "varnelo/error.h"
#include "writers/writers.h"

namespace varnelo {

namespace {

// The commit interval as a whole number of statements, or nothing when the
// text is no number. An interval below 1, or one no count can reach, never
// commits: 0 stands for both.
std::optional<int64_t> readInterval(const std::string& text) {
    double d = 0;
    try {
        d = Variant(text).toDouble();
    } catch (const Error&) {
        return std::nullopt;
    }
    if (!std::isfinite(d)) return std::nullopt;  // "inf" and "nan" are no count
    d = std::floor(d);
    if (d < 1 || d >= static_cast<double>(std::numeric_limits<int64_t>::max())) return int64_t{0};
    return static_cast<int64_t>(d);
}

// "--" before every line of the query, whatever its line breaks, so that a
// query of several lines stays a comment.
void appendCommented(std::string& buf, std::string_view text, std::string_view lineEnd) {
    for (;;) {
        const size_t cut = text.find_first_of("\r\n");
        buf.append("--");
        buf.append(text.substr(0, cut));
        buf.append(lineEnd);
        if (cut == std::string_view::npos) return;
        text.remove_prefix(cut + (text.compare(cut, 2, "\r\n") == 0 ? 2 : 1));
    }
}

class InsertWriter final : public RowWriter {
public:
    explicit InsertWriter(const ExportJob& job)
        : job_(job), lineEnd_(job.lineEnd()), interval_(readInterval(job.commitInterval)) {}

    void begin(OutputFile&, const std::vector<Column>& columns, Recordset& rs) override {
        columns_ = &columns;
        source_ = rs.Source();
        // Everything before the values is the same for every row: built once.
        head_ = "INSERT INTO ";
        if (!job_.insertSchema.empty()) head_.append(job_.insertSchema).append(".");
        head_.append(job_.insertTable).append(" (");
        for (size_t j = 0; j < columns.size(); ++j) {
            if (j > 0) head_.append(job_.fieldSeparator);
            appendSqlName(head_, columns[j].name);
        }
        head_.append(") ").append(lineEnd_).append("VALUES (").append(lineEnd_);
    }

    void row(OutputFile& out, Recordset& rs, int64_t number) override {
        std::string& buf = out.buffer();
        if (number == 1 && job_.includeSQL == 1) {
            buf.append("--SQL statement that produce this data").append(lineEnd_);
            appendCommented(buf, source_, lineEnd_);
        }
        buf.append(head_);
        const std::vector<Column>& cols = *columns_;
        for (size_t j = 0; j < cols.size(); ++j) {
            if (j > 0) buf.append(job_.fieldSeparator);
            rs.readField(static_cast<int>(j), value_);
            switch (appendSqlLiteral(buf, value_, cols[j].group)) {
                case SqlLiteral::Written: break;
                case SqlLiteral::Repaired: ++repairedValues; break;
                case SqlLiteral::HasNul:
                    failValue(number, cols[j], "a NUL character cannot stand in a SQL text literal");
            }
        }
        buf.append(");").append(lineEnd_);

        if (!interval_) throw Error::standard(err::kTypeMismatch);
        if (++sinceCommit_ == *interval_) {
            buf.append("COMMIT;").append(lineEnd_);
            sinceCommit_ = 0;
        }
    }

    void finish(OutputFile& out, int64_t) override { out.buffer().append("COMMIT;"); }

private:
    const ExportJob& job_;
    const std::string_view lineEnd_;
    const std::optional<int64_t> interval_;
    const std::vector<Column>* columns_ = nullptr;
    std::string source_;
    std::string head_;
    int64_t sinceCommit_ = 0;
    FieldValue value_;
};

}  // namespace

std::unique_ptr<RowWriter> makeInsertWriter(const ExportJob& job) { return std::make_unique<InsertWriter>(job); }

}  // namespace varnelo
