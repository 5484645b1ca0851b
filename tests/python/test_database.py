"""The item database from Python: towns from arrays, rectangle queries,
refusals that change nothing."""

import numpy as np
import pytest

import marovia


def test_towns_from_arrays_and_queries(tmp_path):
    base = tmp_path / "alps"
    with marovia.Database(base, create=True) as db:
        db.description = "Alpine towns"
        entries = db.add_towns(["Zürich", "Bern", "Innsbruck"], [47.37, 46.95, 47.27],
                               [8.54, 7.44, 11.40], altitude=[408, 540, 574], class_number=3)
        assert entries.tolist() == [1, 2, 3] and len(db) == 3
    with marovia.Database(base) as db:
        assert db.description == "Alpine towns"
        found = db.query(46.5, 47.5, 7.0, 9.0)
        assert sorted(i.name for i in found) == ["Bern", "Zürich"]
        zurich = next(i for i in found if i.name == "Zürich")
        assert zurich.kind == "Town" and zurich.class_number == 3
        assert zurich.lat_low == pytest.approx(47.37, abs=1e-5)
        table = db.query(40, 50, 0, 20, as_array=True)
        assert table.dtype == marovia.ITEM_DTYPE and len(table) == 3
        assert table["altitude"].tolist() == [408, 540, 574]
        assert db.item(3).name == "Innsbruck"
        with pytest.raises(IndexError):
            db.item(4)


@pytest.mark.parametrize("names,lat,lon,kwargs,text", [
    (["a", "b"], [47.0, 95.0], [8.0, 8.0], {}, "latitude 95 at index 1"),
    (["a", "b"], [47.0, np.nan], [8.0, 8.0], {}, "latitude nan"),
    (["a"], [47.0, 48.0], [8.0, 8.0], {}, "1 names for 2 positions"),
    (["a"], [47.0], [8.0], {"class_number": 300}, "class_number 300"),
    (["a"], [47.0], [8.0], {"tag": 2.5}, "tag 2.5"),
])
def test_refused_towns_add_nothing(tmp_path, names, lat, lon, kwargs, text):
    with marovia.Database(tmp_path / "db", create=True) as db:
        db.add_towns(["kept"], 1.0, 2.0)
        with pytest.raises(ValueError, match=text):
            db.add_towns(names, lat, lon, **kwargs)
        assert len(db) == 1


def test_missing_and_closed_databases(tmp_path):
    with pytest.raises(FileNotFoundError):
        marovia.Database(tmp_path / "none")
    db = marovia.Database(tmp_path / "x", create=True)
    db.close()
    with pytest.raises(ValueError, match="closed"):
        len(db)
    with pytest.raises(marovia.FileError):
        marovia.Database(tmp_path / "no" / "dir" / "x", create=True)
