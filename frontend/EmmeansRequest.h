// The marginal means a user asks qxfit for: --emmeans requests with the options that apply to all of
// them (--contrast, --adjust, --scale, --at). Parsing needs no data, so wrong requests are refused
// with the other usage errors before anything is read; the names are matched to the model later
// (MarginalMeans).
//
//   --emmeans 'A'        the means of A's levels, compared with each other
//   --emmeans 'A*B'      the means of the cells of A and B, all cells compared with each other
//   --emmeans 'A | B'    the cells of A and B, A's levels compared within each level of B
//   --emmeans 'A*B | C'  the cells of A and B compared within each level of C
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "settings/QXConst.h"

namespace QXFit {

struct EmmeansRequest {
  std::string fText;                   // as the user wrote it, trimmed
  std::vector<std::string> fCompared;  // the factors before '|'
  std::vector<std::string> fBy;        // the factors after it
};

// Link: the linear predictor (logits); response: the probabilities. A linear model has one scale.
enum class EmmeansScale { kDefault, kLink, kResponse };

struct EmmeansOptions {
  std::vector<EmmeansRequest> fRequests;
  QXConst::QXContrastType fContrast = QXConst::QXContrastPairwise;
  std::string fContrastName = "pairwise";
  std::string fReferenceLevel;  // simple:LEVEL; empty for the last level
  QXConst::QXPAdjustMethod fAdjust = QXConst::QXPAdjLSD;
  std::string fAdjustName = "lsd";
  EmmeansScale fScale = EmmeansScale::kDefault;
  std::vector<std::pair<std::string, double>> fAt;  // --at NAME=VALUE, each name once
};

// The options as given on the command line. False with a one-line message for a request or an option
// that cannot be read, or options given without --emmeans.
bool ParseEmmeansOptions(const std::vector<std::string>& requests, const std::string& contrast,
                         const std::string& adjust, const std::string& scale,
                         const std::vector<std::string>& at, EmmeansOptions& options, std::string& error);

// One request: factor names joined by '*', optionally '|' and the grouping factors. Names may be
// written in backquotes.
bool ParseEmmeansRequest(const std::string& text, EmmeansRequest& request, std::string& error);

}  // namespace QXFit
