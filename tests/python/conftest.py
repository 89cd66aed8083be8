"""Finds the package in the build tree (CTest passes its folder) and the repository's data."""

import os
import sys

import pytest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
if os.environ.get("QX_PYTHON_PATH"):
    sys.path.insert(0, os.environ["QX_PYTHON_PATH"])


@pytest.fixture
def data_path():
    return lambda name: os.path.join(ROOT, "data", name)


@pytest.fixture
def reference():
    import json

    with open(os.path.join(ROOT, "tests", "reference", "python_statsmodels.json")) as f:
        return json.load(f)["cases"]
