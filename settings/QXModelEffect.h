// One term of a model: a main effect, an interaction or nesting of factors, a covariate or its power,
// or a product of factors and covariates. The term is described against the model's candidate
// variables (its factors, then its covariates): for each factor its nesting level in the term or -1,
// for each covariate its power or 0. A term that uses no candidate is the intercept.
#pragma once

#include <vector>

#include "common/QXExport.h"

namespace QXMath_600 {

class QXREGRES_API QXModelEffect {
 public:
  QXModelEffect() = default;
  // Starts an intercept over nModelFactors factors and nModelCovariates covariates whose record
  // indices are listed in *varIndices (copied; null means none). Negative counts are taken as 0.
  QXModelEffect(int nModelFactors, int nModelCovariates, const std::vector<int>* varIndices);

  // As the constructor, on an existing term: the candidate entries already present are kept and
  // the in-effect counts are left alone. Call Reset first to start over.
  void Setup(int nModelFactors, int nModelCovariates, const std::vector<int>* varIndices);
  // Back to the intercept over the same candidates.
  void Reset();

  // Adds the factor with record index var. With nest set, the factors already present move one
  // level deeper and var enters at the outermost level 0, so A then B nested reads A(B). Refuses a
  // variable that is not a factor candidate or is already in the term.
  bool AddNewFactor(int var, bool nest);
  // Raises the power of covariate var by one and returns the new power; -1 when var is not a
  // covariate candidate. A squared covariate is added twice.
  int AddCovariate(int var);

  void SetFactorsInParens() { fbFactorsInParens = true; }
  bool GetFactorsInParens() const { return fbFactorsInParens; }

  // The factor's nesting level in the term; -1 when it is not a candidate or not in the term.
  int ContainsFactor(int var) const;
  // The covariate's power in the term; -1 when it is not a covariate candidate.
  int GetCovariateMult(int var) const;
  // The covariate degree of the term: the sum of all powers.
  int GetNCovariateMult() const;

  // Record indices and nesting levels of the factors in the term, in candidate order.
  std::vector<int> GetFactors() const;
  std::vector<int> GetFactorLevels() const;
  // Record indices and powers of the covariates in the term, in candidate order.
  std::vector<int> GetCovariates() const;
  std::vector<int> GetCovMultiplicities() const;

  // True for a term of covariates only; `covariates` then lists each covariate's record index once per
  // power, in candidate order. The output is emptied in every case.
  bool IsCovariateEffect(std::vector<int>& covariates) const;
  bool IsIntercept() const { return fNFactorsInEffect == 0 && fNCovariatesInEffect == 0; }

  int GetNFactors() const { return fNFactorsInEffect; }
  int GetNCovariates() const { return fNCovariatesInEffect; }
  int GetNLevels() const { return fNNestingLevels; }
  int GetNModelFactors() const { return fNModelFactors; }
  int GetNModelCovariates() const { return fNModelCovariates; }
  const std::vector<int>& GetModelEffect() const { return fvModelEffect; }
  const std::vector<int>& GetVarIndices() const { return fvVarIndices; }
  // Replaces the candidates' record indices (copied; null empties them).
  void SetVarIndices(const std::vector<int>* varIndices);
  // A list the caller may attach for the exports; nothing in the term interprets it.
  const std::vector<int>& GetVarsIndicesForTheEffectInSetting() const { return fvVarsIndicesInSetting; }
  void SetVarsIndicesForTheEffectInSetting(const std::vector<int>& indices) {
    fvVarsIndicesInSetting = indices;
  }

  // Whether this term is a lower-order relative of `other`: fewer factors, every one of them in
  // `other` (at any nesting level), the same covariate powers and the same candidates. The effect
  // tests rely on it to decide which terms to sweep before a term.
  bool IsContainedIn(const QXModelEffect& other) const;

  // Same candidates, counts, parentheses flag and entries; the exports' list is not compared.
  bool operator==(const QXModelEffect& other) const;
  bool operator!=(const QXModelEffect& other) const { return !(*this == other); }

  // Drops every candidate whose mask entry is false (entries missing from a short mask keep their
  // candidate). Returns false when a dropped candidate was in use in the term. The record indices
  // are not touched: the caller replaces them with SetVarIndices.
  bool ApplyMask(const std::vector<bool>& mask);

  // One entry per candidate of the first term: whether any of the terms uses that candidate.
  static std::vector<bool> CheckVariableUse(const std::vector<QXModelEffect>& effects);
  // The record indices (from the first term's candidates) of the factors and of the covariates used
  // by any term, each once, in order of first use. An empty list leaves both outputs untouched.
  static void GetUsedVariables(const std::vector<QXModelEffect>& effects, std::vector<int>& factors,
                               std::vector<int>& covariates);

  void Display() const;

 protected:
  // Position of `value` among positions start .. start + count - 1 of `values` (bounded by its size),
  // or -1.
  static int FindInVector(const std::vector<int>& values, int start, int count, int value);

 private:
  // Whether candidate i is in the term: a factor at some level, or a covariate with a positive power.
  bool UsesCandidate(int i) const;
  bool IsFactorCandidate(int i) const { return i < fNModelFactors; }
  // source[i] for each candidate i in first .. end - 1 that the term uses.
  std::vector<int> CollectUsed(int first, int end, const std::vector<int>& source) const;
  // Candidates present in the entries; the factor candidates come first, up to FactorEnd.
  int NCandidates() const;
  int FactorEnd() const { return fNModelFactors < NCandidates() ? fNModelFactors : NCandidates(); }
  int NIndexed() const { return static_cast<int>(fvVarIndices.size()); }

  std::vector<int> fvVarIndices;
  std::vector<int> fvModelEffect;
  int fNModelFactors = 0;
  int fNModelCovariates = 0;
  int fNFactorsInEffect = 0;
  int fNCovariatesInEffect = 0;
  int fNNestingLevels = 0;
  bool fbFactorsInParens = false;
  std::vector<int> fvVarsIndicesInSetting;
};

}  // namespace QXMath_600
