// Copies the analysis variables of a record into a compact array in a fixed layout: the dependent
// variable, the factors in order, the covariates in order, then the frequency weight and the
// regression weight when there are such. Rows stored in this layout are much narrower than the
// caller's records.
#pragma once

#include <vector>

#include "common/QXExport.h"

namespace QXMath_600 {

class QXREGRES_API QXRecordExtractor {
 public:
  QXRecordExtractor() = default;
  QXRecordExtractor(int dependent, const std::vector<int>& factors, const std::vector<int>& covariates,
                    int freqWeight, int regrWeight);

  // Takes the record indices of the analysis variables; a weight index below 0 means no such weight.
  void SetRecordIndices(int dependent, const std::vector<int>& factors, const std::vector<int>& covariates,
                        int freqWeight, int regrWeight);

  // out[i] = record[GetAllRecordIndices()[i]] for every extracted position; `out` holds
  // GetExtractSize() values. A position with a negative record index receives the system-missing value.
  void ExtractRecord(double* out, const double* record) const;
  // The same into the elements `out` already has, at most GetExtractSize() of them.
  void ExtractRecord(std::vector<double>& out, const double* record) const;

  int GetExtractSize() const { return fExtractSize; }
  const std::vector<int>& GetAllRecordIndices() const { return fExtract; }
  int GetDependentOffset() const { return fDependentOffset; }
  const std::vector<int>& GetFactorOffsets() const { return fFactorOffsets; }
  const std::vector<int>& GetCovariateOffsets() const { return fCovariateOffsets; }
  // -1 when there is no such weight.
  int GetFreqWeightOffset() const { return fFreqWeightOffset; }
  int GetRegrWeightOffset() const { return fRegrWeightOffset; }

  void Display() const;

 private:
  void Extract(double* out, int n, const double* record) const;

  int fExtractSize = 0;
  std::vector<int> fExtract;
  int fDependentOffset = 0;
  std::vector<int> fFactorOffsets;
  std::vector<int> fCovariateOffsets;
  int fFreqWeightOffset = -1;
  int fRegrWeightOffset = -1;
};

}  // namespace QXMath_600
