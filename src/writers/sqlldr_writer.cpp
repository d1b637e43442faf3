#include "writers/sqlldr_writer.h"

#include <cstring>
#include <string_view>
#include <vector>

#include "writers/formatting.h"
#include "writers/output_file.h"

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

void writeSqlLoader(const ExportJob& job, Recordset& rs) {
    const std::string_view lineEnd = job.lineEnd();
    const std::string_view sep = job.fieldSeparator;
    const std::string_view enclose = job.strEnclose;

    OutputFile out(job.outputFile);
    std::string& buf = out.buffer();
    appendHeader(buf, job, lineEnd);

    // The column list comes from the field collection, which answers without a
    // current row, so an empty source still gets its columns.
    const int cols = rs.Fields().Count();
    std::vector<TypeGroup> groups;
    std::vector<int> types;
    for (int j = 0; j < cols; ++j) {
        Field f = rs.Fields().Item(j);
        const int type = f.Type();
        types.push_back(type);
        groups.push_back(typeGroupOf(type));
        buf.append(f.Name()).append("\t").append(GetFieldTypeText(type));
        if (j < cols - 1) buf.append(",");
        buf.append(lineEnd);
    }
    buf.append(")").append(lineEnd);
    // INFILE * data starts only after this line.
    buf.append("BEGINDATA").append(lineEnd);
    out.flushIfFull();

    std::string scratch;  // a date's text, or an enclosed value holding the enclosure
    const int64_t count = rs.RecordCount();
    for (int64_t i = 1; i <= count; ++i) {
        for (int j = 0; j < cols; ++j) {
            if (j > 0) buf.append(sep);
            const size_t at = static_cast<size_t>(j);
            switch (groups[at]) {
                case TypeGroup::Character:
                    if (enclose.empty()) {
                        rs.appendFieldText(j, buf);  // Null appends nothing: an empty field
                        break;
                    }
                    {
                        buf.append(enclose);
                        const size_t start = buf.size();
                        if (!rs.appendFieldText(j, buf)) {
                            buf.resize(start - enclose.size());  // Null stays an empty field
                            break;
                        }
                        if (std::string_view(buf).substr(start).find(enclose) != std::string_view::npos) {
                            scratch.assign(buf, start, std::string::npos);
                            buf.resize(start);
                            appendDoubling(buf, scratch, enclose);
                        }
                        buf.append(enclose);
                    }
                    break;
                case TypeGroup::Date:
                    scratch.clear();
                    if (rs.appendFieldText(j, scratch)) appendFormatted(buf, scratch, types[at], 'S');
                    break;
                case TypeGroup::Other:
                    rs.appendFieldText(j, buf);
                    break;
            }
        }
        if (i < count) buf.append(lineEnd);
        out.flushIfFull();
        rs.MoveNext();
        job.rowDone(i, count);
    }

    out.commit();
    rs.MoveFirst();
    job.finished(count);
}

}  // namespace varnelo
