// The binary record reader, the in-memory iterator and the record validator over arbitrary bytes.
//
// Input: a few bytes of layout (the number of doubles per record, the roles, factors and category
// counts the validator is given), then the file's bytes. Beyond what the sanitizers catch, the harness
// checks what callers rely on: a pass delivers exactly the whole records of the file, ends with 1 after
// a whole number of records and with 3 after a truncated one, a second pass delivers the same records,
// the in-memory iterator agrees with the file, and the validator answers the same for the same record,
// sets only the statuses 315 and 316, and never refuses to score a record it accepts for building.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/QXStatus.h"
#include "common/Record.h"
#include "fuzz/MemoryFile.h"
#include "records/BinaryRecordIterator.h"
#include "records/QXMemoryRecordIterator.h"
#include "records/QXRegRecordValidator.h"
#include "settings/QXConst.h"

namespace {

using QXCommon_600::BinaryRecordIterator;
using QXCommon_600::QXMemoryRecordIterator;
using QXCommon_600::QXStatus;
using QXCommon_600::Record;
using qxfuzz::Broken;

struct Verdict {
  bool fBuild;
  long fBuildCode;
  bool fScore;
  long fScoreCode;
  bool operator==(const Verdict&) const = default;
};

Verdict Judge(const QXMath_600::QXRegRecordValidator& validator, const Record& record) {
  QXStatus build, score;
  Verdict v{validator.IsValidRecord(record, build), build.GetErrorCode(),
            validator.IsValid4Scoring(record, score), score.GetErrorCode()};
  for (const long code : {v.fBuildCode, v.fScoreCode})
    if (code != 0 && code != 315 && code != 316) Broken("the validator set a status other than 315 or 316");
  if (v.fBuild && (v.fBuildCode != 0 || !v.fScore)) Broken("a record valid for building cannot be scored");
  return v;
}

bool SameValues(const Record& a, const Record& b) {
  return a.Size() == b.Size() &&
         (a.Size() == 0 || std::memcmp(a.GetAll(), b.GetAll(), sizeof(double) * a.Size()) == 0);
}

// One pass over `iterator`, the verdict of every record, and the records themselves.
int Pass(QXCommon_600::MultiPassRecordIter& iterator, const QXMath_600::QXRegRecordValidator& validator,
         std::vector<Record>& records, std::vector<Verdict>& verdicts) {
  records.clear();
  verdicts.clear();
  while (iterator.HasMore()) {
    const Record* record = iterator.Next();
    if (record == nullptr) Broken("Next gave no record while HasMore was true");
    records.push_back(*record);
    verdicts.push_back(Judge(validator, *record));
  }
  if (iterator.Next() != nullptr) Broken("Next gave a record after the end of the pass");
  return iterator.GetFailReason();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static qxfuzz::MemoryFile file;
  FuzzedDataProvider input(data, size);
  const int nVariables = input.ConsumeIntegralInRange(-1, 8);
  std::vector<QXConst::QXVariableType> types(input.ConsumeIntegralInRange(0, 9));
  for (auto& type : types) type = static_cast<QXConst::QXVariableType>(input.ConsumeIntegralInRange(0, 9));
  std::vector<int> factors(input.ConsumeIntegralInRange(0, 4));
  std::vector<int> factorSizes(factors.size());
  for (std::size_t i = 0; i < factors.size(); ++i) {
    factors[i] = input.ConsumeIntegralInRange(-2, 10);
    factorSizes[i] = input.ConsumeIntegral<std::int8_t>();
  }
  const int nTargetCategories = input.ConsumeIntegral<std::int8_t>();
  const QXMath_600::QXRegRecordValidator validator(types, factors, factorSizes, nTargetCategories);
  const std::vector<std::uint8_t> bytes = input.ConsumeRemainingBytes<std::uint8_t>();
  file.Write(bytes.data(), bytes.size());

  std::FILE* stream = std::fopen(file.Path().c_str(), "rb");
  if (stream == nullptr) Broken("the memory file cannot be opened");
  std::vector<Record> first, second;
  std::vector<Verdict> firstVerdicts, secondVerdicts;
  {
    BinaryRecordIterator iterator(stream, nVariables);
    const int reason = Pass(iterator, validator, first, firstVerdicts);
    const std::size_t recordBytes =
        nVariables >= 1 ? sizeof(double) * static_cast<std::size_t>(nVariables) : 0;
    if (recordBytes == 0) {
      if (reason != BinaryRecordIterator::kReadFailure || !first.empty())
        Broken("an iterator without variables read records");
    } else {
      if (first.size() != bytes.size() / recordBytes) Broken("a pass did not deliver every whole record");
      const int expected = bytes.size() % recordBytes == 0 ? BinaryRecordIterator::kEndOfData
                                                           : BinaryRecordIterator::kReadFailure;
      if (reason != expected) Broken("a pass ended with the wrong fail reason");
      for (std::size_t k = 0; k < first.size(); ++k)
        if (std::memcmp(first[k].GetAll(), bytes.data() + k * recordBytes, recordBytes) != 0)
          Broken("a record differs from its bytes in the file");
    }
    const int again = iterator.NewPass();
    const int expectedStart = recordBytes == 0 ? BinaryRecordIterator::kReadFailure
                              : !first.empty() ? BinaryRecordIterator::kMoreRecords
                              : bytes.empty()  ? BinaryRecordIterator::kEndOfData
                                               : BinaryRecordIterator::kReadFailure;
    if (again != expectedStart) Broken("a new pass does not start as the first did");
    if (Pass(iterator, validator, second, secondVerdicts) != reason || second.size() != first.size() ||
        secondVerdicts != firstVerdicts)
      Broken("a second pass differs from the first");
    for (std::size_t k = 0; k < first.size(); ++k)
      if (!SameValues(first[k], second[k])) Broken("a second pass delivered other values");
  }
  std::fclose(stream);

  // The same records from memory, as rows and as columns.
  if (nVariables < 1) return 0;
  std::vector<double> rows;
  for (const Record& record : first)
    rows.insert(rows.end(), record.GetAll(), record.GetAll() + record.Size());
  std::vector<std::vector<double>> columnValues(static_cast<std::size_t>(nVariables));
  for (const Record& record : first)
    for (int j = 0; j < nVariables; ++j) columnValues[static_cast<std::size_t>(j)].push_back(record[j]);
  std::vector<const double*> columns;
  for (const auto& column : columnValues) columns.push_back(column.empty() ? rows.data() : column.data());
  const auto n = static_cast<std::int64_t>(first.size());
  QXMemoryRecordIterator byRows(rows.empty() ? nullptr : rows.data(), n, nVariables);
  QXMemoryRecordIterator byColumns(columns, n);
  for (QXMemoryRecordIterator* memory : {&byRows, &byColumns}) {
    for (int pass = 0; pass < 2; ++pass) {
      if (pass == 1) memory->NewPass();
      if (Pass(*memory, validator, second, secondVerdicts) != BinaryRecordIterator::kEndOfData ||
          second.size() != first.size() || secondVerdicts != firstVerdicts)
        Broken("the in-memory iterator differs from the file");
      for (std::size_t k = 0; k < first.size(); ++k)
        if (!SameValues(first[k], second[k])) Broken("the in-memory iterator delivered other values");
    }
  }
  return 0;
}
