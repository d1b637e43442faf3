// ExportJob: what a writer needs to know about one export.
//
// The control fills a job from its stored settings and hands it, with the
// record source, to one writer. Writers never see the control or its panel.
// Yes/No settings keep the control's 32-bit values (0 no, 1 yes, 2 grey);
// writers compare them with 1.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "varnelo/font.h"

namespace varnelo {

struct ExportJob {
    std::string outputFile;          // the file written
    std::string fieldSeparator = ",";

    int32_t columns = 1;             // header line of column names
    int32_t lowercaseColumns = 0;    // header names lower case, in double quotes
    int32_t includeNulls = 0;        // Null and empty values written as NULL
    int32_t quotes = 0;              // character values in double quotes
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

    // Called now and then while rows are written (rows done, rows in all);
    // a host uses it for a progress display. May be empty.
    std::function<void(int64_t, int64_t)> progress;
    static constexpr int64_t kProgressEvery = 4096;  // rows between two calls

    // Row `done` of `count` is written: every kProgressEvery rows the host hears of it.
    void rowDone(int64_t done, int64_t count) const {
        if (progress && done % kProgressEvery == 0) progress(done, count);
    }
    // Every row is written: the host hears of the last one.
    void finished(int64_t count) const {
        if (progress && count > 0) progress(count, count);
    }

    const char* lineEnd() const { return unixFormat == 1 ? "\n" : "\r\n"; }
};

}  // namespace varnelo
