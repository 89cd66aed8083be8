// The test of every model effect of a fitted model under one kind of hypothesis. A subclass says how
// the contrast matrix L of one effect is built from the shared data (Type I: sequential, Type III:
// adjusted for every effect that does not contain it); this class runs the effects in order, widens
// each L to the estimates of the model, keeps its linearly independent rows and records the Wald test
// of each effect in its model test statistics, whose entry i is always effect i.
#pragma once

#include <memory>
#include <vector>

#include "common/QXExport.h"
#include "common/QXStatus.h"
#include "inference/QXModelTestStats.h"

namespace QXMath_600 {

class QXEffectTestData;

class QXREGRES_API QXBaseModelEffectTest {
 public:
  QXBaseModelEffectTest();
  virtual ~QXBaseModelEffectTest();
  QXBaseModelEffectTest(const QXBaseModelEffectTest&) = delete;
  QXBaseModelEffectTest& operator=(const QXBaseModelEffectTest&) = delete;

  // Borrows the data (which must outlive this object) and starts empty statistics.
  virtual void SetData(QXEffectTestData* data);
  // Tests every effect in order. Error 303 without data, H, L or model tests; warning 323 when nothing
  // is estimable (the effects then get entries without a test). An effect that cannot be tested gets an
  // entry with missing statistics and its status, which becomes the result unless a later one does;
  // the warnings of the tests themselves (321 for an empty hypothesis) stay in the entries. The tests
  // run once: a later call returns the first result and leaves the statistics as they are.
  virtual QXCommon_600::QXStatus TestModelEffects();
  virtual const QXModelTestStats* GetModelTestStats() const { return fpModelTestStats.get(); }
  // Builds the L matrix of one effect into the data's L (one row per hypothesis, one column per
  // parameter of one linear predictor) and the 1-based indices of the parameters its rows stand for.
  // Error 303 for an effect index out of range.
  virtual QXCommon_600::QXStatus ComputeEffectLMatrix(int effect, std::vector<int>& rowIndices) = 0;

  const QXCommon_600::QXStatus& GetStatus() const { return fStatus; }
  void Display() const;

 protected:
  // Whether a hypothesis of the effect can be built (data with X'WX and L, an effect in range), and
  // its parameter range.
  bool CanBuild(int effect, int& first, int& count) const;
  // The Wald form of the effect's full-rank hypothesis of `rows` rows when it is known without forming
  // L V L' (Type I tests from the fit's sums of squares); false to form it.
  virtual bool KnownWaldForm(int /*effect*/, int /*rows*/, double& /*w*/) const { return false; }

  std::unique_ptr<QXModelTestStats> fpModelTestStats;
  QXEffectTestData* fpDataImpl = nullptr;
  QXCommon_600::QXStatus fStatus;

 private:
  // Records effect e: its failure, or the test of its widened, full-rank L.
  void RecordEffect(int e, QXCommon_600::QXStatus& loopStatus);

  bool fbTested = false;
};

}  // namespace QXMath_600
