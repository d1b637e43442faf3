// The factories of the format writers, one per file; pipeline.cpp's table
// maps the control's Format values to them.
#pragma once

#include <memory>

#include "writers/export_job.h"
#include "writers/pipeline.h"

namespace varnelo {

std::unique_ptr<RowWriter> makeDelimitedWriter(const ExportJob& job);  // delimited_writer.cpp
std::unique_ptr<RowWriter> makeInsertWriter(const ExportJob& job);     // insert_writer.cpp
std::unique_ptr<RowWriter> makeSheetWriter(const ExportJob& job);      // sheet_model.cpp
std::unique_ptr<RowWriter> makeHtmlWriter(const ExportJob& job);       // html_writer.cpp
std::unique_ptr<RowWriter> makeSqlLoaderWriter(const ExportJob& job);  // sqlldr_writer.cpp

}  // namespace varnelo
