from os import PathLike
from typing import Any, NamedTuple, Sequence, Union

import numpy as np
import numpy.typing as npt

ArrayLike = npt.ArrayLike
FloatArray = Union[np.ndarray, np.float64]
BoolArray = Union[np.ndarray, np.bool_]
Path = Union[str, PathLike[str]]
EllipsoidKey = Union[int, str, "Ellipsoid"]
DatumKey = Union[int, str]

class Error(Exception): ...
class GeodesyError(Error, ValueError): ...
class MapError(Error, ValueError): ...
class DatabaseError(Error, ValueError): ...
class FileError(Error, OSError): ...

class Ellipsoid(NamedTuple):
    index: int
    id: str
    name: str
    a: float
    b: float
    inverse_flattening: float
    e2: float

class Datum(NamedTuple):
    number: int
    name: str
    region: str
    ellipsoid: int
    dx: float
    dy: float
    dz: float
    scale: float
    rx: float
    ry: float
    rz: float

class Country(NamedTuple):
    name: str
    fips: str
    iso2: str
    iso3: str
    lat: float
    lon: float
    capital: str
    capital_lat: float
    capital_lon: float
    capital_altitude: int

class UTM(NamedTuple):
    zone: Union[np.ndarray, np.int32]
    south: BoolArray
    easting: FloatArray
    northing: FloatArray
    valid: BoolArray

class UPS(NamedTuple):
    x: FloatArray
    y: FloatArray
    south: BoolArray

def ellipsoids() -> tuple[Ellipsoid, ...]: ...
def ellipsoid(key: EllipsoidKey) -> Ellipsoid: ...
def datums() -> tuple[Datum, ...]: ...
def countries() -> tuple[Country, ...]: ...
def utm_zone(lat: float, lon: float) -> str: ...
def utm_forward(lat: ArrayLike, lon: ArrayLike, ellipsoid: EllipsoidKey = ...,
                errors: str = ...) -> UTM: ...
def utm_inverse(easting: ArrayLike, northing: ArrayLike, zone: ArrayLike,
                south: ArrayLike = ..., ellipsoid: EllipsoidKey = ...,
                errors: str = ...) -> tuple[FloatArray, FloatArray]: ...
def mgrs_forward(lat: ArrayLike, lon: ArrayLike, precision: int = ...,
                 ellipsoid: EllipsoidKey = ..., spaced: bool = ...,
                 errors: str = ...) -> Any: ...
def mgrs_inverse(references: Any, ellipsoid: EllipsoidKey = ...,
                 errors: str = ...) -> tuple[Any, Any]: ...
def ups_forward(lat: ArrayLike, lon: ArrayLike, ellipsoid: EllipsoidKey = ...,
                errors: str = ...) -> UPS: ...
def ups_inverse(x: ArrayLike, y: ArrayLike, south: ArrayLike = ...,
                ellipsoid: EllipsoidKey = ..., errors: str = ...) -> tuple[FloatArray, FloatArray]: ...
def geo_to_cartesian(lat: ArrayLike, lon: ArrayLike, height: ArrayLike = ...,
                     ellipsoid: EllipsoidKey = ...,
                     errors: str = ...) -> tuple[FloatArray, FloatArray, FloatArray]: ...
def cartesian_to_geo(x: ArrayLike, y: ArrayLike, z: ArrayLike, ellipsoid: EllipsoidKey = ...,
                     errors: str = ...) -> tuple[FloatArray, FloatArray, FloatArray]: ...
def datum_shift(lat: ArrayLike, lon: ArrayLike, height: ArrayLike = ...,
                source: DatumKey = ..., target: DatumKey = ...,
                errors: str = ...) -> tuple[FloatArray, FloatArray, FloatArray]: ...

MODELS: tuple[str, ...]

class Residuals(NamedTuple):
    index: np.ndarray
    dx: np.ndarray
    dy: np.ndarray
    metres: np.ndarray
    valid: np.ndarray
    loo_dx: np.ndarray
    loo_dy: np.ndarray
    loo_metres: np.ndarray
    loo_valid: np.ndarray

class Calibration:
    @staticmethod
    def load(path: Path, data_id: str = ...,
             image_size: tuple[int, int] | None = ...) -> Calibration: ...
    @staticmethod
    def fit(model: str, lat: ArrayLike, lon: ArrayLike, x: ArrayLike, y: ArrayLike,
            width: int, height: int, utm_zone: int | None = ..., south: bool = ...,
            ellipsoid: EllipsoidKey = ..., coordinates: str = ...) -> Calibration: ...
    def save(self, path: Path, data_id: str = ...) -> None: ...
    @property
    def model(self) -> str: ...
    @property
    def fitted(self) -> bool: ...
    @property
    def image_size(self) -> tuple[int, int]: ...
    @property
    def corners(self) -> np.ndarray: ...
    @property
    def resolution(self) -> float: ...
    @property
    def points(self) -> np.ndarray: ...
    @property
    def caption(self) -> str: ...
    @property
    def map_file(self) -> str: ...
    def to_pixel(self, lat: ArrayLike, lon: ArrayLike, round: bool = ...,
                 errors: str = ...) -> tuple[Any, Any, BoolArray]: ...
    def to_geo(self, x: ArrayLike, y: ArrayLike,
               errors: str = ...) -> tuple[FloatArray, FloatArray, BoolArray]: ...
    def quality(self) -> tuple[float, float]: ...
    def residuals(self, leave_one_out: bool = ...) -> Residuals: ...

def render(source: Path, center: tuple[float, float] | None = ..., mag: float | None = ...,
           size: tuple[int, int] = ..., grid: str = ..., grid_step: float = ...,
           utm_step: int = ..., landmarks: Path | None = ...,
           antialias: bool = ..., tracks: Any = ...,
           db: Path | Sequence[Path] | None = ...) -> npt.NDArray[np.uint8]: ...
def render_to_file(source: Path, filename: Path, center: tuple[float, float] | None = ...,
                   mag: float | None = ..., size: tuple[int, int] = ..., grid: str = ...,
                   grid_step: float = ..., utm_step: int = ..., landmarks: Path | None = ...,
                   antialias: bool = ..., quality: int = ..., tracks: Any = ...,
                   db: Path | Sequence[Path] | None = ...) -> str: ...

class Atlas:
    def __init__(self, paths: Path | Sequence[Path]) -> None: ...
    def __len__(self) -> int: ...
    def map(self, index: int) -> tuple[str, str, float, str,
                                       tuple[float, float, float, float]]: ...
    def covering(self, lat: float, lon: float) -> list[int]: ...
    def best_at(self, lat: float, lon: float) -> int | None: ...
    def finer(self, lat: float, lon: float, resolution: float,
              min_step_percent: float = ...) -> int | None: ...
    def coarser(self, lat: float, lon: float, resolution: float) -> int | None: ...

def make_tiles(source: Atlas | Path | Sequence[Path], output: Path,
               zoom: tuple[int, int] | None = ..., format: str = ..., jobs: int = ...,
               exact: bool = ..., dedup: bool = ..., part: tuple[int, int] | None = ...,
               parts: int | None = ...) -> tuple[int, int, int, int]: ...

class Item(NamedTuple):
    entry: int
    id: int
    kind: str
    name: str
    lat_low: float
    lat_high: float
    lon_low: float
    lon_high: float
    altitude: float
    class_number: int
    tag: int
    state: int

ITEM_DTYPE: np.dtype[Any]

class Database:
    def __init__(self, path: Path, create: bool = ...) -> None: ...
    def close(self) -> None: ...
    def __enter__(self) -> Database: ...
    def __exit__(self, *exc: object) -> None: ...
    def __len__(self) -> int: ...
    @property
    def name(self) -> str: ...
    @property
    def description(self) -> str: ...
    @description.setter
    def description(self, text: str) -> None: ...
    def item(self, entry: int) -> Item: ...
    def query(self, lat_low: float, lat_high: float, lon_low: float, lon_high: float,
              as_array: bool = ...) -> Any: ...
    def add_towns(self, names: Sequence[str], lat: ArrayLike, lon: ArrayLike,
                  altitude: ArrayLike = ..., class_number: ArrayLike = ..., tag: ArrayLike = ...,
                  state: ArrayLike = ...) -> npt.NDArray[np.int32]: ...

from .tracks import (TrackFile as TrackFile, Track as Track, Route as Route, Shape as Shape,
                     Waypoint as Waypoint, Segment as Segment, TrackStats as TrackStats,
                     read_track as read_track, read_tracks as read_tracks,
                     track_stats_method as track_stats_method, as_datetime64 as as_datetime64)
