// Cost in the number of parameters P: a general linear model with one many-level factor g, with and
// without its interaction with a covariate x (y ~ g + x: P = K + 2; y ~ g * x: P = 2K + 2), fitted
// through the public API on 20 records per level, then its Type I and Type III tests of model effects,
// each timed on its own and both together (as `qxfit --type both` runs them). Also the crossed model
// y ~ A * B (A of 100 levels, B of 50: 5151 parameters of which 5000 are estimable) with --crossed.
//
// A timing harness run by hand, not a Google Benchmark: one repetition of a P = 2000 case takes long
// enough to be measured once. CPU seconds of the process (the work is single-threaded, and on a
// shared machine its wall-clock time depends on the other jobs; still run the sizes in one session and
// compare ratios). The fitted exponent b of time ~ P^b is the
// least-squares slope of log time on log P over the sizes run. Beside the fit, the time of Eigen's dense
// Cholesky factorization (LLT) of a positive definite matrix of the same order P: the speed of a
// double-precision factorization that the fit's sweep is measured against.
//
// Run: build/release/bench/qx_large_model_bench [--sizes 100,500,1000,2000] [--crossed]
//      [--skip-type1] [--skip-type3] [--own-sweep] [--csv DIR]
// --own-sweep makes the tests sweep X'WX themselves, as they do without the fit's sweep.
// --csv DIR also writes each data set as DIR/<name>.csv (columns y, g, x or y, A, B) for the same fit
// in R: bench/large_model_r.R.
#include <sys/resource.h>
#include <time.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <Eigen/Cholesky>
#include <Eigen/Core>

#include "BenchData.h"
#include "BenchReport.h"
#include "qxregres600r.h"

namespace {

using QXCommon_600::QXStatus;

// The process's CPU time in seconds.
struct Clock {
  static double now() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
  }
};

constexpr int kRecordsPerLevel = 20;

// --own-sweep: the tests sweep X'WX themselves instead of reading the fit's sweep.
bool gOwnSweep = false;

double Seconds(double since) { return Clock::now() - since; }

double PeakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// A uniform number in [0, 1) from the record's counter generator.
double Uniform(qx_bench::CounterRandom& random) {
  return static_cast<double>(random.Next() >> 11) * (1.0 / 9007199254740992.0);
}

// One model to time: its records, its settings and a label.
struct Case {
  std::string name;
  std::int64_t nRecords = 0;
  int nVariables = 3;
  qx_bench::BinaryDataFile::RowFiller fill;
  QXMath_600::QXRegSettings settings;
};

QXMath_600::QXModelEffect Effect(const std::vector<int>& candidates, int nFactors, int nCovariates,
                                 const std::vector<int>& factors, const std::vector<int>& covariates) {
  QXMath_600::QXModelEffect effect(nFactors, nCovariates, &candidates);
  for (int f : factors) effect.AddNewFactor(f, false);
  for (int c : covariates) effect.AddCovariate(c);
  return effect;
}

// y ~ g + x or y ~ g * x; record layout: 0 y, 1 g, 2 x.
Case ManyLevelFactor(int nLevels, bool interaction) {
  Case c;
  c.name = std::string(interaction ? "g_by_x_" : "g_plus_x_") + std::to_string(nLevels);
  c.nRecords = static_cast<std::int64_t>(nLevels) * kRecordsPerLevel;
  c.fill = [nLevels](std::int64_t i, double* v) {
    qx_bench::CounterRandom random(i);
    const int g = static_cast<int>(i % nLevels);
    const double x = 4.0 * Uniform(random) - 2.0;
    const double noise = Uniform(random) + Uniform(random) + Uniform(random) - 1.5;
    v[0] = 10.0 + 0.01 * g + (1.0 + 0.001 * g) * x + noise;
    v[1] = g;
    v[2] = x;
  };
  QXMath_600::QXRegSettings& s = c.settings;
  s.SetDependent(0);
  s.AddFactor(1, nLevels);
  s.AddCovariate(2);
  s.SetTestType(QXConst::QXTestWaldF);
  const std::vector<int> candidates{1, 2};
  s.AddModelEffect(Effect(candidates, 1, 1, {1}, {}));
  s.AddModelEffect(Effect(candidates, 1, 1, {}, {2}));
  if (interaction) s.AddModelEffect(Effect(candidates, 1, 1, {1}, {2}));
  return c;
}

// y ~ A * B with A of 100 levels and B of 50, every cell observed; record layout: 0 y, 1 A, 2 B.
Case CrossedFactors() {
  constexpr int kA = 100, kB = 50;
  Case c;
  c.name = "A_by_B_100x50";
  c.nRecords = static_cast<std::int64_t>(kA) * kB * kRecordsPerLevel / 4;
  c.fill = [](std::int64_t i, double* v) {
    qx_bench::CounterRandom random(i);
    const int cell = static_cast<int>(i % (kA * kB));
    const int a = cell / kB, b = cell % kB;
    v[0] = 5.0 + 0.02 * a - 0.03 * b + 0.001 * a * b + Uniform(random);
    v[1] = a;
    v[2] = b;
  };
  QXMath_600::QXRegSettings& s = c.settings;
  s.SetDependent(0);
  s.AddFactor(1, kA);
  s.AddFactor(2, kB);
  s.SetTestType(QXConst::QXTestWaldF);
  const std::vector<int> candidates{1, 2};
  s.AddModelEffect(Effect(candidates, 2, 0, {1}, {}));
  s.AddModelEffect(Effect(candidates, 2, 0, {2}, {}));
  s.AddModelEffect(Effect(candidates, 2, 0, {1, 2}, {}));
  return c;
}

void WriteCsv(const Case& c, const std::string& directory) {
  std::ofstream out(directory + "/" + c.name + ".csv");
  const bool crossed = c.name.rfind("A_by_B", 0) == 0;
  out << (crossed ? "y,A,B\n" : "y,g,x\n");
  out.precision(17);
  std::vector<double> v(static_cast<std::size_t>(c.nVariables));
  for (std::int64_t i = 0; i < c.nRecords; ++i) {
    c.fill(i, v.data());
    // Factor levels as text, so that R reads them as factors.
    out << v[0] << (crossed ? ",a" : ",g") << static_cast<int>(v[1]);
    if (crossed)
      out << ",b" << static_cast<int>(v[2]) << '\n';
    else
      out << ',' << v[2] << '\n';
  }
}

struct Timing {
  int nParameters = 0;
  double fit = 0.0, typeI = 0.0, typeIII = 0.0, both = 0.0, dense = 0.0;
};

// Seconds of Eigen's LLT of an n x n matrix made positive definite by a dominant diagonal (the cost of
// the factorization does not depend on the values).
double DenseCholeskySeconds(int n) {
  Eigen::MatrixXd m(n, n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) m(i, j) = (i == j ? n : 0.0) + 1.0 / (1.0 + std::abs(i - j));
  const auto start = Clock::now();
  const Eigen::LLT<Eigen::MatrixXd> factor(m);
  const double seconds = Seconds(start);
  return factor.info() == Eigen::Success ? seconds : 0.0;
}

// Times one kind of effect test; false (with a message) when it ends in an error.
bool TimeTests(const QXMath_600::IQXRegComponent& component, const QXMath_600::QXGLMOutputStats& stats,
               const QXMath_600::QXSymMatrix& covariance, QXConst::QXEffectAnalysisType type,
               double& seconds) {
  const auto start = Clock::now();
  const QXMath_600::QXRegSettings& used = component.GetCompSettings();
  QXMath_600::QXModelEffectTest tests(
      used, used.GetModelEffects(), stats.GetParamEstimates(), stats.GetEffectFirstParameters(),
      stats.GetEffectNParameters(), type, &covariance, &stats.GetXPrimeWXMatrix(),
      &stats.GetRedundancyIndicators(), QXConst::QXDistNormal, 0, nullptr, stats.GetNDegFreedom(), nullptr,
      gOwnSweep ? nullptr : stats.GetEffectSweep());
  const QXStatus status = tests.TestModelEffect();
  seconds = Seconds(start);
  if (status.IsError()) {
    std::fprintf(stderr, "effect tests: %s\n", status.GetMessage().c_str());
    return false;
  }
  // The F of the last effect, so that a change in the results shows next to the times.
  const QXMath_600::QXModelTestStats* table =
      type == QXConst::QXEffectTypeI ? tests.GetTypeITestStats() : tests.GetTypeIIITestStats();
  if (table != nullptr && table->GetNTests() > 0)
    std::printf("    %s: last effect F = %.15g\n", type == QXConst::QXEffectTypeI ? "type I" : "type III",
                table->GetTestStats(table->GetNTests() - 1)->GetWald());
  return true;
}

bool Run(Case& c, bool typeI, bool typeIII, Timing& timing) {
  const qx_bench::BinaryDataFile data(c.nRecords, c.nVariables, c.fill);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(data.Open(), &std::fclose);
  QXCommon_600::BinaryRecordIterator records(file.get(), c.nVariables);

  auto start = Clock::now();
  QXMath_600::QXRegFactory factory;
  std::unique_ptr<QXMath_600::IQXRegComponent> component(factory.CreateRegAlgorithm(c.settings));
  QXMath_600::IQXRegOutputStats* output = nullptr;
  const QXStatus built = component ? component->BuildModel(records) : factory.GetStatus();
  if (built.IsError() || component->GetOutputStats(output).IsError()) {
    std::fprintf(stderr, "%s: %s\n", c.name.c_str(), built.GetMessage().c_str());
    return false;
  }
  timing.fit = Seconds(start);
  const auto* stats = dynamic_cast<const QXMath_600::QXGLMOutputStats*>(output);
  timing.nParameters = static_cast<int>(stats->GetParamEstimates().size());
  timing.dense = DenseCholeskySeconds(timing.nParameters);
  std::printf("  %s: %lld records, P = %d, fit %.3f s, dense LLT of order P %.3f s\n", c.name.c_str(),
              static_cast<long long>(c.nRecords), timing.nParameters, timing.fit, timing.dense);

  const double rmse = stats->GetModelFitStat(QXConst::QXFitRootMSE);
  QXMath_600::QXSymMatrix covariance = *stats->GetCovarianceMatrix();
  covariance.MultiplyByNumber(rmse * rmse * stats->GetTotalFreqWeight() / stats->GetNDegFreedom());
  if (typeI && !TimeTests(*component, *stats, covariance, QXConst::QXEffectTypeI, timing.typeI)) return false;
  if (typeIII && !TimeTests(*component, *stats, covariance, QXConst::QXEffectTypeIII, timing.typeIII))
    return false;
  if (typeI && typeIII &&
      !TimeTests(*component, *stats, covariance, QXConst::QXEffectTypeIAndIII, timing.both))
    return false;
  std::printf("    type I %.3f s, type III %.3f s, both %.3f s, peak RSS so far %.0f MB\n", timing.typeI,
              timing.typeIII, timing.both, PeakMegabytes());
  std::fflush(stdout);
  return true;
}

// Least-squares slope of log(time) on log(P).
double FittedExponent(const std::vector<Timing>& rows, double Timing::*what) {
  double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (const Timing& t : rows) {
    if (!(t.*what > 0.0)) continue;
    const double x = std::log(t.nParameters), y = std::log(t.*what);
    n += 1, sx += x, sy += y, sxx += x * x, sxy += x * y;
  }
  return n < 2 ? 0.0 : (n * sxy - sx * sy) / (n * sxx - sx * sx);
}

void PrintTable(const char* title, const std::vector<Timing>& rows) {
  std::printf("\n%s\n%8s %10s %10s %10s %10s %10s\n", title, "P", "fit s", "type I s", "type III s", "both s",
              "LLT s");
  for (const Timing& t : rows)
    std::printf("%8d %10.3f %10.3f %10.3f %10.3f %10.3f\n", t.nParameters, t.fit, t.typeI, t.typeIII, t.both,
                t.dense);
  std::printf("%8s %10.2f %10.2f %10.2f %10.2f %10.2f\n", "exponent", FittedExponent(rows, &Timing::fit),
              FittedExponent(rows, &Timing::typeI), FittedExponent(rows, &Timing::typeIII),
              FittedExponent(rows, &Timing::both), FittedExponent(rows, &Timing::dense));
}

std::vector<int> ParseSizes(const char* text) {
  std::vector<int> sizes;
  for (const char* p = text; *p != '\0';) {
    sizes.push_back(std::atoi(p));
    p = std::strchr(p, ',');
    if (p == nullptr) break;
    ++p;
  }
  return sizes;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes{100, 500, 1000, 2000};
  bool crossed = false, typeI = true, typeIII = true;
  std::string csv;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--sizes" && i + 1 < argc) {
      sizes = ParseSizes(argv[++i]);
    } else if (arg == "--crossed") {
      crossed = true;
    } else if (arg == "--skip-type1") {
      typeI = false;
    } else if (arg == "--skip-type3") {
      typeIII = false;
    } else if (arg == "--own-sweep") {
      gOwnSweep = true;
    } else if (arg == "--csv" && i + 1 < argc) {
      csv = argv[++i];
    } else {
      std::fprintf(
          stderr,
          "usage: %s [--sizes LIST] [--crossed] [--skip-type1] [--skip-type3] [--own-sweep] [--csv DIR]\n",
          argv[0]);
      return 2;
    }
  }
  if (crossed) {
    Case c = CrossedFactors();
    if (!csv.empty()) WriteCsv(c, csv);
    Timing t;
    if (!Run(c, typeI, typeIII, t)) return 1;
    PrintTable("y ~ A * B", {t});
    return 0;
  }
  for (bool interaction : {false, true}) {
    std::vector<Timing> rows;
    std::printf("\n%s\n", interaction ? "y ~ g * x" : "y ~ g + x");
    for (int p : sizes) {
      // P = K + 2 without the interaction, 2K + 2 with it.
      const int nLevels = interaction ? (p - 2) / 2 : p - 2;
      Case c = ManyLevelFactor(nLevels, interaction);
      if (!csv.empty()) WriteCsv(c, csv);
      Timing t;
      if (!Run(c, typeI, typeIII, t)) return 1;
      rows.push_back(t);
    }
    PrintTable(interaction ? "y ~ g * x" : "y ~ g + x", rows);
  }
  return 0;
}
