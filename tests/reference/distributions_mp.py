"""Reference values for the distribution functions of the companion layer, computed with mpmath at
60 significant digits from the exact double arguments, so the values are correct to the last bit of
a double. They back the tight accuracy check; distributions.R gives the same functions from R.

Same table layout as distributions.json: each row is (arguments..., value), upper tails are the
"_upper" tables. Run from this folder: python3 distributions_mp.py   (writes distributions_mp.json)
"""

import json
import sys

import mpmath as mp

mp.mp.dps = 60
HALF = mp.mpf(1) / 2


def norm_cdf(z):
    return mp.ncdf(z)


def t_lower(t, df):
    x = df / (df + t * t)
    tail = mp.betainc(df / 2, HALF, 0, x, regularized=True) / 2
    return tail if t < 0 else 1 - tail


def chi_lower(x, df):
    return mp.gammainc(df / 2, 0, x / 2, regularized=True)


def chi_upper(x, df):
    return mp.gammainc(df / 2, x / 2, mp.inf, regularized=True)


def f_lower(f, d1, d2):
    return mp.betainc(d1 / 2, d2 / 2, 0, d1 * f / (d1 * f + d2), regularized=True)


def f_upper(f, d1, d2):
    return mp.betainc(d2 / 2, d1 / 2, 0, d2 / (d1 * f + d2), regularized=True)


def invert_lower_tail(lower_tail, p):
    """The x with lower_tail(x) = p for p < 1/2 (so x < 0), by bisection on log(-x)."""
    lo, hi = mp.mpf(-80), mp.mpf(250)  # -x between e^-80 and e^250
    for _ in range(330):
        mid = (lo + hi) / 2
        if lower_tail(-mp.exp(mid)) > p:
            lo = mid
        else:
            hi = mid
    return -mp.exp((lo + hi) / 2)


def symmetric_quantile(lower_tail, p):
    if p == HALF:
        return mp.mpf(0)
    if p < HALF:
        return invert_lower_tail(lower_tail, p)
    return -invert_lower_tail(lower_tail, 1 - p)


def grid(*axes):
    rows = [[]]
    for axis in axes:
        rows = [r + [v] for r in rows for v in axis]
    return rows


def table(rows, f):
    out = []
    for r in rows:
        try:
            v = f(*[mp.mpf(a) for a in r])
        except Exception as e:  # mpmath gives up on a few extreme shapes; leave those rows out
            print("skipped", r, e, file=sys.stderr)
            continue
        v = float(v)
        if v != 0.0 and mp.isfinite(v):
            out.append(r + [v])
    return out


z = [-38.4, -37.5, -30, -20, -10, -8.3, -5, -3, -1.96, -1, -0.5, -1e-10, 0, 1e-8, 0.3, 1, 2.5, 5, 8]
p = [1e-300, 1e-100, 1e-20, 1e-10, 1e-5, 0.001, 0.025, 0.1, 0.3, 0.7, 0.9, 0.975, 0.999, 0.999999,
     1 - 2.0**-40]
q = [1e-300, 1e-100, 1e-20, 1e-10, 1e-5, 0.001, 0.025, 0.3]
t_x = [-1e5, -50, -10, -3, -1, -0.1, 0.5, 2, 4, 30, 1e3]
t_df = [0.3, 1, 2.5, 7.4, 30, 1000.6, 2e5, 1e6]
t_p = [1e-12, 1e-5, 0.01, 0.05, 0.3, 0.8, 0.975, 0.999999]
chi_x = [1e-10, 0.01, 0.5, 1, 3.84, 10, 50, 200, 1000, 5000]
chi_df = [0.2, 1, 2, 3.7, 10, 100.5, 1e4, 1e6]
f_x = [1e-6, 0.1, 0.5, 1, 2, 4, 10, 100, 1e4]
f_df = [[1, 1], [1, 10], [2.5, 7.3], [3, 100], [10, 2], [20.5, 1e5], [1000, 1000], [0.5, 0.7]]
f_rows = [[f] + d for f in f_x for d in f_df]

tables = {
    "cdf_std_norm": table([[x] for x in z], norm_cdf),
    "cdf_std_norm_upper": table([[x] for x in [-3, 0.5, 5, 10, 20, 37.5]], lambda x: norm_cdf(-x)),
    "idf_std_norm": table([[x] for x in p], lambda x: symmetric_quantile(norm_cdf, x)),
    "idf_std_norm_upper": table([[x] for x in q], lambda x: -symmetric_quantile(norm_cdf, x)),
    "cdf_t": table(grid(t_x, t_df), t_lower),
    "cdf_t_upper": table(grid([-2, 3, 10, 40, 1e3, 1e8], [0.3, 2.5, 7.4, 100, 1000.6]),
                         lambda t, df: t_lower(-t, df)),
    "idf_t": table(grid(t_p, t_df), lambda x, df: symmetric_quantile(lambda t: t_lower(t, df), x)),
    "idf_t_upper": table(grid([1e-20, 1e-10, 0.001, 0.025], [0.3, 1, 2.5, 7.4, 30, 1000.6]),
                         lambda x, df: -symmetric_quantile(lambda t: t_lower(t, df), x)),
    "cdf_chi": table(grid(chi_x, chi_df), chi_lower),
    "cdf_chi_upper": table(grid(chi_x, chi_df), chi_upper),
    "cdf_f": table(f_rows, f_lower),
    "cdf_f_upper": table(f_rows, f_upper),
}

with open("distributions_mp.json", "w") as out:
    out.write('{\n  "source": "mpmath %s, 60 digits",\n' % mp.__version__)
    parts = []
    for name, rows in tables.items():
        body = ",\n".join("    [" + ", ".join(repr(float(v)) for v in r) + "]" for r in rows)
        parts.append('  "%s": [\n%s\n  ]' % (name, body))
    out.write(",\n".join(parts) + "\n}\n")
