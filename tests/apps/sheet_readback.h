// Reading workbooks back in the end-to-end tests: the command-line host or the control writes them, a real reader
// reads them (sheet_readback.py: openpyxl for .xlsx, xlrd for .xls) into the same records, so one set of
// expectations holds for both formats.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <strings.h>

#include <cmath>
#include <map>
#include <sstream>

#include "control/control_fixture.h"
#include "support/test_support.h"
#include "varnelo/memory_recordset.h"

namespace varnelo::testing_sheet {

using namespace testing_support;

// Writes the workbook `out` with the command-line host (its name picks the format); its output on failure. Each export
// keeps its settings file in a folder of its own (beside `out`), so one export's settings never reach the next.
inline ::testing::AssertionResult exportWorkbook(const std::string& db, const std::string& query, const std::string& out,
                                                 const std::vector<std::string>& settings = {}) {
    static int exports = 0;
    std::string cmd = shellQuote(VARNELO_EXPORT_BIN) + " --format xlsx --quiet --db " + shellQuote(db) + " -o " +
                      shellQuote(out) + " --settings-dir " + shellQuote(out + ".settings" + std::to_string(++exports)) +
                      (query.empty() ? "" : " --query " + shellQuote(query));
    for (const auto& s : settings) cmd += " --set " + shellQuote(s);
    const auto [status, text] = runShell(cmd);
    return status == 0 ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << status << ": " << text;
}

// What the reader printed, by key (see sheet_readback.py).
struct Workbook : std::map<std::string, std::string> {
    std::string cell(const char* kind, int row, int col) const {
        auto it = find(std::string(kind) + " " + std::to_string(row) + " " + std::to_string(col));
        return it == end() ? "<none>" : it->second;
    }
    double width(const char* column) const {
        const std::string key = std::string("width ") + column;
        return contains(key) ? std::stod(at(key)) : 0.0;
    }
};

// The workbook as its reader sees it: xlrd for a .xls name, else openpyxl; the styles only when asked (they cost time).
inline Workbook readBack(const std::string& file, bool withStyles = false) {
    const bool xls = file.size() >= 4 && strcasecmp(file.c_str() + file.size() - 4, ".xls") == 0;
    // xlrd reads a zipped workbook too: the name must have given the format.
    EXPECT_EQ(readFile(file).substr(0, 4), xls ? std::string("\xD0\xCF\x11\xE0") : std::string("PK\x03\x04"))
        << file;
    const auto [status, text] = runShell("/usr/bin/python3 " + shellQuote(VARNELO_SOURCE_DIR "/tests/apps/sheet_readback.py") +
                                         " " + shellQuote(file) + (withStyles ? " --styles" : ""));
    EXPECT_EQ(status, 0) << text;
    Workbook wb;
    std::istringstream lines(text);
    for (std::string record; std::getline(lines, record, '\0');) {
        const size_t tab = record.find('\t');
        wb[record.substr(0, tab)] = tab == std::string::npos ? "" : record.substr(tab + 1);
    }
    EXPECT_EQ(xls ? wb["log"] : "", "") << "xlrd's warnings";
    return wb;
}

// One sheet cell against its SQLite source value (declared type, storage class, as a double, as text): numbers,
// Booleans and dates typed, text as text, Null and '' empty.
inline void expectValue(const Workbook& wb, int row, int col, const std::string& declared, int storage, double real,
                        const std::string& text) {
    SCOPED_TRACE("row " + std::to_string(row) + " column " + std::to_string(col) + " (" + declared + ") \"" + text + "\"");
    const std::string type = wb.cell("type", row, col), value = wb.cell("value", row, col);
    if (storage == SQLITE_NULL || text.empty()) {
        EXPECT_EQ(type, "<none>") << "an empty cell";
    } else if (declared.find("BOOL") != std::string::npos && storage == SQLITE_INTEGER) {
        EXPECT_EQ(type + value, text == "1" ? "bTRUE" : "bFALSE");
    } else if (declared.find("DATE") != std::string::npos && storage == SQLITE_TEXT) {
        const bool midnight = text.size() == 10 || text.substr(10) == " 00:00:00";
        EXPECT_EQ(type + " " + value + " " + wb.cell("format", row, col),
                  "d " + text.substr(0, 10) + (midnight ? " 00:00:00 yyyy-mm-dd" : text.substr(10) + " yyyy-mm-dd hh:mm:ss"));
    } else if (storage == SQLITE_FLOAT) {
        EXPECT_EQ(type, "n");
        EXPECT_NEAR(std::stod(value), real, std::fabs(real) * 1e-15) << value;
    } else {  // integers of more than 15 digits are text: a number cell loses digits
        const long long i = storage == SQLITE_INTEGER ? std::stoll(text) : 1LL << 60;
        EXPECT_EQ(type + " " + value, (i >= -999'999'999'999'999LL && i <= 999'999'999'999'999LL ? "n " : "s ") + text);
    }
}

// The demo table, written with its header (`headed`) and without (`bare`),
// against SQLite's own reading of it, value by value.
inline void expectDemoTable(const Workbook& headed, const Workbook& bare) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(VARNELO_DEMO_DB, &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT * FROM demo_export", -1, &st, nullptr), SQLITE_OK);
    const int cols = sqlite3_column_count(st);
    for (int j = 0; j < cols; ++j)
        EXPECT_EQ(headed.cell("type", 1, j + 1) + headed.cell("value", 1, j + 1), std::string("s") + sqlite3_column_name(st, j));
    int rows = 0;
    for (; sqlite3_step(st) == SQLITE_ROW; ++rows)
        for (int j = 0; j < cols; ++j) {
            const char* declared = sqlite3_column_decltype(st, j);
            const int storage = sqlite3_column_type(st, j);
            const double real = sqlite3_column_double(st, j);  // before the text, which may convert it
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, j));
            for (const auto& [wb, row] : {std::pair(&headed, rows + 2), std::pair(&bare, rows + 1)})
                expectValue(*wb, row, j + 1, declared ? declared : "", storage, real, text ? text : "");
        }
    sqlite3_finalize(st), sqlite3_close(db);
    EXPECT_GT(rows, 100);
    EXPECT_EQ(headed.at("sheets") + " " + headed.at("size") + "," + bare.at("sheets") + " " + bare.at("size"),
              "Sheet1 " + std::to_string(rows + 1) + " " + std::to_string(cols) + ",Sheet1 " + std::to_string(rows) +
                  " " + std::to_string(cols));
}

// The control on a recording desktop, ready to save `rows` to `file`.
class WorkbookControlTest : public testing_control::ControlTest {
protected:
    void ready(std::vector<std::string> names, std::vector<std::vector<Variant>> rows, const std::string& file) {
        std::vector<int> types(names.size(), adtype::kVariant);
        control.DataSource(std::make_shared<MemoryRecordset>(std::move(names), std::move(types), std::move(rows)));
        control.Format(ExcelFile);
        control.OutputFile(file);
        forget();
    }
    TempDir dir;
};

}  // namespace varnelo::testing_sheet
