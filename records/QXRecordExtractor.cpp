#include "records/QXRecordExtractor.h"

#include <algorithm>

#include "common/QXDisplay.h"
#include "common/QXMissingValue.h"

namespace QXMath_600 {

QXRecordExtractor::QXRecordExtractor(int dependent, const std::vector<int>& factors,
                                     const std::vector<int>& covariates, int freqWeight, int regrWeight) {
  SetRecordIndices(dependent, factors, covariates, freqWeight, regrWeight);
}

void QXRecordExtractor::SetRecordIndices(int dependent, const std::vector<int>& factors,
                                         const std::vector<int>& covariates, int freqWeight, int regrWeight) {
  fExtract.clear();
  fFactorOffsets.clear();
  fCovariateOffsets.clear();
  fDependentOffset = 0;
  fExtract.push_back(dependent);
  for (int factor : factors) {
    fFactorOffsets.push_back(static_cast<int>(fExtract.size()));
    fExtract.push_back(factor);
  }
  for (int covariate : covariates) {
    fCovariateOffsets.push_back(static_cast<int>(fExtract.size()));
    fExtract.push_back(covariate);
  }
  fFreqWeightOffset = -1;
  if (freqWeight >= 0) {
    fFreqWeightOffset = static_cast<int>(fExtract.size());
    fExtract.push_back(freqWeight);
  }
  fRegrWeightOffset = -1;
  if (regrWeight >= 0) {
    fRegrWeightOffset = static_cast<int>(fExtract.size());
    fExtract.push_back(regrWeight);
  }
  fExtractSize = static_cast<int>(fExtract.size());
}

void QXRecordExtractor::Extract(double* out, int n, const double* record) const {
  for (int i = 0; i < n; ++i) {
    const int source = fExtract[i];
    out[i] = source >= 0 ? record[source] : QXMV::gMissingValue;
  }
}

void QXRecordExtractor::ExtractRecord(double* out, const double* record) const {
  Extract(out, fExtractSize, record);
}

void QXRecordExtractor::ExtractRecord(std::vector<double>& out, const double* record) const {
  Extract(out.data(), std::min(fExtractSize, static_cast<int>(out.size())), record);
}

void QXRecordExtractor::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, " ");
  DisplayText(1, "QXRecordExtractor display start");
  DisplayI("fExtractSize", fExtractSize);
  DisplayIV("fExtract", fExtract);
  DisplayI("fDependentOffset", fDependentOffset);
  DisplayIV("fFactorOffsets", fFactorOffsets);
  DisplayIV("fCovariateOffsets", fCovariateOffsets);
  DisplayI("fFreqWeightOffset", fFreqWeightOffset);
  DisplayI("fRegrWeightOffset", fRegrWeightOffset);
  DisplayText(1, "QXRecordExtractor display end");
}

}  // namespace QXMath_600
