// The compiled half of the Python package: hands NumPy column buffers to the front end, which reads
// them in place through a record iterator (no row passes through Python), and returns the front end's
// own report, JSON document, predictions and PMML. The package's Python half turns a DataFrame into
// these columns and the JSON document into DataFrames.
//
// Errors become Python exceptions carrying the front end's message: ValueError for what the caller
// asked wrongly (a bad formula, an unknown column, a column that cannot take its role), RuntimeError
// when the data cannot be read or the library reports an error.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "frontend/CommandLine.h"
#include "frontend/EmmeansReport.h"
#include "frontend/EmmeansRequest.h"
#include "frontend/MemoryColumns.h"
#include "frontend/QXFrontEnd.h"

namespace py = pybind11;

namespace {

using Doubles = py::array_t<double, py::array::forcecast>;
using Codes = py::array_t<std::int32_t, py::array::forcecast>;

[[noreturn]] void Raise(const QXFit::QXFrontEnd& fit) {
  if (fit.GetErrorCode() == QXFit::CommandLine::kUsage) throw py::value_error(fit.GetError());
  throw std::runtime_error(fit.GetError());
}

// The fit's options from the package's keywords; both tables of effect tests are always formed, so
// that either can be asked for afterwards.
QXFit::Options MakeOptions(const std::string& formula, const std::vector<std::string>& factors,
                           const std::string& freqWeight, const std::string& regrWeight,
                           const std::vector<std::pair<std::string, std::string>>& references,
                           const std::string& test, double confidence, double tolerance, bool logistic,
                           bool tabulate) {
  QXFit::Options options;
  options.fFormula = formula;
  options.fFactors = factors;
  options.fFrequencyWeight = freqWeight;
  options.fRegressionWeight = regrWeight;
  options.fReferences = references;
  if (test == "F") {
    options.fTest = QXFit::TestKind::kF;
  } else if (test == "chisq") {
    options.fTest = QXFit::TestKind::kChiSquare;
  } else {
    throw py::value_error("test must be 'F' or 'chisq', not '" + test + "'");
  }
  if (!(confidence > 0.0 && confidence < 1.0)) throw py::value_error("confidence must lie between 0 and 1");
  if (!(tolerance > 0.0 && tolerance < 1.0)) throw py::value_error("tolerance must lie between 0 and 1");
  options.fConfidenceLevel = confidence;
  options.fTolerance = tolerance;
  options.fbTypeI = true;
  options.fbTypeIII = true;
  options.fbLogistic = logistic;
  options.fbTabulate = tabulate;
  return options;
}

// The caller's columns: (name, float64 values) or (name, int32 codes, category texts). The arrays
// are one-dimensional of `nRows`; strides are kept, so a column of a two-dimensional array is read
// where it is. The list keeps the arrays alive for as long as the columns are read.
class Columns {
 public:
  Columns(long long nRows, const py::list& columns) : fData(nRows) {
    if (nRows < 0) throw py::value_error("the number of rows cannot be negative");
    for (const py::handle item : columns) {
      const auto entry = item.cast<py::tuple>();
      if (entry.size() != 2 && entry.size() != 3)
        throw py::value_error("a column is (name, values) or (name, codes, categories)");
      const auto name = entry[0].cast<std::string>();
      if (entry.size() == 2) {
        auto values = Doubles::ensure(entry[1]);
        AddNumeric(name, values, nRows);
      } else {
        AddCategorical(name, entry[1], entry[2].cast<std::vector<std::string>>(), nRows);
      }
    }
  }
  QXFit::MemoryColumns& Get() { return fData; }

 private:
  template <typename Array>
  static void Check(const std::string& name, const Array& array, long long nRows) {
    if (!array || array.ndim() != 1 || array.shape(0) != nRows)
      throw py::value_error("column '" + name + "' must be one-dimensional with " + std::to_string(nRows) +
                            " values");
  }
  // Read in place only where every element is a whole, aligned element: a view into a structured
  // array (a step of 12 bytes) or a buffer at an odd address is copied first.
  template <typename Array>
  static Array InPlace(const Array& array) {
    using Element = typename Array::value_type;
    const auto address = reinterpret_cast<std::uintptr_t>(array.data());
    if (array.strides(0) % static_cast<py::ssize_t>(sizeof(Element)) == 0 && address % alignof(Element) == 0)
      return array;
    return Array::ensure(py::module_::import("numpy").attr("array")(array, py::arg("copy") = true));
  }
  void AddNumeric(const std::string& name, const Doubles& given, long long nRows) {
    Check(name, given, nRows);
    const Doubles values = InPlace(given);
    fKeep.push_back(values);
    const auto stride =
        static_cast<std::ptrdiff_t>(values.strides(0) / static_cast<py::ssize_t>(sizeof(double)));
    if (!fData.AddNumeric(name, values.data(), stride)) throw py::value_error(fData.GetError());
  }
  // pandas keeps a categorical's codes in the narrowest integer that holds them: those are read as
  // they are; any other integer array is converted to 32 bits.
  void AddCategorical(const std::string& name, const py::handle& values, std::vector<std::string> categories,
                      long long nRows) {
    const auto array = py::array::ensure(values);
    if (array && array.dtype().kind() == 'i' && array.itemsize() == 1) {
      AddCodes(name, py::array_t<std::int8_t>::ensure(array), std::move(categories), nRows);
    } else if (array && array.dtype().kind() == 'i' && array.itemsize() == 2) {
      AddCodes(name, py::array_t<std::int16_t>::ensure(array), std::move(categories), nRows);
    } else {
      AddCodes(name, Codes::ensure(values), std::move(categories), nRows);
    }
  }
  template <typename Code>
  void AddCodes(const std::string& name, const py::array_t<Code>& given, std::vector<std::string> categories,
                long long nRows) {
    Check(name, given, nRows);
    const py::array_t<Code> codes = InPlace(given);
    fKeep.push_back(codes);
    const auto stride =
        static_cast<std::ptrdiff_t>(codes.strides(0) / static_cast<py::ssize_t>(sizeof(Code)));
    if (!fData.AddCategorical(name, codes.data(), stride, std::move(categories)))
      throw py::value_error(fData.GetError());
  }

  QXFit::MemoryColumns fData;
  std::vector<py::object> fKeep;
};

class Fit {
 public:
  static std::unique_ptr<Fit> FromColumns(long long nRows, const py::list& columns,
                                          const QXFit::Options& options) {
    auto fit = std::make_unique<Fit>();
    Columns data(nRows, columns);
    bool ok = false;
    {
      py::gil_scoped_release release;
      ok = fit->fFrontEnd.FitColumns(options, data.Get());
    }
    if (!ok) Raise(fit->fFrontEnd);
    return fit;
  }
  static std::unique_ptr<Fit> FromFile(const std::string& path, const QXFit::Options& base) {
    auto fit = std::make_unique<Fit>();
    QXFit::Options options = base;
    options.fDataPath = path;
    bool ok = false;
    {
      py::gil_scoped_release release;
      ok = fit->fFrontEnd.FitFile(options);
    }
    if (!ok) Raise(fit->fFrontEnd);
    return fit;
  }

  std::string Report() const { return fFrontEnd.GetReport(); }
  std::string Json() const { return fFrontEnd.GetJson(); }
  std::vector<std::string> Notes() const { return fFrontEnd.GetNotes(); }
  void WritePmml(const std::string& path) {
    if (!fFrontEnd.WritePmml(path)) Raise(fFrontEnd);
  }
  // The "emmeans" array of qxfit's JSON document for these requests, as --emmeans, --contrast,
  // --adjust, --scale and --at would give them.
  std::string Emmeans(const std::vector<std::string>& requests, const std::string& contrast,
                      const std::string& adjust, const std::string& scale,
                      const std::vector<std::string>& at) {
    QXFit::EmmeansOptions options;
    std::string error;
    if (requests.empty()) throw py::value_error("give the factors whose marginal means are wanted");
    if (!QXFit::ParseEmmeansOptions(requests, contrast, adjust, scale, at, options, error))
      throw py::value_error(error);
    QXFit::FitResult means;
    if (!fFrontEnd.GetEmmeans(options, means.fEmmeans)) Raise(fFrontEnd);
    return QXFit::EmmeansReport::ToJson(means).dump(-1, ' ', false,
                                                    nlohmann::ordered_json::error_handler_t::replace);
  }
  void PredictColumns(long long nRows, const py::list& columns, const std::string& path) {
    Columns data(nRows, columns);
    bool ok = false;
    {
      py::gil_scoped_release release;
      ok = fFrontEnd.WritePredictions(data.Get(), path);
    }
    if (!ok) Raise(fFrontEnd);
  }

 private:
  QXFit::QXFrontEnd fFrontEnd;
};

}  // namespace

PYBIND11_MODULE(_core, m) {
  m.doc() = "The compiled front end of qxregres600r; use the qxregres600r package.";
  m.def("make_options", &MakeOptions, py::arg("formula"), py::arg("factors"), py::arg("freq_weight"),
        py::arg("regr_weight"), py::arg("references"), py::arg("test"), py::arg("confidence"),
        py::arg("tolerance"), py::arg("logistic") = false, py::arg("tabulate") = false);
  py::class_<QXFit::Options>(m, "Options");
  py::class_<Fit>(m, "Fit")
      .def_static("from_columns", &Fit::FromColumns, py::arg("n_rows"), py::arg("columns"),
                  py::arg("options"))
      .def_static("from_file", &Fit::FromFile, py::arg("path"), py::arg("options"))
      .def("report", &Fit::Report)
      .def("json", &Fit::Json)
      .def("notes", &Fit::Notes)
      .def("write_pmml", &Fit::WritePmml, py::arg("path"))
      .def("emmeans", &Fit::Emmeans, py::arg("requests"), py::arg("contrast"), py::arg("adjust"),
           py::arg("scale"), py::arg("at"))
      .def("predict_columns", &Fit::PredictColumns, py::arg("n_rows"), py::arg("columns"), py::arg("path"));
}
