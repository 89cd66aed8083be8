#include "links/IQXLinkFunc.h"

#include <cmath>
#include <string>

#include "common/QXDisplay.h"
#include "common/QXMissingValue.h"

#include "links/QXLinkCumCauchit.h"
#include "links/QXLinkIdentity.h"
#include "links/QXLinkLog.h"
#include "links/QXLinkLogLog.h"
#include "links/QXLinkLogit.h"
#include "links/QXLinkNegBinomial.h"
#include "links/QXLinkPower.h"
#include "links/QXLinkProbit.h"

namespace QXMath_600 {

IQXLinkFunc* CreateLinkFunction(QXConst::LinkType type, double param) {
  using namespace QXConst;
  switch (type) {
    case QXLinkTypeCLogLog: return new QXLinkCompLog2();
    case QXLinkTypeIdentity: return new QXLinkIdentity();
    case QXLinkTypeLog: return new QXLinkLog();
    case QXLinkTypeLogComplement: return new QXLinkLogComp();
    case QXLinkTypeLogit: return new QXLinkLogit();
    case QXLinkTypeNegBinomial: return new QXLinkNegBinomial(param);
    case QXLinkTypeNegLogLog: return new QXLinkNegLog2();
    case QXLinkTypeOddsPower: return new QXLinkOddsPower(param);
    case QXLinkTypePower: return new QXLinkPower(param);
    case QXLinkTypeProbit: return new QXLinkProbit();
    case QXLinkTypeCumCauchit: return new QXLinkCumCauchit();
    case QXLinkTypeCumCLogLog: return new QXLinkCumCompLog2();
    case QXLinkTypeCumLogit: return new QXLinkCumLogit();
    case QXLinkTypeCumNegLogLog: return new QXLinkCumNegLog2();
    case QXLinkTypeCumProbit: return new QXLinkCumProbit();
  }
  // Any other value, negative ones included, names no link.
  return nullptr;
}

double IQXLinkFunc::InverseLinkDerivative(double mu, std::uint32_t* status) const {
  if (IsCumulative()) return Derivative(mu, status);
  std::uint32_t derivativeStatus = 0;
  const double derivative = Derivative(mu, &derivativeStatus);
  double result = QXMV::gMissingValue;
  if (QXMV::IsMissing(derivative)) {
    if (status != nullptr) *status = derivativeStatus;
    return result;
  }
  const double reciprocal = 1.0 / derivative;
  if (derivative != 0.0 && std::isfinite(reciprocal)) {
    result = reciprocal;
  } else {
    derivativeStatus = 2;
  }
  if (status != nullptr) *status = derivativeStatus;
  return result;
}

void IQXLinkFunc::Display() const { DisplayLink("IQXLinkFunc", nullptr); }

void IQXLinkFunc::DisplayLink(std::string_view className, const double* parameter) {
  using namespace QXDisplay_600;
  const std::string name(className);
  DisplayText(1, " ");
  DisplayText(1, name + " display start");
  if (parameter != nullptr) DisplayD("fParam", *parameter);
  DisplayText(1, name + " display end");
}

}  // namespace QXMath_600
