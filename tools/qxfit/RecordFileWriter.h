// The second pass over the data: writes the model's variables of every row as one record of the
// library's binary record file (headerless doubles in the machine's byte order). Factor values become
// their codes 0..k-1 and missing values the system-missing value, so the library reads the file with
// its own BinaryRecordIterator in as many passes as it needs. Every row is written, usable or not, so
// that record k of the file is row k of the data and predictions line up with the rows.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "settings/QXRegSettings.h"
#include "tools/qxfit/ModelBuilder.h"
#include "tools/qxfit/RowSource.h"

namespace QXFit {

class ProgressBar;

class RecordFileWriter {
 public:
  struct Counts {
    long long fRecordsRead = 0;
    // Records the library's record validator accepts for the model: what the fit uses.
    long long fRecordsUsed = 0;
  };

  // Writes one record per row of the source to `out` (positioned at its start) and counts the rows.
  // False with a message when the source fails, changed since it was scanned, or the file cannot be
  // written.
  static bool Write(RowSource& source, const std::vector<ModelVariable>& variables,
                    const QXMath_600::QXRegSettings& settings, std::FILE* out, ProgressBar* progress,
                    Counts& counts, std::string& error);
};

}  // namespace QXFit
