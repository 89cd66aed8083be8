"""Regression models from pandas DataFrames or CSV files, fitted by the qxregres600r library.

    import qxregres600r as qx
    fit = qx.ols("breaks ~ wool*tension", df)
    fit.params                 # estimates with their tests, labelled as the library labels them
    fit.effect_tests(type=3)   # tests of model effects
    print(fit.summary())       # the report qxfit prints

A DataFrame's columns reach the library as NumPy buffers, read in place: numeric columns as float64
(NaN is missing), categorical and text columns as category codes (pandas' missing values are missing).
A path to a CSV file is streamed by the library and never loaded.
"""

import json
import os
import tempfile

import numpy as np
import pandas as pd

from . import _core

__all__ = ["ols", "mnlogit", "OLSResults", "MNLogitResults", "Emmeans"]

_PARAMETER_COLUMNS = {
    "estimate": "estimate",
    "std_error": "std_error",
    "statistic": "statistic",
    "df": "df",
    "p": "p_value",
    "lower": "lower",
    "upper": "upper",
    "redundant": "redundant",
}
_EFFECT_COLUMNS = ["df", "df_error", "sum_sq", "mean_sq", "statistic", "p", "status"]


def _numeric(values):
    array = np.asarray(values)
    if array.dtype == np.float64:
        return array
    if array.dtype.kind in "biuf":
        return array.astype(np.float64)
    return None


def _categorical(series):
    try:
        categorical = pd.Categorical(series)
    except TypeError:
        # Values of several types (numbers among texts) cannot be sorted together: as texts they can.
        categorical = pd.Categorical(series.map(lambda v: v if pd.isna(v) else str(v)))
    # The codes as pandas keeps them (8, 16 or 32 bits), read in place by the library.
    codes = np.asarray(categorical.codes)
    return codes, [str(c) for c in categorical.categories]


def _column(name, series):
    """One column as the compiled module takes it, or None for a type no model can use."""
    dtype = series.dtype
    if isinstance(dtype, pd.CategoricalDtype):
        # The frame's own codes, read in place (pd.Categorical(series) would copy them).
        categorical = series.array
        return (name, np.asarray(categorical.codes), [str(c) for c in categorical.categories])
    if dtype == np.float64:
        # The frame's own buffer, read in place.
        return (name, series.to_numpy(copy=False))
    if pd.api.types.is_bool_dtype(dtype) or pd.api.types.is_numeric_dtype(dtype):
        if pd.api.types.is_complex_dtype(dtype):
            return None
        # Other numbers are converted; nullable columns' pd.NA becomes NaN, a missing value.
        values = series.to_numpy(dtype=np.float64, na_value=np.nan)
        return (name, values)
    if pd.api.types.is_object_dtype(dtype) or pd.api.types.is_string_dtype(dtype):
        codes, categories = _categorical(series)
        return (name, codes, categories)
    return None


# Stands in for a column the model cannot name: every row reads it (a step of 0) as missing, and the
# library sees the name, for `.` and for the close matches of a misspelt one.
_UNUSED = np.array([np.nan])


def _columns(frame, formula, extra, names=None):
    """The frame's columns for the library, with the caller's weight arrays under their own names.
    With `names` (the model's column names other than the formula's), a column whose name appears in
    neither is not converted: a text column would otherwise be coded for nothing."""
    if not isinstance(frame, pd.DataFrame):
        raise TypeError("data must be a pandas DataFrame or the path of a CSV file, not %s" % type(frame).__name__)
    if frame.columns.duplicated().any():
        raise ValueError("two columns are named '%s'" % frame.columns[frame.columns.duplicated()][0])
    every = names is None or "." in formula.split("~", 1)[-1]
    columns = []
    for name in frame.columns:
        if not isinstance(name, str):
            raise TypeError("column names must be texts; %r is not" % (name,))
        if not every and name not in formula and name not in names:
            columns.append((name, np.lib.stride_tricks.as_strided(_UNUSED, (len(frame),), (0,), writeable=False)))
            continue
        column = _column(name, frame[name])
        if column is None:
            # Another type is only an error where the model needs the column.
            if name in formula or "." in formula.split("~", 1)[-1]:
                raise TypeError("column '%s' has type %s, which a model cannot use" % (name, frame[name].dtype))
            continue
        columns.append(column)
    for name, values in extra:
        array = _numeric(values)
        if array is None or array.ndim != 1 or array.shape[0] != len(frame):
            raise ValueError("%s must be numbers, one per row of the data (%d)" % (name, len(frame)))
        columns.append((name, array))
    return columns


def _weight(argument, keyword, extra):
    """A weight given as a column name, or as values that join the data under the keyword's name."""
    if argument is None:
        return ""
    if isinstance(argument, str):
        return argument
    name = "(%s)" % keyword
    extra.append((name, argument))
    return name


def _nullable(value):
    return np.nan if value is None else value


class _Results:
    """What every fitted model gives: its tables, report, JSON document, predictions and PMML."""

    def __init__(self, fit):
        self._fit = fit
        self._doc = json.loads(fit.json())

    def _parameter_frame(self, extra=()):
        rows = self._doc["parameters"]
        columns = dict(_PARAMETER_COLUMNS)
        columns.update({key: key for key in extra})
        frame = pd.DataFrame(
            {out: [_nullable(p.get(key)) for p in rows] for key, out in columns.items()},
            index=pd.Index([p["label"] for p in rows], name="parameter"),
        )
        frame["redundant"] = frame["redundant"].astype(bool)
        return frame

    def effect_tests(self, type=3):
        """The tests of model effects (Type I or III), with the corrected model and error rows' sums."""
        key = {1: "type1", 3: "type3"}.get(type)
        if key is None:
            raise ValueError("type must be 1 or 3, not %r" % (type,))
        rows = self._doc["effect_tests"][key] or []
        return pd.DataFrame(
            {column: [_nullable(r.get(column)) for r in rows] for column in _EFFECT_COLUMNS},
            index=pd.Index([r["effect"] for r in rows], name="effect"),
        )

    @property
    def notes(self):
        """What the fit noticed that a user should know (columns read as texts, rows left out)."""
        return list(self._fit.notes())

    def summary(self):
        """The report qxfit prints for this model."""
        return self._fit.report()

    def to_dict(self):
        """qxfit's JSON document of the fit."""
        return json.loads(self._fit.json())

    def emmeans(self, spec, contrast=None, adjust=None, scale=None, at=None):
        """Estimated marginal means with their comparisons, as qxfit's --emmeans (and R's emmeans).

        spec: "A" (A's levels, compared pairwise), "A*B" (the cells), "A | B" (A's levels within each
        level of B); a list for several. contrast: "pairwise" (default), "simple[:LEVEL]", "deviation",
        "helmert", "difference", "repeated", "poly". adjust: "none" (the default; qxfit's "lsd"),
        "bonferroni", "sidak", "holm" (qxfit's "seq-bonferroni") or "seq-sidak". scale (a multinomial
        model): "link" (the default, the log-odds of each category against the reference) or
        "response". at: {covariate: value} (default: the covariates' means).
        Returns an Emmeans with .means, .contrasts and .tests DataFrames (one request) or a list of them;
        a multinomial model's tables hold every non-reference category, named in a first column
        `category`.
        """
        specs = [spec] if isinstance(spec, str) else list(spec)
        # The names R's emmeans uses, beside qxfit's own.
        adjust = {"none": "lsd", "holm": "seq-bonferroni"}.get(adjust, adjust)
        at_texts = ["%s=%r" % (name, float(value)) for name, value in (at or {}).items()]
        items = json.loads(self._fit.emmeans(specs, contrast or "", adjust or "", scale or "", at_texts))
        # A multinomial model gives every request for its first category, then for the next, and so on.
        results = [Emmeans(items[r::len(specs)]) for r in range(len(specs))]
        return results[0] if isinstance(spec, str) else results

    def _predict(self, new_data, dtype):
        columns = _columns(new_data, "", [])
        # The library writes qxfit's prediction file; reading it back keeps one implementation of both.
        handle, path = tempfile.mkstemp(suffix=".csv", prefix="qxpredict")
        os.close(handle)
        try:
            self._fit.predict_columns(len(new_data), columns, path)
            frame = pd.read_csv(path, dtype=dtype, float_precision="round_trip", keep_default_na=False,
                                na_values=[""])
        finally:
            os.remove(path)
        frame.index = new_data.index
        return frame

    def to_pmml(self, path=None):
        """The model as a PMML 4.4 document: written to `path` when given, returned as text otherwise."""
        if path is not None:
            self._fit.write_pmml(os.fspath(path))
            return None
        handle, temporary = tempfile.mkstemp(suffix=".pmml", prefix="qxmodel")
        os.close(handle)
        try:
            self._fit.write_pmml(temporary)
            with open(temporary, encoding="utf-8") as f:
                return f.read()
        finally:
            os.remove(temporary)


class OLSResults(_Results):
    """A fitted general linear model: the library's report, tables and exports."""

    @property
    def params(self):
        """Estimates with their tests, one row per parameter, indexed by the library's labels."""
        return self._parameter_frame()

    @property
    def rsquared(self):
        return _nullable(self._doc["fit"]["r_squared"])

    @property
    def rsquared_adj(self):
        return _nullable(self._doc["fit"]["adj_r_squared"])

    @property
    def sigma(self):
        """The residual standard error, sqrt(RSS / df_error)."""
        return _nullable(self._doc["fit"]["sigma"])

    @property
    def scale(self):
        """The residual variance, sigma squared, as statsmodels' scale."""
        sigma = self.sigma
        return sigma * sigma

    @property
    def df_resid(self):
        return _nullable(self._doc["fit"]["df_error"])

    @property
    def corrected_model(self):
        """The test of the corrected model (the overall F test), as a dict, or None."""
        return self._doc["effect_tests"]["corrected_model"]

    def predict(self, new_data):
        """Predictions for the rows of a DataFrame, indexed like it: the prediction, its standard error,
        and the confidence and prediction bounds at the fit's confidence level (those of a new record of
        weight 1); NaN where a row cannot be scored (a missing value, or a level the fit has not seen)."""
        return self._predict(new_data, np.float64)


def _levels_frame(rows, key, columns):
    """One row per entry of `rows`, its level texts as columns, then `columns`."""
    records = []
    for row in rows:
        record = {name: level for name, level in (row.get(key) or {}).items()}
        for column in columns:
            record[column] = _nullable(row.get(column))
        records.append(record)
    return pd.DataFrame.from_records(records)


class Emmeans:
    """The marginal means of one request: the means, their comparisons and the overall tests. For a
    multinomial model, those of each non-reference category's log-odds against the reference (or, on
    the response scale, its probability against the reference's), the category in a first column."""

    def __init__(self, docs):
        self._docs = list(docs)
        first = self._docs[0]
        self.spec = first["spec"]
        self.contrast = first["contrast"]
        self.adjust = first["adjust"]
        self.at = first["at"]
        self.scale = first.get("scale")
        self.reference = first.get("reference")
        multinomial = first.get("category") is not None
        self.categories = [doc["category"] for doc in self._docs] if multinomial else None
        self.notes = []
        for doc in self._docs:
            self.notes.extend(note for note in doc.get("notes", []) if note not in self.notes)

    def _frame(self, key, by, columns):
        if self.categories is None:
            return _levels_frame(self._docs[0][key], by, columns)
        frames = []
        for doc in self._docs:
            frame = _levels_frame(doc[key], by, columns)
            frame.insert(0, "category", pd.Series([doc["category"]] * len(frame), dtype=object))
            frames.append(frame)
        return pd.concat(frames, ignore_index=True)

    @property
    def means(self):
        return self._frame("means", "levels", ["mean", "std_error", "df", "lower", "upper"])

    @property
    def contrasts(self):
        return self._frame("comparisons", "by",
                           ["contrast", "estimate", "std_error", "statistic", "df", "p", "lower", "upper"])

    @property
    def tests(self):
        return self._frame("overall", "by", ["df", "df_error", "statistic", "p"])

    def to_dict(self):
        """qxfit's JSON entry of the request; for a multinomial model the list of its entries, one per
        non-reference category."""
        docs = json.loads(json.dumps(self._docs))
        return docs if self.categories is not None else docs[0]


def ols(formula, data, freq_weights=None, weights=None, *, factors=(), references=None, test="F",
        confidence=0.95, tolerance=1e-12):
    """Fits a general linear model by least squares, as statsmodels' ols and wls.

    formula: R's notation ("y ~ A*B + x", factor(x), log(x), "y ~ .").
    data: a DataFrame, or the path of a CSV file (streamed, never loaded).
    freq_weights: frequency weights (case counts), a column name or one number per row.
    weights: regression weights (WLS, inverse variances), a column name or one number per row.
    factors: numeric columns to treat as factors. references: {factor: level} baselines.
    test: "F" (t and F tests) or "chisq" (Wald chi-square). confidence: of the bounds.
    """
    extra = []
    freq = _weight(freq_weights, "freq_weights", extra)
    regr = _weight(weights, "weights", extra)
    refs = [(str(k), str(v)) for k, v in (references or {}).items()]
    options = _core.make_options(formula, list(factors), freq, regr, refs, test, confidence, tolerance)
    if isinstance(data, (str, os.PathLike)):
        if extra:
            raise TypeError("with a CSV file, weights are given by column name")
        fit = OLSResults(_core.Fit.from_file(os.fspath(data), options))
    else:
        columns = _columns(data, formula, extra, (freq, regr) + tuple(factors))
        fit = OLSResults(_core.Fit.from_columns(len(data), columns, options))
    if "logistic" in fit._doc:
        raise ValueError("the response '%s' is categorical: a linear model needs numbers (qx.mnlogit fits a "
                         "categorical response)" % fit._doc["logistic"]["response"])
    return fit


class MNLogitResults(_Results):
    """A fitted multinomial logistic regression (baseline-category logits): estimates by response
    category against the reference category, Wald tests, log-likelihoods, pseudo R-squares and the
    classification table, as qxfit --logistic reports them."""

    @property
    def params(self):
        """Estimates with their Wald chi-square tests and odds ratios (exp_b with its bounds), one row per
        parameter of each non-reference category; `category` says which."""
        frame = self._parameter_frame(extra=("exp_b", "exp_lower", "exp_upper"))
        frame.insert(0, "category", [p.get("category") for p in self._doc["parameters"]])
        return frame

    @property
    def categories(self):
        """The response's categories in the library's order, the reference last."""
        return list(self._doc["logistic"]["categories"])

    @property
    def reference(self):
        return self._doc["logistic"]["reference"]

    @property
    def llf(self):
        """The log-likelihood of the fitted model."""
        return -0.5 * _nullable(self._doc["logistic"]["minus2_log_likelihood"]["final"])

    @property
    def llnull(self):
        """The log-likelihood of the baseline model (intercept only, as statsmodels' llnull)."""
        return -0.5 * _nullable(self._doc["logistic"]["minus2_log_likelihood"]["intercept_only"])

    @property
    def prsquared(self):
        """McFadden's pseudo R-square, as statsmodels' prsquared."""
        return _nullable(self._doc["logistic"]["pseudo_r_squared"]["mcfadden"])

    @property
    def converged(self):
        return bool(self._doc["logistic"]["convergence"]["converged"])

    def predict(self, new_data):
        """For the rows of a DataFrame, indexed like it: the predicted category and the probability of
        every category (prob_LEVEL); NaN where a row cannot be scored."""
        frame = self._predict(new_data, None)
        for column in frame.columns:
            if column != "predicted":
                frame[column] = frame[column].astype(np.float64)
        return frame


def mnlogit(formula, data, reference=None, *, freq_weights=None, factors=(), references=None, confidence=0.95,
            tolerance=1e-12, tabulate=False):
    """Fits a multinomial logistic regression of a categorical response, as statsmodels' MNLogit.

    formula and data as for ols. reference: the response category the others are compared with (the
    last level unless given). freq_weights: frequency weights, a column name or one number per row.
    factors, references: as for ols (references for the factors of the model).
    tabulate: keep the model's variables of every usable row in memory, grouped by the cells of the
    factors, and iterate over those instead of reading the data again in every iteration: several
    times faster on large data, with memory that grows with the rows (by about 70 bytes a row for
    two factors and two covariates). By default every iteration reads the data again, and memory
    stays bounded.
    """
    extra = []
    freq = _weight(freq_weights, "freq_weights", extra)
    refs = [(str(k), str(v)) for k, v in (references or {}).items()]
    if reference is not None:
        refs.append((formula.split("~", 1)[0].strip(), str(reference)))
    options = _core.make_options(formula, list(factors), freq, "", refs, "chisq", confidence, tolerance, True,
                                 bool(tabulate))
    if isinstance(data, (str, os.PathLike)):
        if extra:
            raise TypeError("with a CSV file, weights are given by column name")
        return MNLogitResults(_core.Fit.from_file(os.fspath(data), options))
    columns = _columns(data, formula, extra, (freq,) + tuple(factors))
    return MNLogitResults(_core.Fit.from_columns(len(data), columns, options))
