#include "writers/delimited_writer.h"

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "writers/formatting.h"
#include "writers/output_file.h"

namespace varnelo {

namespace {

void dropSeparator(std::string& line, std::string_view sep, size_t lineStart) {
    if (line.size() - lineStart >= sep.size()) line.resize(line.size() - sep.size());
}

void appendHeader(std::string& buf, Recordset& rs, int cols, const ExportJob& job) {
    const size_t start = buf.size();
    std::string lower;
    for (int j = 0; j < cols; ++j) {
        const std::string& name = rs.Fields().Item(j).Name();
        if (job.lowercaseColumns == 1) {
            lower.assign(name);
            lowerAscii(lower);
            appendFormatted(buf, lower, adtype::kVarChar, 'A');
        } else {
            buf.append(name);
        }
        buf.append(job.fieldSeparator);
    }
    if (job.delimAfterRow != 1 && cols > 0) dropSeparator(buf, job.fieldSeparator, start);
    buf.append(job.lineEnd());
}

}  // namespace

void writeDelimited(const ExportJob& job, Recordset& rs) {
    const std::string_view lineEnd = job.lineEnd();
    const std::string_view sep = job.fieldSeparator;
    const bool keepSeparator = job.delimAfterRow == 1;
    const std::string_view blankText = job.includeNulls == 1 ? "NULL" : "";

    OutputFile out(job.outputFile);
    std::string& buf = out.buffer();
    std::string scratch;  // a value that holds double quotes, while they are doubled

    // Whether each column is put in double quotes. The column set and types
    // are the same for every row, so they are read once, on the first row.
    std::vector<char> quoted;
    int cols = 0;

    const int64_t count = rs.RecordCount();
    for (int64_t i = 1; i <= count; ++i) {
        if (i == 1) {
            cols = rs.Fields().Count();
            quoted.resize(static_cast<size_t>(cols));
            for (int j = 0; j < cols; ++j)
                quoted[static_cast<size_t>(j)] =
                    job.quotes == 1 && isCharacterType(rs.Fields().Item(j).Type());
            if (job.includeSQL == 1) {
                buf.append("SQL statement that produce this data");
                buf.append(lineEnd);
                buf.append(rs.Source());
                buf.append(lineEnd);
            }
            if (job.columns == 1) appendHeader(buf, rs, cols, job);
        }

        const size_t lineStart = buf.size();
        for (int j = 0; j < cols; ++j) {
            const bool q = quoted[static_cast<size_t>(j)];
            if (q) buf.push_back('"');
            const size_t valueStart = buf.size();
            rs.appendFieldText(j, buf);
            if (buf.size() == valueStart) {
                // Only Null, Empty and the empty string have no text.
                buf.append(blankText);
            } else if (q && std::memchr(buf.data() + valueStart, '"', buf.size() - valueStart)) {
                scratch.assign(buf, valueStart, std::string::npos);
                buf.resize(valueStart - 1);
                appendFormatted(buf, scratch, adtype::kVarChar, 'A');
                buf.pop_back();  // the closing quote comes below, as for every value
            }
            if (q) buf.push_back('"');
            buf.append(sep);
        }

        // The count is read again: the last row is the one that reaches it.
        const bool more = i < rs.RecordCount();
        if (!keepSeparator && cols > 0) dropSeparator(buf, sep, lineStart);
        if (more) buf.append(lineEnd);
        out.flushIfFull();
        rs.MoveNext();
        job.rowDone(i, count);
    }

    out.commit();
    rs.MoveFirst();
    job.finished(count);
}

}  // namespace varnelo
