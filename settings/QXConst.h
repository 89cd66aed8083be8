// The enumerations shared by every stage of a model: variable roles, link and distribution families,
// contrasts, p-value adjustments, test kinds and the other options a caller passes. Their numeric values
// are part of the interface: callers store them and pass them back.
//
// Each enumeration has a fixed underlying type so that any int a caller passes is a valid value of the
// type; the display functions print such stray values as "unrecognized" rather than invoking undefined
// behaviour.
#pragma once

namespace QXConst {

// The role of a record variable in a model.
enum QXVariableType : int {
  QXVarUnspecified = 0,
  QXVarFreqWeight = 1,
  QXVarRegrWeight = 2,
  QXVarFactor = 3,
  QXVarCovariate = 4,
  QXVarDependent = 5,
  QXVarOffset = 6,
  QXVarTrials = 7,
  QXVarSubject = 8
};

enum LinkType : int {
  QXLinkTypeCLogLog = 0,
  QXLinkTypeIdentity = 1,
  QXLinkTypeLog = 2,
  QXLinkTypeLogComplement = 3,
  QXLinkTypeLogit = 4,
  QXLinkTypeNegBinomial = 5,
  QXLinkTypeNegLogLog = 6,
  QXLinkTypeOddsPower = 7,
  QXLinkTypePower = 8,
  QXLinkTypeProbit = 9,
  QXLinkTypeCumCauchit = 10,
  QXLinkTypeCumCLogLog = 11,
  QXLinkTypeCumLogit = 12,
  QXLinkTypeCumNegLogLog = 13,
  QXLinkTypeCumProbit = 14
};

enum DistType : int {
  QXDistNormal = 0,
  QXDistBinomial = 1,
  QXDistGamma = 2,
  QXDistInvGaussian = 3,
  QXDistNegBinomial = 4,
  QXDistPoisson = 5,
  QXDistOrdMultinomial = 6,
  QXDistTweedie = 7,
  // Nominal multinomial, as in logistic regression.
  QXDistNomMultinomial = 8
};

enum QXContrastType : int {
  QXContrastSimple = 0,
  QXContrastDeviation = 1,
  QXContrastHelmert = 2,
  QXContrastDifference = 3,
  QXContrastRepeated = 4,
  QXContrastPolynomial = 5,
  QXContrastPairwise = 6
};

enum QXPAdjustMethod : int {
  QXPAdjLSD = 0,
  QXPAdjBonferroni = 1,
  QXPAdjSeqBonferroni = 2,
  QXPAdjSidak = 3,
  QXPAdjSeqSidak = 4
};

enum QXTestType : int {
  // Overall F test and individual t tests.
  QXTestWaldF = 0,
  // Individual t tests without an overall statistic.
  QXTestIndividualT = 1,
  // Overall and individual chi-square tests.
  QXTestChiSquare = 2,
  // Individual chi-square tests without an overall statistic.
  QXTestIndividualChiSquare = 3
};

enum QXEffectAnalysisType : int {
  QXEffectTypeI = 0,
  QXEffectTypeIII = 1,
  QXEffectTypeIAndIII = 2,
  QXEffectNone = 3
};

enum QXOffsetType : int { QXOffsetNone = 0, QXOffsetVariable = 1, QXOffsetValue = 2 };

enum QXCovbType : int { QXCovbModel = 0, QXCovbRobust = 1 };

enum QXCategOrder : int { QXCategAscending = 0, QXCategDescending = 1, QXCategData = 2 };

enum QXCategRef : int { QXCategRefHigh = 0, QXCategRefLow = 1, QXCategRefValue = 2 };

enum QXClassMissing : int { QXMissingExclude = 0, QXMissingInclude = 1 };

// Starts at 1: a zero value is not a convergence kind.
enum QXConvType : int { QXConvAbsolute = 1, QXConvRelative = 2 };

enum QXDependentType : int {
  QXDepUnknown = 0,
  QXDepSingle = 1,
  QXDepEventsTrials = 2,
  QXDepEventsConstTrials = 3
};

enum QXEmmScaleType : int { QXEmmOriginal = 0, QXEmmTransformed = 1 };

// Starts at 1: a zero value is not a Hessian method.
enum QXHessianCompMethod : int { QXHessianFisher = 1, QXHessianNewtonRaphson = 2, QXHessianHybrid = 3 };

enum QXRegModelType : int {
  QXRegModelGLM = 0,
  QXRegModelLogistic = 1,
  // Written by the PMML export only; no component of this library fits it.
  QXRegModelOrdinal = 2
};

// The fit statistics a model's output statistics answer.
enum QXModelFitStat : int {
  QXFitRootMSE = 0,
  QXFitRSquare = 1,
  QXFitCoxSnell = 2,
  QXFitNagelkerke = 3,
  QXFitMcFadden = 4
};

// The reference kind of a marginal-means specification. The library stores and returns it without
// interpreting it, so only the default is named.
enum QXReferenceType : int { QXReferenceDefault = 0 };

}  // namespace QXConst
