"""How the package takes data and reports failures: pandas types and missing values, files streamed
by path, and bad input that must raise a Python exception with the library's message, never crash."""

import json
import os
import subprocess
import xml.etree.ElementTree as ET

import numpy as np
import pandas as pd
import pytest

import qxregres600r as qx


@pytest.fixture
def warpbreaks(data_path):
    return pd.read_csv(data_path("warpbreaks.csv"))


def test_same_numbers_from_a_frame_a_csv_path_and_qxfit(warpbreaks, data_path):
    formula = "breaks ~ wool*tension"
    from_frame = qx.ols(formula, warpbreaks)
    from_path = qx.ols(formula, data_path("warpbreaks.csv"))
    assert from_frame.to_dict() == from_path.to_dict()
    assert from_frame.summary() == from_path.summary()
    qxfit = os.environ.get("QXFIT_EXECUTABLE")
    if not qxfit:
        pytest.skip("QXFIT_EXECUTABLE is not set (CTest sets it)")
    run = lambda *extra: subprocess.run([qxfit, "--quiet", "--type", "both", *extra, data_path("warpbreaks.csv"),
                                         formula], check=True, capture_output=True, text=True).stdout
    assert json.loads(run("--json")) == from_frame.to_dict()
    assert run() == from_frame.summary()


def test_categoricals_text_and_numbers_become_the_same_factor(warpbreaks):
    as_text = qx.ols("breaks ~ wool + tension", warpbreaks)
    categorical = warpbreaks.assign(wool=warpbreaks["wool"].astype("category"),
                                    tension=pd.Categorical(warpbreaks["tension"], categories=["M", "H", "L", "X"]))
    # Category order and unused categories do not change the levels: they are the values present, sorted.
    assert qx.ols("breaks ~ wool + tension", categorical).to_dict() == as_text.to_dict()
    params = as_text.params
    assert list(params.index) == ["Intercept", "[wool=A]", "[wool=B]", "[tension=H]", "[tension=L]", "[tension=M]"]
    assert params["redundant"].tolist() == [False, False, True, False, False, True]
    assert np.isnan(params.loc["[wool=B]", "std_error"])


def test_missing_values_as_pandas_has_them_leave_rows_out(warpbreaks):
    df = warpbreaks.copy()
    df["wool"] = df["wool"].astype(object)
    df.loc[0, "wool"] = None                  # missing text
    df.loc[1, "breaks"] = np.nan              # missing number
    df["tension"] = df["tension"].astype("category")
    df.loc[2, "tension"] = np.nan             # NaN in a categorical
    df["count"] = pd.array(range(len(df)), dtype="Int64")
    df.loc[3, "count"] = pd.NA                # nullable integer
    fit = qx.ols("breaks ~ wool + tension + count", df)
    records = fit.to_dict()["records"]
    assert records["read"] == 54 and records["used"] == 50 and records["left_out"]["missing"] == 4


def test_a_column_of_numbers_and_texts_is_a_factor_of_texts(warpbreaks):
    df = warpbreaks.assign(mixed=[1, "a"] * 27)
    assert list(qx.ols("breaks ~ mixed", df).params.index) == ["Intercept", "[mixed=1]", "[mixed=a]"]


def test_infinity_is_left_out_with_a_note(warpbreaks):
    df = warpbreaks.assign(x=np.arange(54.0))
    df.loc[5, "x"] = np.inf
    fit = qx.ols("breaks ~ x", df)
    assert fit.to_dict()["records"]["left_out"]["not_finite"] == 1
    assert any("not finite" in note for note in fit.notes)


def test_columns_are_read_where_they_are(warpbreaks):
    # A column of a two-dimensional array (strided) and a reversed view read as contiguous copies do.
    rng = np.random.default_rng(5)
    block = rng.normal(size=(54, 3))
    strided = pd.DataFrame({"y": block[:, 0], "x": block[:, 1], "z": block[::-1, 2]}, copy=False)
    copied = pd.DataFrame({"y": block[:, 0].copy(), "x": block[:, 1].copy(), "z": block[::-1, 2].copy()})
    assert qx.ols("y ~ x + z", strided).to_dict() == qx.ols("y ~ x + z", copied).to_dict()


def test_columns_that_cannot_be_read_in_place_are_copied(warpbreaks):
    # A field of a structured array steps 12 bytes; a buffer one byte into an allocation is misaligned.
    records = np.zeros(54, dtype=[("y", "f8"), ("code", "i4")])
    records["y"] = warpbreaks["breaks"]
    raw = np.zeros(54 * 8 + 1, dtype=np.uint8)
    x = np.ndarray(54, dtype=np.float64, buffer=raw, offset=1)
    x[:] = np.arange(54.0)
    expected = qx.ols("y ~ x", pd.DataFrame({"y": warpbreaks["breaks"].astype(float), "x": np.arange(54.0)}))
    columns = [("y", records["y"]), ("x", x)]
    fit = qx.OLSResults(qx._core.Fit.from_columns(54, columns, qx._core.make_options(
        "y ~ x", [], "", "", [], "F", 0.95, 1e-12)))
    assert fit.to_dict() == expected.to_dict()


def test_weights_by_name_or_by_values(warpbreaks):
    df = warpbreaks.assign(w=np.linspace(0.5, 2.0, 54))
    by_name = qx.ols("breaks ~ wool", df, weights="w").to_dict()
    by_values = qx.ols("breaks ~ wool", df, weights=df["w"].to_numpy()).to_dict()
    assert by_name["parameters"] == by_values["parameters"]


def test_columns_the_model_does_not_name_are_not_read(warpbreaks):
    # A text column, one of a type no model can use, a frequency weight named only by keyword and a
    # numeric column made a factor by keyword: the fits are those without the extra columns.
    df = warpbreaks.assign(note=["n%d" % (k % 7) for k in range(54)], z=1j, f=2.0, band=np.arange(54) % 3)
    expected = qx.ols("breaks ~ wool", warpbreaks.assign(f=2.0), freq_weights="f").to_dict()
    assert qx.ols("breaks ~ wool", df, freq_weights="f").to_dict() == expected
    assert "[band=0]" in qx.ols("breaks ~ wool + band", df, factors=["band"]).params.index
    with pytest.raises(ValueError) as raised:
        qx.ols("breaks ~ nte", df)
    assert "did you mean 'note'" in str(raised.value)


@pytest.mark.parametrize("call,error,text", [
    (lambda df: qx.ols("breaks ~ Wool", df), ValueError, "unknown column 'Wool' (did you mean 'wool'?)"),
    (lambda df: qx.ols("breaks ~ (wool", df), ValueError, "bad formula"),
    (lambda df: qx.ols("wool ~ tension", df), ValueError, "wool"),
    (lambda df: qx.ols("breaks ~ wool", df.iloc[0:0]), RuntimeError, "the model cannot be fitted"),
    (lambda df: qx.ols("breaks ~ wool", [1, 2, 3]), TypeError, "DataFrame"),
    (lambda df: qx.ols("breaks ~ wool", df, weights=[1.0, 2.0]), ValueError, "one per row"),
    (lambda df: qx.ols("breaks ~ when", df.assign(when=pd.Timestamp("2020-01-01"))), TypeError, "datetime64"),
    (lambda df: qx.ols("breaks ~ wool", df, test="z"), ValueError, "test must be"),
    (lambda df: qx.ols("breaks ~ wool", pd.concat([df, df["wool"]], axis=1)), ValueError, "two columns are named 'wool'"),
    (lambda df: qx.ols("breaks ~ wool", df, weights="nothing"), ValueError, "unknown column 'nothing'"),
    (lambda df: qx.ols("breaks ~ wool", "/nonexistent/file.csv"), RuntimeError, "/nonexistent/file.csv"),
    (lambda df: qx.ols("breaks ~ wool", df).effect_tests(type=2), ValueError, "type must be 1 or 3"),
    (lambda df: qx.ols("breaks ~ wool", df).predict(df[["breaks"]]), RuntimeError, "needs column 'wool'"),
])
def test_bad_input_raises_with_the_library_message(warpbreaks, call, error, text):
    with pytest.raises(error) as raised:
        call(warpbreaks)
    assert text in str(raised.value)


def test_predictions_keep_the_rows_and_mark_unscorable_ones(warpbreaks):
    fit = qx.ols("breaks ~ wool + tension", warpbreaks)
    new = pd.DataFrame({"wool": ["A", "B", "C"], "tension": ["L", "H", "M"]}, index=[10, 20, 30])
    predicted = fit.predict(new)
    assert list(predicted.index) == [10, 20, 30]
    assert list(predicted.columns) == ["predicted", "se_fit", "conf_lower", "conf_upper", "pred_lower", "pred_upper"]
    assert predicted.iloc[:2].notna().all().all() and predicted.iloc[2].isna().all()


def test_pmml_is_a_general_regression_model(warpbreaks, tmp_path):
    fit = qx.ols("breaks ~ wool*tension", warpbreaks)
    path = tmp_path / "warpbreaks.pmml"
    fit.to_pmml(path)
    root = ET.parse(path).getroot()
    namespace = {"p": root.tag.split("}")[0].strip("{")}
    model = root.find("p:GeneralRegressionModel", namespace)
    assert model is not None and model.get("modelType") == "generalLinear"
    fields = [f.get("name") for f in root.find("p:DataDictionary", namespace)]
    assert fields == ["breaks", "wool", "tension"]
