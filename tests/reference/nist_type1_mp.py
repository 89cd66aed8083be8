"""Type I (sequential) F tests of the NIST StRD linear least-squares models, computed with mpmath at
80 significant digits from the data as the library reads them (each value rounded to a double), so
that they are correct to the last bit of a double however ill-conditioned the model (Filip's
condition number is about 1e15 in the powers of x).

Each model is the one NIST certifies: an intercept when the certified values have b0, then the
predictors in order, or the powers x, x^2, ... of a single predictor. A term's sum of squares is the
square of the dependent's coordinate on the term's column orthonormalized (modified Gram-Schmidt,
applied twice) against the columns before it; F = SS / (RSS / (n - p)), null for an exact fit.

Run from the repository root: python3 tests/reference/nist_type1_mp.py   (writes nist_type1_mp.json)
"""

import csv
import json

import mpmath as mp

mp.mp.dps = 80
NAMES = ["Longley", "Norris", "Pontius", "NoInt1", "NoInt2", "Wampler1", "Wampler2", "Wampler3",
         "Wampler4", "Wampler5", "Filip"]


def load(name):
    with open(f"data/nist/{name}.csv") as f:
        rows = list(csv.reader(f))
    data = [[mp.mpf(float(v)) for v in r] for r in rows[1:] if r]
    terms = 0
    intercept = False
    with open(f"data/nist/{name}.certified.txt") as f:
        for line in f:
            label = line.split()[0] if line.split() else ""
            if label.startswith("b"):
                terms += 1
                intercept = intercept or label == "b0"
    return data, terms - (1 if intercept else 0), intercept


def columns(data, n_terms, intercept):
    n_predictors = len(data[0]) - 1
    cols = []
    if intercept:
        cols.append([mp.mpf(1)] * len(data))
    for t in range(1, n_terms + 1):
        if n_predictors == 1:
            cols.append([r[1] ** t for r in data])
        else:
            cols.append([r[t] for r in data])
    return cols


def dot(a, b):
    return mp.fsum(x * y for x, y in zip(a, b))


def sequential_f(name):
    data, n_terms, intercept = load(name)
    y = [r[0] for r in data]
    basis, ss = [], []
    for col in columns(data, n_terms, intercept):
        v = list(col)
        for _ in range(2):
            for q in basis:
                c = dot(q, v)
                v = [a - c * b for a, b in zip(v, q)]
        norm = mp.sqrt(dot(v, v))
        q = [a / norm for a in v]
        basis.append(q)
        ss.append(dot(q, y) ** 2)
    rss = dot(y, y) - mp.fsum(ss)
    df_error = len(y) - len(basis)
    mse = rss / df_error
    # An exact fit (Wampler1) leaves no error variance and no F.
    f = [float(s / mse) if mse > 0 else None for s in ss]
    return {"name": name, "df_error": df_error, "F": f}


if __name__ == "__main__":
    with open("tests/reference/nist_type1_mp.json", "w") as out:
        json.dump([sequential_f(name) for name in NAMES], out, indent=1)
        out.write("\n")
