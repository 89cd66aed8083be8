// Tests of model effects on designs with empty cells (tests/reference/effect_tests_empty_cell.R):
// warpbreaks without the cell (B, H), and mtcars' cylinders by gears without (8, 4) with a further
// factor and a covariate. There the Type III hypotheses cannot come from car; the R script builds them
// from their textbook definition (estimable functions vanishing on the effects that do not contain
// the effect, orthogonal to those of the effects that contain it) on the library's design, without any
// L matrix of the library. For each effect the library's Type III L must span exactly that space (same
// rank, each row in the other's span), and its F must equal the one R computes from lm()'s estimates
// and covariance for the textbook L. Every row must also be estimable (vanish on the null space of
// X'X), and the Type I tests must be anova()'s.
//
// Tolerances: 1e-10 relative on statistics (as for the complete designs, which reach 3e-12); the
// spans are compared through orthogonal projections, whose residuals must vanish to 1e-9 of the rows'
// norms (the textbook basis comes from singular value decompositions accurate to about 1e-13).
#include <gtest/gtest.h>

#include <Eigen/Dense>

#include "effect_tests_support.h"

namespace effect_tests {
namespace {

constexpr double kRel = 1e-10;
constexpr double kSpan = 1e-9;

using Matrix = Eigen::MatrixXd;

Matrix ToEigen(const QXRectMatrix& m) {
  Matrix out(m.GetNRows(), m.GetNCols());
  for (int i = 0; i < m.GetNRows(); ++i)
    for (int j = 0; j < m.GetNCols(); ++j) out(i, j) = m.GetElem(i, j);
  return out;
}

Matrix ToEigen(const json& rows) {
  const auto values = rows.get<std::vector<std::vector<double>>>();
  Matrix out(static_cast<Eigen::Index>(values.size()), static_cast<Eigen::Index>(values.front().size()));
  for (std::size_t i = 0; i < values.size(); ++i)
    for (std::size_t j = 0; j < values[i].size(); ++j) out(i, j) = values[i][j];
  return out;
}

// The largest distance of a row of `rows` from the row space of `basis`, relative to the row's norm.
double DistanceFromSpan(const Matrix& rows, const Matrix& basis) {
  const Eigen::ColPivHouseholderQR<Matrix> qr(basis.transpose());
  const Matrix q = qr.householderQ() * Matrix::Identity(basis.cols(), qr.rank());
  double worst = 0.0;
  for (Eigen::Index i = 0; i < rows.rows(); ++i) {
    const Eigen::VectorXd r = rows.row(i).transpose();
    worst = std::max(worst, (r - q * (q.transpose() * r)).norm() / r.norm());
  }
  return worst;
}

class EmptyCell : public ::testing::TestWithParam<int> {
 protected:
  static void SetUpTestSuite() { fReference = new json(LoadReference("effect_tests_empty_cell.json")); }
  static void TearDownTestSuite() {
    delete fReference;
    fReference = nullptr;
  }
  void SetUp() override {
    fModel = std::make_unique<FittedLinearModel>(Design()["case"], QXConst::QXTestWaldF);
    ASSERT_TRUE(fModel->Ok());
    fTest = fModel->EffectTest(QXConst::QXEffectTypeIAndIII);
    ASSERT_TRUE(fTest->TestModelEffect().IsOK()) << fTest->GetStatus().GetMessage();
  }
  const json& Design() const { return (*fReference)["designs"][static_cast<std::size_t>(GetParam())]; }

  static json* fReference;
  std::unique_ptr<FittedLinearModel> fModel;
  std::unique_ptr<QXModelEffectTest> fTest;
};
json* EmptyCell::fReference = nullptr;

TEST_P(EmptyCell, TypeIMatchesAnova) {
  const QXModelTestStats* type1 = fTest->GetTypeITestStats();
  const json& reference = Design()["type1"];
  ASSERT_EQ(type1->GetNTests(), static_cast<int>(reference.size()));
  for (int i = 0; i < type1->GetNTests(); ++i) {
    EXPECT_EQ(type1->GetTestStats(i)->GetDF(), reference[i]["df1"].get<double>()) << i;
    ExpectRel(type1->GetTestStats(i)->GetWald(), reference[i]["F"], kRel, "Type I F " + std::to_string(i));
  }
}

TEST_P(EmptyCell, TypeIIIHypothesesAreTheTextbookOnes) {
  const Matrix null = ToEigen(Design()["null_space"]);
  const json& reference = Design()["type3"];
  const QXModelTestStats* type3 = fTest->GetTypeIIITestStats();
  ASSERT_EQ(type3->GetNTests(), static_cast<int>(reference.size()));
  for (int e = 0; e < type3->GetNTests(); ++e) {
    const std::string what = "effect " + std::to_string(e);
    const Matrix library = ToEigen(*type3->GetLMatrix(e));
    ASSERT_GT(library.rows(), 0) << what;
    // Estimable: every row vanishes on the null space of X'X (N orthonormal).
    EXPECT_LE((library * null).cwiseAbs().maxCoeff(), 1e-12 * library.cwiseAbs().maxCoeff()) << what;
    const Matrix textbook = ToEigen(reference[e]["L"]);
    EXPECT_EQ(library.rows(), textbook.rows()) << what << ": degrees of freedom";
    EXPECT_LE(DistanceFromSpan(library, textbook), kSpan) << what;
    EXPECT_LE(DistanceFromSpan(textbook, library), kSpan) << what;
    const QXTestStats& t = *type3->GetTestStats(e);
    EXPECT_EQ(t.GetDF(), reference[e]["df1"].get<double>()) << what;
    ExpectRel(t.GetWald(), reference[e]["F"], kRel, what + " F");
    ExpectRel(t.GetSig(), reference[e]["p"], kRel, what + " p");
  }
}

INSTANTIATE_TEST_SUITE_P(Designs, EmptyCell, ::testing::Values(0, 1), [](const auto& info) {
  return info.param == 0 ? std::string("WarpbreaksWithoutOneCell") : std::string("MtcarsWithCovariate");
});

}  // namespace
}  // namespace effect_tests
