"""docs/python.md runs as written and prints what it shows."""

import doctest
import os

import pandas as pd

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))


def test_the_worked_example_prints_what_the_page_shows(monkeypatch):
    monkeypatch.chdir(ROOT)
    with pd.option_context("display.width", 100):
        result = doctest.testfile(os.path.join(ROOT, "docs", "python.md"), module_relative=False,
                                  optionflags=doctest.NORMALIZE_WHITESPACE)
    assert result.attempted > 10
    assert result.failed == 0
