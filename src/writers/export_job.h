// ExportJob: what a writer needs to know about one export.
//
// The control fills a job from its stored settings and hands it, with the
// record source, to the row pipeline (pipeline.h). Writers never see the
// control or its panel. Yes/No settings keep the control's 32-bit values
// (0 no, 1 yes, 2 grey); writers compare them with 1.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>

#include "varnelo/font.h"
#include "writers/output_file.h"

namespace varnelo {

struct ExportJob {
    int32_t format = 0;              // the control's Format: which writer runs
    std::string outputFile;          // the file written (with a sink: the name it stands for)
    std::optional<OutputFile::Sink> sink;  // write here instead of replacing outputFile
    std::string fieldSeparator = ",";

    int32_t columns = 1;             // header line of column names
    int32_t lowercaseColumns = 0;    // header names lower case, in double quotes
    int32_t includeNulls = 0;        // Null and empty values written as NULL
    int32_t quotes = 0;              // text values in double quotes
    int32_t delimAfterRow = 0;       // keep the trailing separator on every line
    int32_t includeSQL = 0;          // query text before the data
    int32_t unixFormat = 0;          // LF line ends instead of CR LF

    // SQL formats.
    std::string insertTable;
    std::string insertSchema;
    std::string commitInterval = "1000";
    std::string discardMax = "1000";
    std::string strEnclose;
    int32_t sqlLoaderMode = 1;

    // HTML and Excel.
    int32_t noWrap = 0;
    int32_t autoColumnWidth = 0;
    int32_t includeCellBorder = 0;
    int32_t fontExcelDef = 0;
    OLE_COLOR headerBackColor = 0x400000;
    OLE_COLOR headerForeColor = 0xFFFFFF;
    OLE_COLOR bodyBackColor = 0xFFFFFF;
    OLE_COLOR bodyForeColor = 0x000000;
    FontPtr headerFont;
    FontPtr bodyFont;

    // Called now and then while rows are written with (rows done, rows in
    // all), and once at the end. The total is -1 unless countRows is set:
    // counting costs the source a second pass over its query.
    std::function<void(int64_t, int64_t)> progress;
    bool countRows = false;
    static constexpr int64_t kProgressEvery = 4096;  // rows between two calls

    // Once stop is requested the export ends with Error 18 before the next row.
    std::stop_token stop;

    const char* lineEnd() const { return unixFormat == 1 ? "\n" : "\r\n"; }
};

}  // namespace varnelo
