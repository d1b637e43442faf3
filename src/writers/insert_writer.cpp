#include "writers/insert_writer.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "varnelo/error.h"
#include "writers/formatting.h"
#include "writers/output_file.h"

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

}  // namespace

void writeInserts(const ExportJob& job, Recordset& rs) {
    const std::string_view lineEnd = job.lineEnd();
    const std::string_view sep = job.fieldSeparator;
    const std::optional<int64_t> interval = readInterval(job.commitInterval);

    OutputFile out(job.outputFile);
    std::string& buf = out.buffer();
    std::string scratch;  // a date's text, or a character value holding quotes

    // Everything before the values is the same for every row: built once.
    std::string head;
    std::vector<TypeGroup> groups;
    std::vector<int> types;
    int cols = 0;
    int64_t sinceCommit = 0;

    const int64_t count = rs.RecordCount();
    for (int64_t i = 1; i <= count; ++i) {
        if (i == 1) {
            cols = rs.Fields().Count();
            head = "INSERT INTO ";
            if (!job.insertSchema.empty()) head.append(job.insertSchema).append(".");
            head.append(job.insertTable).append(" (");
            for (int j = 0; j < cols; ++j) {
                Field f = rs.Fields().Item(j);
                if (j > 0) head.append(sep);
                head.append(f.Name());
                const int type = f.Type();
                types.push_back(type);
                groups.push_back(typeGroupOf(type));
            }
            head.append(") ").append(lineEnd).append("VALUES (").append(lineEnd);
            if (job.includeSQL == 1) {
                buf.append("--SQL statement that produce this data");
                buf.append(lineEnd);
                appendCommented(buf, rs.Source(), lineEnd);
            }
        }

        buf.append(head);
        for (int j = 0; j < cols; ++j) {
            if (j > 0) buf.append(sep);
            const size_t at = static_cast<size_t>(j);
            switch (groups[at]) {
                case TypeGroup::Character: {
                    buf.push_back('\'');
                    const size_t start = buf.size();
                    if (!rs.appendFieldText(j, buf)) {
                        buf.resize(start - 1);
                        buf.append("NULL");
                    } else if (std::memchr(buf.data() + start, '\'', buf.size() - start)) {
                        scratch.assign(buf, start, std::string::npos);
                        buf.resize(start - 1);
                        appendFormatted(buf, scratch, types[at], 'I');
                    } else {
                        buf.push_back('\'');
                    }
                    break;
                }
                case TypeGroup::Date:
                    scratch.clear();
                    if (rs.appendFieldText(j, scratch))
                        appendFormatted(buf, scratch, types[at], 'I');
                    else
                        buf.append("NULL");
                    break;
                case TypeGroup::Other: {
                    const size_t start = buf.size();
                    if (!rs.appendFieldText(j, buf) || buf.size() == start) buf.append("NULL");
                    break;
                }
            }
        }
        buf.append(");");
        buf.append(lineEnd);

        if (!interval) throw Error::standard(err::kTypeMismatch);
        if (++sinceCommit == *interval) {
            buf.append("COMMIT;");
            buf.append(lineEnd);
            sinceCommit = 0;
        }
        out.flushIfFull();
        rs.MoveNext();
        job.rowDone(i, count);
    }

    buf.append("COMMIT;");
    out.commit();
    rs.MoveFirst();
    job.finished(count);
}

}  // namespace varnelo
