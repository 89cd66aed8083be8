// The whole public API of qxregres600r and of its companion layer qxcommon600r.
#pragma once

// Companion layer: status, records, iterators, callbacks, display.
#include "common/QXCallbacks.h"
#include "common/QXDisplay.h"
#include "common/QXExport.h"
#include "common/QXMissingValue.h"
#include "common/QXStatus.h"
#include "common/Record.h"
#include "common/RecordIterator.h"

// Companion layer: matrix kernel.
#include "common/QXBitSet.h"
#include "common/QXDiagMatrix.h"
#include "common/QXEigenValues.h"
#include "common/QXRectMatrix.h"
#include "common/QXSparseVector.h"
#include "common/QXSymBlockDiagMatrix.h"
#include "common/QXSymBlockMatrix.h"
#include "common/QXSymMatrix.h"

// Companion layer: distributions, elementary functions, hash keys and packed keys.
#include "common/QXDistFun.h"
#include "common/QXHashKey.h"
#include "common/QXMathFun.h"
#include "common/QXPackedInt.h"
#include "common/QXPower.h"

// Companion layer: XML elements, the variable list, PMML and ZozoREZ helpers.
#include "common/QXPMMLExporter.h"
#include "common/QXUniStats.h"
#include "common/QXVarList.h"
#include "common/QXVariable.h"
#include "common/QXZozoREZUtil.h"
#include "common/XMLElement.h"

// Model specification: enumerations and their display, settings, model effects, parameters.
#include "settings/QXConst.h"
#include "settings/QXDisplayC.h"
#include "settings/QXLogRegSettings.h"
#include "settings/QXModelEffect.h"
#include "settings/QXRegSettings.h"
#include "settings/QXRegrParameter.h"

// Record access: the binary and in-memory iterators, cancellation, record validation and extraction.
#include "records/BinaryRecordIterator.h"
#include "records/QXCancelInfo.h"
#include "records/QXMemoryRecordIterator.h"
#include "records/QXRecordExtractor.h"
#include "records/QXRegRecordValidator.h"
#include "records/QXValidatedPass.h"

// Design: category counts, the hash table, the cell tables that number the parameters, and the
// design matrices that expand records into rows of the model matrix.
#include "design/QXCellTables.h"
#include "design/QXDesignMatrix.h"
#include "design/QXEffectsTables.h"
#include "design/QXFactorCounts.h"
#include "design/QXFactorTableSetup.h"
#include "design/QXFactorTables.h"
#include "design/QXHashtable.h"
#include "design/QXLiteDesignMatrix.h"

// Link functions: the interface, its factory and the fifteen links.
#include "links/IQXLinkFunc.h"
#include "links/QXLinkCumCauchit.h"
#include "links/QXLinkIdentity.h"
#include "links/QXLinkLog.h"
#include "links/QXLinkLogLog.h"
#include "links/QXLinkLogit.h"
#include "links/QXLinkNegBinomial.h"
#include "links/QXLinkPower.h"
#include "links/QXLinkProbit.h"

// What every model family shares: the component and output-statistics interfaces, result records.
#include "model/IQXRegComponent.h"
#include "model/IQXRegOutputStats.h"
#include "model/QXEffectSweep.h"
#include "model/QXRegANOVA.h"
#include "model/QXRegrParameterStats.h"

// Linear model: the general linear model's component, output statistics, algorithm and
// least-squares state.
#include "linear/QXGLMAlgorithm.h"
#include "linear/QXGLMComponent.h"
#include "linear/QXGLMModel.h"
#include "linear/QXGLMOutputStats.h"

// Logistic model: the multinomial logistic regression's component, output statistics, algorithm,
// model, optimizer, accumulator and data handlers.
#include "logistic/IQXAccumStats.h"
#include "logistic/IQXDataHandler.h"
#include "logistic/IQXRegModel.h"
#include "logistic/QXAccumStatsLogistic.h"
#include "logistic/QXLogAlgorithm.h"
#include "logistic/QXLogComponent.h"
#include "logistic/QXLogModel.h"
#include "logistic/QXLogOutputStats.h"
#include "logistic/QXPatternTabulator.h"
#include "logistic/QXRecordIterHandler.h"
#include "logistic/QXRegOptimizer.h"
#include "logistic/QXRowPatterns.h"

// The factory, which creates the component of either model family.
#include "factory/QXRegFactory.h"

// Hypothesis tests: test records, Wald tests of linear hypotheses, Type I and Type III tests of model
// effects, contrast matrices, category combinations, Satterthwaite degrees of freedom.
#include "inference/QXBaseModelEffectTest.h"
#include "inference/QXCombinations.h"
#include "inference/QXContrasts.h"
#include "inference/QXEffectTestData.h"
#include "inference/QXModelEffectTest.h"
#include "inference/QXModelEffectTestTypeI.h"
#include "inference/QXModelEffectTestTypeIII.h"
#include "inference/QXModelTestStats.h"
#include "inference/QXModelTests.h"
#include "inference/QXSatterthwaite.h"
#include "inference/QXTestStats.h"

// Marginal means: specifications and result records.
#include "marginals/QXEmmeansSpec.h"
#include "marginals/QXEmmeansStats.h"
#include "marginals/QXMarginals.h"

// Exports: PMML elements and standalone documents of a fitted model, ZozoREZ parameter statistics.
#include "export/QXPMMLDocument.h"
#include "export/QXPMMLRegrExporter.h"
#include "export/QXRegrZozoREZUtil.h"
