"""Marginal means of a multinomial logit from Python: MASS's housing (satisfaction by influence, type
and contact, with frequency weights) against R's emmeans on nnet::multinom (the reference values of
qxfit's own test, tests/reference/emmeans_qxfit_logistic.R), the same entries as qxfit --emmeans on
both scales, and one table for every category."""

import json
import os
import subprocess

import numpy as np
import pandas as pd
import pytest

import qxregres600r as qx

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))


@pytest.fixture(scope="module")
def expected():
    with open(os.path.join(ROOT, "tests", "reference", "emmeans_qxfit_logistic.json")) as f:
        return json.load(f)["multinomial"]


@pytest.fixture
def fit(data_path):
    return qx.mnlogit("Sat ~ Infl + Type + Cont", pd.read_csv(data_path("housing.csv")), reference="Medium",
                      freq_weights="Freq")


def test_log_odds_of_each_category_match_emmeans(fit, expected):
    means = fit.emmeans(expected["spec"])
    assert means.reference == "Medium" and means.scale == "link"
    assert means.categories == [block["category"] for block in expected["blocks"]]
    levels = expected["factors"][0]["levels"]
    table = means.means.set_index(["category", "Infl"])
    contrasts = means.contrasts.set_index(["category", "contrast"])
    assert len(table) == 6 and len(contrasts) == 6
    for block in expected["blocks"]:
        category = block["category"]
        for row in block["means"]:
            got = table.loc[(category, levels[row["levels"]["Infl"]])]
            np.testing.assert_allclose(got[["mean", "std_error", "lower", "upper"]].to_numpy(dtype=float),
                                       [row["mean"], row["se"], row["lower"], row["upper"]], rtol=1e-10)
            assert np.isnan(got["df"])  # z tests
        for row in block["pairs"]:
            got = contrasts.loc[(category, row["contrast"])]
            np.testing.assert_allclose(got[["estimate", "std_error", "lower", "upper"]].to_numpy(dtype=float),
                                       [row["estimate"], row["se"], row["lower"], row["upper"]], rtol=1e-10)
            # The library's test is the Wald chi-square, z squared.
            np.testing.assert_allclose(got["statistic"], row["stat"] ** 2, rtol=1e-10)
            np.testing.assert_allclose(got["p"], row["p"], rtol=1e-8)
    tests = means.tests
    assert list(tests["category"]) == ["High", "Low"] and (tests["df"] == 2).all()


@pytest.mark.parametrize("scale", ["link", "response"])
def test_the_same_entries_as_qxfit(fit, data_path, scale):
    qxfit = os.environ.get("QXFIT_EXECUTABLE")
    if not qxfit:
        pytest.skip("QXFIT_EXECUTABLE is not set (CTest sets it)")
    run = subprocess.run([qxfit, "--quiet", "--json", "--logistic", "--freq-weight", "Freq", "--reference",
                          "Sat=Medium", "--emmeans", "Infl", "--emmeans", "Type | Cont", "--contrast", "helmert",
                          "--adjust", "sidak", "--scale", scale, data_path("housing.csv"),
                          "Sat ~ Infl + Type + Cont"], check=True, capture_output=True, text=True)
    tool = json.loads(run.stdout)["emmeans"]
    ours = fit.emmeans(["Infl", "Type | Cont"], contrast="helmert", adjust="sidak", scale=scale)
    # qxfit lists every request for the first category, then for the second.
    assert [entry for k in range(2) for m in ours for entry in m.to_dict()[k:k + 1]] == tool
    assert ours[1].means.columns[:3].tolist() == ["category", "Type", "Cont"]


def test_requests_that_do_not_fit_the_model_are_refused(fit):
    with pytest.raises(ValueError) as raised:
        fit.emmeans("Influence")
    assert "Influence" in str(raised.value)
    with pytest.raises(ValueError) as raised:
        fit.emmeans("Infl", scale="probability")
    assert "scale" in str(raised.value)
