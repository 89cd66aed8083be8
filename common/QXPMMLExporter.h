// The companion layer's PMML writers for what the regression exports cannot write themselves. The
// caller owns every element returned.
#pragma once

#include <memory>

#include "common/QXExport.h"
#include "common/QXStatus.h"
#include "common/QXUniStats.h"
#include "common/XMLElement.h"

namespace QXXML_600 {

class QXCOMMON_API QXPMMLExporter {
 public:
  // Writes a PMML 4.4 "UnivariateStats" element for `stats` into `element`, in schema order:
  //   UnivariateStats field=...
  //     Counts totalFreq=...                      when the total frequency is known and not negative
  //     NumericInfo minimum maximum mean standardDeviation median interQuartileRange
  //       Quantile quantileLimit quantileValue    for each quantile with a limit in [0, 100]
  //     DiscrStats                                when there are category counts:
  //       Array type="string" (the category texts, quoted) and Array type="real" (the frequencies)
  // Missing and non-finite values leave their attribute (or quantile) out; NumericInfo is written
  // only with something in it. An empty field name is refused with status 303 and no element.
  static QXCommon_600::QXStatus ExportUniStats(const QXUniStats& stats, std::unique_ptr<XMLElement>& element);
};

}  // namespace QXXML_600
