// Every file operation of an export, made to fail in turn, in every format: Save names the operation and the file,
// and the previous file stays whole. libxlsxwriter writes the workbook through stdio on the temporary's path: for
// xlsx only the output file's own operations are covered.
#include <gmock/gmock.h>

#include <iostream>

#include "control/control_fixture.h"
#include "support/file_faults.h"
#include "varnelo/memory_recordset.h"

namespace varnelo {
namespace {

using ::testing::IsEmpty, testing_support::failEveryOperation, testing_support::TempDir;

class ExportFileFaults : public testing_control::ControlTest {
protected:
    std::shared_ptr<MemoryRecordset> source = std::make_shared<MemoryRecordset>(
        std::vector<std::string>{"ID", "NAME", "AMOUNT"},
        std::vector<int>{adtype::kInteger, adtype::kVarChar, adtype::kDouble},
        std::vector<std::vector<Variant>>{{1, "alpha", 1.5}, {2, "beta, \"quoted\"", -2.25}, {3, "gamma", 0.0}});
};

TEST_F(ExportFileFaults, EveryFailingFileOperationOfEveryFormatKeepsThePreviousFile) {
    const std::pair<int32_t, const char*> formats[] = {{Ascii, "csv"},    {DelimTab, "tsv"},   {DelimOther, "txt"},
                                                       {Inserts, "sql"},  {ExcelFile, "xlsx"}, {HTMLTable, "html"},
                                                       {SQLLoader, "ctl"}};
    int survived = 0;
    for (auto [format, ext] : formats) {
        for (bool named : {false, true}) {
            SCOPED_TRACE(std::string(ext) + (named ? ", named temporary" : ", unnamed temporary"));
            TempDir dir;
            const std::string file = dir.file(std::string("out.") + ext), previous = "previous " + file;
            control.DataSource(source), control.Format(format), control.OutputFile(file), control.InsertTable("T");
            control.DelimChar("|"), control.StrEnclose("\"");  // the loader encloses text that holds its separator
            // The workbook carries its creation time: its bytes differ from run to run.
            survived += failEveryOperation(file, previous, [&] { source->moveTo(0), control.Save(); }, named, format != ExcelFile);
            ASSERT_THAT(desktop.messages, IsEmpty());
        }
    }
    RecordProperty("injection_points", survived);
    std::cout << "file operations made to fail: " << survived << "\n";
}

}  // namespace
}  // namespace varnelo
