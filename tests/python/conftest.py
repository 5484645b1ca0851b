"""Shared fixtures: the sample atlas and a scratch folder per test."""

from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]


@pytest.fixture
def atlas():
    return REPO / "samples" / "atlas"
