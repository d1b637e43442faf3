// Every file operation of an export, made to fail in turn, in every format:
// Save raises an error that names the operation and the file, the previous
// file stays byte for byte, and no temporary is left in the folder.
//
// The xlsx workbook is written by libxlsxwriter through stdio on the
// temporary's working path, which the file-operation table does not see:
// for that format the operations covered are the output file's own
// (creating, syncing, linking, renaming, closing, syncing the folder).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "control/control_fixture.h"
#include "support/file_faults.h"
#include "support/test_support.h"
#include "varnelo/memory_recordset.h"

namespace varnelo {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing_support::FileFaults;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

class ExportFileFaults : public testing_control::ControlTest {
protected:
    std::shared_ptr<MemoryRecordset> source = std::make_shared<MemoryRecordset>(
        std::vector<std::string>{"ID", "NAME", "AMOUNT"},
        std::vector<int>{adtype::kInteger, adtype::kVarChar, adtype::kDouble},
        std::vector<std::vector<Variant>>{{1, "alpha", 1.5}, {2, "beta, \"quoted\"", -2.25}, {3, "gamma", 0.0}});
};

TEST_F(ExportFileFaults, EveryFailingFileOperationOfEveryFormatKeepsThePreviousFile) {
    const std::pair<int32_t, const char*> formats[] = {{Ascii, "csv"},     {DelimTab, "tsv"},   {DelimOther, "txt"},
                                                       {Inserts, "sql"},   {ExcelFile, "xlsx"}, {HTMLTable, "html"},
                                                       {SQLLoader, "ctl"}};
    int survived = 0;
    for (auto [format, ext] : formats) {
        for (bool named : {false, true}) {
            SCOPED_TRACE(std::string(ext) + (named ? ", named temporary" : ", unnamed temporary"));
            TempDir dir;
            const std::string file = dir.file(std::string("out.") + ext), previous = "previous " + file;
            control.DataSource(source);
            control.Format(format);
            control.OutputFile(file);
            control.InsertTable("T");
            control.CommitInterval("100");
            control.DelimChar("|");
            forget();
            auto save = [&] {
                source->moveTo(0);
                control.Save();
            };

            writeFile(file, previous);
            FileFaults faults;
            faults.refuseUnnamed(named);
            save();
            ASSERT_THAT(desktop.messages, IsEmpty());
            const std::string written = readFile(file);
            ASSERT_NE(written, previous);
            const std::vector<std::string> clean = faults.calls();
            const int count = faults.count();
            const int renamed = static_cast<int>(std::find(clean.begin(), clean.end(), "renameat") - clean.begin()) + 1;
            ASSERT_LE(renamed, count);

            for (int n = 1; n <= count; ++n) {
                writeFile(file, previous);
                faults.reset();
                faults.failAt(n);
                bool raised = false;
                try {
                    save();
                } catch (const Error& e) {
                    raised = true;
                    EXPECT_EQ(e.lastSystemError(), faults.failedErrno());
                    EXPECT_TRUE(FileFaults::describes(e.description(), faults.failed(), file)) << e.description();
                }
                SCOPED_TRACE("operation " + std::to_string(n) + " of " + std::to_string(count) + ": " + faults.failed());
                if (n > renamed) {
                    // Past the rename the new file is whole and in place; a
                    // failed folder sync is still reported.
                    EXPECT_EQ(raised, faults.failed() == "fsync");
                    const std::string now = readFile(file);
                    if (format == ExcelFile)  // the workbook carries its creation time
                        EXPECT_EQ(now.size(), written.size());
                    else
                        EXPECT_EQ(now, written);
                } else {
                    EXPECT_TRUE(raised);
                    EXPECT_EQ(readFile(file), previous);
                }
                EXPECT_THAT(dir.names(), ElementsAre(std::string("out.") + ext));
                ++survived;
            }
        }
    }
    RecordProperty("injection_points", survived);
    std::cout << "file operations made to fail: " << survived << "\n";
}

}  // namespace
}  // namespace varnelo
