#pragma once
// The bytes of the export file of a range, built from plain records without a thread
// or a file: what the export thread must write.

#include <string>
#include <vector>

#include "output/exportfile.h"

inline std::string ExportBytesOf(const ReportSource& src, int kind, std::int64_t first, std::int64_t end,
                                 std::int64_t step = 1, std::vector<std::int32_t> alarms = {}) {
  return ExportBytes(ExportJob{src, kind, first, end, step, std::move(alarms), LoadExportTexts()});
}
