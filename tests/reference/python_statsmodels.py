#!/usr/bin/python3
"""Reference values for the Python package's tests, from statsmodels on the datasets it ships.

Writes the datasets as CSV under data/ (so that the tests need neither statsmodels nor a network) and
python_statsmodels.json beside this script. Every model is fitted to the CSV as written, read back.
Run from the repository root: /usr/bin/python3 tests/reference/python_statsmodels.py
"""

import json
import os

import numpy as np
import pandas as pd
import scipy.stats
import statsmodels
import statsmodels.api as sm
import statsmodels.formula.api as smf
from statsmodels.stats.anova import anova_lm

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "..", "..", "data")


def write_dataset(name, frame):
    path = os.path.join(DATA, name + ".csv")
    frame.to_csv(path, index=False)
    return pd.read_csv(path, float_precision="round_trip")


def floats(values):
    return [None if not np.isfinite(v) else float(v) for v in np.asarray(values, dtype=float)]


def linear_case(result, frame, slopes, type1=None, type2=None):
    """What every linear case compares: fit statistics, the overall F test, fitted values with the
    standard error of the mean and both intervals, and the slopes, whose meaning does not depend on
    how factors are coded."""
    # About a hundred rows spread over the data: enough to catch a wrong row, small enough to commit.
    rows = list(range(0, len(frame), max(1, len(frame) // 100)))
    prediction = result.get_prediction(frame.iloc[rows]).summary_frame(alpha=0.05)
    case = {
        "rows": rows,
        "nobs": float(result.nobs),
        "r_squared": float(result.rsquared),
        "scale": float(result.scale),
        "df_resid": float(result.df_resid),
        "f_value": float(result.fvalue),
        "f_pvalue": float(result.f_pvalue),
        "predicted": floats(prediction["mean"]),
        "se_fit": floats(prediction["mean_se"]),
        "conf_lower": floats(prediction["mean_ci_lower"]),
        "conf_upper": floats(prediction["mean_ci_upper"]),
        "pred_lower": floats(prediction["obs_ci_lower"]),
        "pred_upper": floats(prediction["obs_ci_upper"]),
        "slopes": {},
    }
    ci = result.conf_int(0.05)
    for ours, theirs in slopes.items():
        case["slopes"][ours] = {
            "estimate": float(result.params[theirs]),
            "std_error": float(result.bse[theirs]),
            "statistic": float(result.tvalues[theirs]),
            "p_value": float(result.pvalues[theirs]),
            "lower": float(ci.loc[theirs, 0]),
            "upper": float(ci.loc[theirs, 1]),
        }
    for key, table in (("type1", type1), ("type3", type2)):
        if table is None:
            continue
        rows = {}
        for ours, theirs in table[1].items():
            row = table[0].loc[theirs]
            rows[ours] = {"df": float(row["df"]), "sum_sq": float(row["sum_sq"]), "F": float(row["F"]),
                          "p": float(row["PR(>F)"])}
        rows["Error"] = {"df": float(table[0].loc["Residual", "df"]),
                         "sum_sq": float(table[0].loc["Residual", "sum_sq"])}
        case[key] = rows
    return case


def main():
    fair = write_dataset("fair", sm.datasets.fair.load_pandas().data)
    grunfeld = write_dataset("grunfeld", sm.datasets.grunfeld.load_pandas().data)
    star98 = sm.datasets.star98.load_pandas().data
    star98 = write_dataset("star98", star98[["NABOVE", "NBELOW", "LOWINC", "PERASIAN", "PERBLACK", "PERHISP",
                                             "PCTCHRT", "PCTYRRND", "AVSALK"]])
    cases = {}

    # Additive: Type II (statsmodels) and Type III (the library) test the same hypotheses.
    additive = smf.ols("affairs ~ C(occupation) + C(religious) + age + yrs_married + children", fair).fit()
    effects = {"occupation": "C(occupation)", "religious": "C(religious)", "age": "age",
               "yrs_married": "yrs_married", "children": "children"}
    cases["fair_ols"] = linear_case(
        additive, fair, {"age": "age", "yrs_married": "yrs_married", "children": "children"},
        type1=(anova_lm(additive, typ=1), effects), type2=(anova_lm(additive, typ=2), effects))
    cases["fair_ols"]["formula"] = "affairs ~ factor(occupation) + factor(religious) + age + yrs_married + children"

    # Two factors with their interaction, with empty cells: anova_lm's one-model table counts a term's
    # columns (20 for the interaction) where its rank (19) is meant, so the sequential tests come from
    # comparing the nested models, whose residual degrees of freedom are rank-based.
    terms = ["C(occupation)", "C(rate_marriage)", "age", "C(occupation):C(rate_marriage)"]
    nested = [smf.ols("affairs ~ " + " + ".join(terms[:k]) if k else "affairs ~ 1", fair).fit()
              for k in range(len(terms) + 1)]
    crossed = nested[-1]
    comparison = anova_lm(*nested)
    # anova_lm's F is on the largest model's scale but its p-value on each smaller model's residual
    # degrees of freedom; the sequential test's p-value is on the largest model's.
    comparison["Pr(>F)"] = scipy.stats.f.sf(comparison["F"], comparison["df_diff"], crossed.df_resid)
    sequential = pd.DataFrame({"df": comparison["df_diff"].to_numpy()[1:], "sum_sq": comparison["ss_diff"].to_numpy()[1:],
                               "F": comparison["F"].to_numpy()[1:], "PR(>F)": comparison["Pr(>F)"].to_numpy()[1:]},
                              index=terms)
    sequential.loc["Residual"] = [crossed.df_resid, crossed.ssr, np.nan, np.nan]
    cases["fair_interaction"] = linear_case(
        crossed, fair, {"age": "age"},
        type1=(sequential, {"occupation": "C(occupation)", "rate_marriage": "C(rate_marriage)", "age": "age",
                            "occupation * rate_marriage": "C(occupation):C(rate_marriage)"}))
    cases["fair_interaction"]["formula"] = "affairs ~ factor(occupation)*factor(rate_marriage) + age"

    # Weighted least squares with a text factor and a slope per firm.
    grunfeld_weights = 1.0 / grunfeld["capital"]
    wls = smf.wls("invest ~ firm * value + capital", grunfeld, weights=grunfeld_weights).fit()
    cases["grunfeld_wls"] = linear_case(wls, grunfeld, {"capital": "capital"})
    cases["grunfeld_wls"]["formula"] = "invest ~ firm*value + capital"
    cases["grunfeld_wls"]["weights"] = "1/capital"

    # The share of pupils above the median, weighted by the pupils tested, with a log covariate.
    star98 = star98.assign(share=star98["NABOVE"] / (star98["NABOVE"] + star98["NBELOW"]))
    tested = star98["NABOVE"] + star98["NBELOW"]
    star = smf.wls("share ~ LOWINC + PERASIAN + PERBLACK + PERHISP + PCTCHRT + PCTYRRND + np.log(AVSALK)",
                   star98, weights=tested).fit()
    cases["star98_wls"] = linear_case(star, star98, {"LOWINC": "LOWINC", "PERHISP": "PERHISP",
                                                     "log(AVSALK)": "np.log(AVSALK)"})
    cases["star98_wls"]["formula"] = "share ~ LOWINC + PERASIAN + PERBLACK + PERHISP + PCTCHRT + PCTYRRND + log(AVSALK)"
    cases["star98_wls"]["weights"] = "NABOVE+NBELOW"

    # Frequency weights: each record stands for `children + 1` cases (a Gaussian GLM with freq_weights).
    counts = fair["children"] + 1
    glm = smf.glm("affairs ~ C(occupation) + age + yrs_married", fair, freq_weights=counts).fit()
    cases["fair_freq"] = {
        "formula": "affairs ~ factor(occupation) + age + yrs_married",
        "freq_weights": "children+1",
        "scale": float(glm.scale),
        "df_resid": float(glm.df_resid),
        "rows": list(range(0, len(fair), 60)),
        "predicted": floats(glm.predict(fair.iloc[list(range(0, len(fair), 60))])),
        "slopes": {name: {"estimate": float(glm.params[name]), "std_error": float(glm.bse[name])}
                   for name in ("age", "yrs_married")},
    }

    # A multinomial logit of party identification (7 categories) on the 1996 American National Election
    # Study, statsmodels' own MNLogit example; its first category is the reference.
    anes96 = write_dataset("anes96", sm.datasets.anes96.load_pandas().data)
    covariates = ["logpopul", "selfLR", "age", "educ", "income"]
    mnlogit = sm.MNLogit(anes96["PID"], sm.add_constant(anes96[covariates])).fit(method="newton", tol=1e-14,
                                                                                  maxiter=100, disp=False)
    rows = list(range(0, len(anes96), 10))
    probabilities = mnlogit.predict(sm.add_constant(anes96[covariates]).iloc[rows])
    cases["anes96_mnlogit"] = {
        "formula": "PID ~ " + " + ".join(covariates),
        "reference": "0",
        "llf": float(mnlogit.llf),
        "llnull": float(mnlogit.llnull),
        "rows": rows,
        "probabilities": [floats(probabilities[k]) for k in range(probabilities.shape[1])],
        "params": {str(int(c)): floats(mnlogit.params.iloc[:, k]) for k, c in
                   enumerate(sorted(anes96["PID"].unique())[1:])},
        "bse": {str(int(c)): floats(mnlogit.bse.iloc[:, k]) for k, c in
                enumerate(sorted(anes96["PID"].unique())[1:])},
        "param_names": list(mnlogit.params.index),
    }

    out = {"statsmodels": statsmodels.__version__, "numpy": np.__version__, "pandas": pd.__version__,
           "cases": cases}
    with open(os.path.join(HERE, "python_statsmodels.json"), "w") as f:
        json.dump(out, f, indent=1)


if __name__ == "__main__":
    main()
