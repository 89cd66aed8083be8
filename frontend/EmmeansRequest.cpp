#include "frontend/EmmeansRequest.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace QXFit {

namespace {

std::string Trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Splits on `separator` outside backquotes; the backquotes themselves are dropped.
bool SplitNames(const std::string& text, char separator, std::vector<std::string>& names) {
  names.clear();
  std::string current;
  bool quoted = false;
  for (const char c : text + separator) {
    if (c == '`') {
      quoted = !quoted;
    } else if (c == separator && !quoted) {
      names.push_back(Trim(current));
      if (names.back().empty()) return false;
      current.clear();
    } else {
      current += c;
    }
  }
  return !quoted;
}

bool HasDuplicate(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return std::adjacent_find(names.begin(), names.end()) != names.end();
}

bool ParseContrast(const std::string& text, EmmeansOptions& options, std::string& error) {
  static const std::pair<const char*, QXConst::QXContrastType> kKinds[] = {
      {"pairwise", QXConst::QXContrastPairwise},     {"simple", QXConst::QXContrastSimple},
      {"deviation", QXConst::QXContrastDeviation},   {"helmert", QXConst::QXContrastHelmert},
      {"difference", QXConst::QXContrastDifference}, {"repeated", QXConst::QXContrastRepeated},
      {"polynomial", QXConst::QXContrastPolynomial}};
  const std::size_t colon = text.find(':');
  const std::string kind = text.substr(0, colon);
  for (const auto& [name, type] : kKinds) {
    if (kind != name) continue;
    if (colon != std::string::npos) {
      if (type != QXConst::QXContrastSimple || colon + 1 == text.size()) break;
      options.fReferenceLevel = text.substr(colon + 1);
    }
    options.fContrast = type;
    options.fContrastName = name;
    return true;
  }
  error =
      "--contrast: give pairwise, simple[:LEVEL], deviation, helmert, difference, repeated or "
      "polynomial, not '" +
      text + "'";
  return false;
}

bool ParseAdjust(const std::string& text, EmmeansOptions& options, std::string& error) {
  static const std::pair<const char*, QXConst::QXPAdjustMethod> kMethods[] = {
      {"lsd", QXConst::QXPAdjLSD},
      {"bonferroni", QXConst::QXPAdjBonferroni},
      {"sidak", QXConst::QXPAdjSidak},
      {"seq-bonferroni", QXConst::QXPAdjSeqBonferroni},
      {"seq-sidak", QXConst::QXPAdjSeqSidak}};
  for (const auto& [name, method] : kMethods) {
    if (text != name) continue;
    options.fAdjust = method;
    options.fAdjustName = name;
    return true;
  }
  error = "--adjust: give lsd, bonferroni, sidak, seq-bonferroni (Holm's) or seq-sidak, not '" + text + "'";
  return false;
}

bool ParseAt(const std::string& text, EmmeansOptions& options, std::string& error) {
  const std::size_t equals = text.rfind('=');
  const std::string name = equals == std::string::npos ? "" : Trim(text.substr(0, equals));
  const std::string value = equals == std::string::npos ? "" : Trim(text.substr(equals + 1));
  char* end = nullptr;
  const double number = value.empty() ? 0.0 : std::strtod(value.c_str(), &end);
  if (name.empty() || value.empty() || end != value.c_str() + value.size() || !std::isfinite(number)) {
    error = "--at: give NAME=VALUE with a finite number, such as yrs.service=10, not '" + text + "'";
    return false;
  }
  for (const auto& [given, held] : options.fAt) {
    if (given != name) continue;
    error = "--at: '" + name + "' is given more than once";
    return false;
  }
  options.fAt.emplace_back(name, number);
  return true;
}

}  // namespace

bool ParseEmmeansRequest(const std::string& text, EmmeansRequest& request, std::string& error) {
  request = EmmeansRequest{};
  request.fText = Trim(text);
  const std::string hint = "--emmeans: give factors such as 'A', 'A*B' or 'A | B', not '" + text + "'";
  // The '|' outside backquotes; a second one is an error.
  std::size_t bar = std::string::npos;
  bool quoted = false;
  for (std::size_t i = 0; i < request.fText.size(); ++i) {
    if (request.fText[i] == '`') quoted = !quoted;
    if (request.fText[i] != '|' || quoted) continue;
    if (bar != std::string::npos) {
      error = hint;
      return false;
    }
    bar = i;
  }
  if (!SplitNames(request.fText.substr(0, bar), '*', request.fCompared) ||
      (bar != std::string::npos && !SplitNames(request.fText.substr(bar + 1), '*', request.fBy))) {
    error = hint;
    return false;
  }
  std::vector<std::string> all = request.fCompared;
  all.insert(all.end(), request.fBy.begin(), request.fBy.end());
  if (HasDuplicate(all)) {
    error = "--emmeans: a factor appears twice in '" + text + "'";
    return false;
  }
  return true;
}

bool ParseEmmeansOptions(const std::vector<std::string>& requests, const std::string& contrast,
                         const std::string& adjust, const std::string& scale,
                         const std::vector<std::string>& at, EmmeansOptions& options, std::string& error) {
  options = EmmeansOptions{};
  if (requests.empty()) {
    const char* given = !contrast.empty() ? "--contrast"
                        : !adjust.empty() ? "--adjust"
                        : !scale.empty()  ? "--scale"
                        : !at.empty()     ? "--at"
                                          : nullptr;
    if (given == nullptr) return true;
    error = std::string(given) + " applies to marginal means: give --emmeans as well";
    return false;
  }
  for (const auto& text : requests) {
    EmmeansRequest request;
    if (!ParseEmmeansRequest(text, request, error)) return false;
    options.fRequests.push_back(std::move(request));
  }
  if (!contrast.empty() && !ParseContrast(contrast, options, error)) return false;
  if (!adjust.empty() && !ParseAdjust(adjust, options, error)) return false;
  if (scale == "link") {
    options.fScale = EmmeansScale::kLink;
  } else if (scale == "response") {
    options.fScale = EmmeansScale::kResponse;
  } else if (!scale.empty()) {
    error = "--scale: give link or response, not '" + scale + "'";
    return false;
  }
  for (const auto& text : at)
    if (!ParseAt(text, options, error)) return false;
  // A contrast other than pairwise runs over the levels of one factor.
  if (options.fContrast != QXConst::QXContrastPairwise)
    for (const auto& request : options.fRequests) {
      if (request.fCompared.size() == 1) continue;
      error = "--contrast " + options.fContrastName + " compares the levels of one factor; in '" +
              request.fText + "' write the others after '|', such as '" + request.fCompared[0] + " | " +
              request.fCompared[1] + "'";
      return false;
    }
  return true;
}

}  // namespace QXFit
