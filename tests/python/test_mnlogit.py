"""The multinomial logit against statsmodels' MNLogit on anes96 (party identification by five
covariates, the first category the reference; reference values from
tests/reference/python_statsmodels.py). Both maximise the same likelihood to convergence; 1e-8 on the
log-likelihood and the probabilities, 1e-6 on estimates and standard errors, which the convergence
criteria of the two optimisers leave less exact."""

import numpy as np
import pandas as pd
import pytest

import qxregres600r as qx


@pytest.fixture
def anes96(data_path):
    df = pd.read_csv(data_path("anes96.csv"), float_precision="round_trip")
    return df.assign(PID=df["PID"].astype(int))


def test_party_identification_matches_statsmodels(anes96, reference):
    case = reference["anes96_mnlogit"]
    fit = qx.mnlogit(case["formula"], anes96, reference=case["reference"])
    assert fit.converged and fit.reference == "0"
    np.testing.assert_allclose(fit.llf, case["llf"], rtol=1e-10)
    # statsmodels iterates for its llnull and stops 4e-10 short; the intercept-only likelihood has a
    # closed form, sum of n_k log(n_k / n).
    counts = anes96["PID"].value_counts().to_numpy()
    np.testing.assert_allclose(fit.llnull, np.sum(counts * np.log(counts / counts.sum())), rtol=1e-12)

    probabilities = fit.predict(anes96.iloc[case["rows"]])
    for k, expected in enumerate(case["probabilities"]):
        np.testing.assert_allclose(probabilities["prob_%d" % k], expected, rtol=1e-8)

    params = fit.params
    labels = ["Intercept" if name == "const" else name for name in case["param_names"]]
    for category, estimates in case["params"].items():
        block = params[params["category"] == category].loc[labels]
        np.testing.assert_allclose(block["estimate"], estimates, rtol=1e-6)
        np.testing.assert_allclose(block["std_error"], case["bse"][category], rtol=1e-6)


def test_frame_and_csv_path_agree_and_bad_reference_is_refused(anes96, data_path, tmp_path):
    path = tmp_path / "anes96.csv"
    anes96.to_csv(path, index=False)
    formula = "PID ~ logpopul + selfLR"
    assert qx.mnlogit(formula, anes96).to_dict() == qx.mnlogit(formula, str(path)).to_dict()
    with pytest.raises(ValueError) as raised:
        qx.mnlogit(formula, anes96, reference="9")
    assert "9" in str(raised.value)


def test_a_tabulated_fit_is_the_streamed_one(anes96, reference):
    case = reference["anes96_mnlogit"]
    streamed = qx.mnlogit(case["formula"], anes96, reference=case["reference"])
    tabulated = qx.mnlogit(case["formula"], anes96, reference=case["reference"], tabulate=True)
    # The same maximum, reached with the sums taken in another order.
    np.testing.assert_allclose(tabulated.llf, case["llf"], rtol=1e-10)
    np.testing.assert_allclose(tabulated.params["estimate"], streamed.params["estimate"], rtol=1e-9, atol=1e-12)
    np.testing.assert_allclose(tabulated.params["std_error"], streamed.params["std_error"], rtol=1e-9)
    assert tabulated.to_dict()["logistic"]["classification"] == streamed.to_dict()["logistic"]["classification"]
