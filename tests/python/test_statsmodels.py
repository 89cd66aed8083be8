"""The package against statsmodels on the datasets statsmodels ships (reference values made by
tests/reference/python_statsmodels.py). Factor codings differ between the two libraries, so the
comparison is on what does not depend on them: fitted values and their intervals, fit statistics, the
overall and sequential F tests, and the slopes of covariates. Both solve the same least-squares
problems in double precision; 1e-8 leaves room for the conditioning of these designs."""

import numpy as np
import pandas as pd
import pytest

import qxregres600r as qx

RTOL = 1e-8


def close(actual, expected, rtol=RTOL):
    np.testing.assert_allclose(np.asarray(actual, dtype=float), np.asarray(expected, dtype=float),
                               rtol=rtol, atol=0)


def frame(data_path, name):
    return pd.read_csv(data_path(name + ".csv"), float_precision="round_trip")


def fit_case(data_path, case_name, case):
    dataset = case_name.split("_")[0]
    df = frame(data_path, dataset)
    weights = freq = None
    if case.get("weights") == "1/capital":
        weights = 1.0 / df["capital"].to_numpy()
    if case.get("weights") == "NABOVE+NBELOW":
        df["share"] = df["NABOVE"] / (df["NABOVE"] + df["NBELOW"])
        weights = (df["NABOVE"] + df["NBELOW"]).to_numpy()
    if case.get("freq_weights") == "children+1":
        freq = (df["children"] + 1).to_numpy()
    return df, qx.ols(case["formula"], df, freq_weights=freq, weights=weights)


@pytest.mark.parametrize("name", ["fair_ols", "fair_interaction", "grunfeld_wls", "star98_wls"])
def test_linear_fit_matches_statsmodels(name, data_path, reference):
    case = reference[name]
    df, fit = fit_case(data_path, name, case)
    close(fit.rsquared, case["r_squared"])
    close(fit.scale, case["scale"])
    assert fit.df_resid == case["df_resid"]
    overall = fit.corrected_model
    close(overall["statistic"], case["f_value"])
    close(overall["p"], case["f_pvalue"])

    predicted = fit.predict(df.iloc[case["rows"]])
    for column in ("predicted", "se_fit", "conf_lower", "conf_upper"):
        close(predicted[column], case[column])
    if "weights" not in case:
        # statsmodels' observation interval of a weighted fit uses the rows' own weights; ours is that of
        # a new record of weight 1, so only the unweighted intervals are comparable.
        close(predicted["pred_lower"], case["pred_lower"])
        close(predicted["pred_upper"], case["pred_upper"])

    params = fit.params
    for label, expected in case["slopes"].items():
        row = params.loc[label]
        for column in ("estimate", "std_error", "statistic", "p_value", "lower", "upper"):
            close(row[column], expected[column])


@pytest.mark.parametrize("name,ours", [("fair_ols", 1), ("fair_interaction", 1), ("fair_ols", 3)])
def test_effect_tests_match_anova_lm(name, ours, data_path, reference):
    # Type I against anova_lm's sequential table; Type III of an additive model against its Type II,
    # which then tests the same hypotheses.
    case = reference[name]
    expected = case["type1" if ours == 1 else "type3"]
    _, fit = fit_case(data_path, name, case)
    table = fit.effect_tests(type=ours)
    for effect, row in expected.items():
        if effect == "Error":
            error = fit.to_dict()["effect_tests"]["error"]
            assert error["df"] == row["df"]
            close(error["sum_sq"], row["sum_sq"])
            continue
        assert table.loc[effect, "df"] == row["df"]
        close(table.loc[effect, "sum_sq"], row["sum_sq"])
        close(table.loc[effect, "statistic"], row["F"])
        close(table.loc[effect, "p"], row["p"])


def test_frequency_weights_match_glm(data_path, reference):
    case = reference["fair_freq"]
    df, fit = fit_case(data_path, "fair_freq", case)
    close(fit.scale, case["scale"])
    assert fit.df_resid == case["df_resid"]
    close(fit.predict(df.iloc[case["rows"]])["predicted"], case["predicted"])
    for label, expected in case["slopes"].items():
        close(fit.params.loc[label, "estimate"], expected["estimate"])
        close(fit.params.loc[label, "std_error"], expected["std_error"])
