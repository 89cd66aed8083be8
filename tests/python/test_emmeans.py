"""Marginal means from Python: R's emmeans on warpbreaks (tests/reference/python_emmeans.R), the same
document as qxfit --emmeans, and requests that do not fit the model refused with the tool's message."""

import json
import os
import subprocess

import numpy as np
import pandas as pd
import pytest

import qxregres600r as qx

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))


@pytest.fixture
def fit(data_path):
    return qx.ols("breaks ~ wool*tension", pd.read_csv(data_path("warpbreaks.csv")))


def test_tensions_within_wools_match_emmeans(fit):
    with open(os.path.join(ROOT, "tests", "reference", "python_emmeans.json")) as f:
        expected = json.load(f)
    means = fit.emmeans("tension | wool", adjust="holm")
    ours = means.means.set_index(["wool", "tension"])
    for row in expected["means"]:
        got = ours.loc[(row["wool"], row["tension"])]
        for column in ("mean", "std_error", "df", "lower", "upper"):
            np.testing.assert_allclose(got[column], row[column], rtol=1e-12)
    contrasts = means.contrasts.set_index(["wool", "contrast"])
    for row in expected["contrasts"]:
        got = contrasts.loc[(row["wool"], row["contrast"])]
        for column in ("estimate", "std_error", "statistic", "p"):
            np.testing.assert_allclose(got[column], row[column], rtol=1e-12)


def test_the_same_means_as_qxfit(fit, data_path):
    qxfit = os.environ.get("QXFIT_EXECUTABLE")
    if not qxfit:
        pytest.skip("QXFIT_EXECUTABLE is not set (CTest sets it)")
    run = subprocess.run([qxfit, "--quiet", "--json", "--emmeans", "tension | wool", "--emmeans", "wool",
                          "--contrast", "helmert", "--adjust", "bonferroni", data_path("warpbreaks.csv"),
                          "breaks ~ wool*tension"], check=True, capture_output=True, text=True)
    tool = json.loads(run.stdout)["emmeans"]
    ours = fit.emmeans(["tension | wool", "wool"], contrast="helmert", adjust="bonferroni")
    assert [m.to_dict() for m in ours] == tool


@pytest.mark.parametrize("spec,options,text", [
    ("Tension", {}, "Tension"),
    ("tension", {"contrast": "sideways"}, "sideways"),
    ("tension", {"scale": "response"}, "scale"),
])
def test_requests_that_do_not_fit_the_model_are_refused(fit, spec, options, text):
    with pytest.raises(ValueError) as raised:
        fit.emmeans(spec, **options)
    assert text in str(raised.value)
