"""The build of the Python package: setuptools hands the compiled part to
CMake.

CMake configures the project (no tests, benchmarks or tools beyond what the
package needs) in the build's temporary folder, builds the module target
and installs its "python_wheel" component: the module _marovia and the
project's shared libraries beside it, which the module finds through its
run path ($ORIGIN). setuptools adds the pure-Python files and packs the
wheel.

MAROVIA_CMAKE_BUILD_DIR names an already configured build folder to use
instead (only what is out of date is rebuilt there); CMAKE_BUILD_PARALLEL_LEVEL
sets the build's jobs as for any CMake build. setuptools' own files go to
build-python/ (not build/, the usual CMake build folder of a checkout), or
to MAROVIA_PYTHON_BUILD_BASE.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


def project_version():
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    match = re.search(r"project\(\s*marovia\s+VERSION\s+([0-9.]+)", text)
    if not match:
        raise RuntimeError("no project version in CMakeLists.txt")
    return match.group(1)


class CMakeExtension(Extension):
    def __init__(self, name):
        super().__init__(name, sources=[])


class CMakeBuild(build_ext):
    def run(self):
        for ext in self.extensions:
            self.build_cmake(ext)

    def build_cmake(self, ext):
        package_dir = Path(self.get_ext_fullpath(ext.name)).parent
        build_dir = os.environ.get("MAROVIA_CMAKE_BUILD_DIR")
        if build_dir:
            build_dir = Path(build_dir).resolve()
            if not (build_dir / "CMakeCache.txt").exists():
                raise RuntimeError(f"MAROVIA_CMAKE_BUILD_DIR {build_dir} is not a CMake build folder")
        else:
            build_dir = Path(self.build_temp).resolve() / "cmake"
            build_dir.mkdir(parents=True, exist_ok=True)
            subprocess.check_call([
                "cmake", "-S", str(ROOT), "-B", str(build_dir),
                "-DCMAKE_BUILD_TYPE=Release",
                f"-DPython3_EXECUTABLE={sys.executable}",
                "-DMAROVIA_BUILD_TESTS=OFF", "-DMAROVIA_BUILD_BENCH=OFF",
            ])
        subprocess.check_call(["cmake", "--build", str(build_dir), "--target", "marovia_python"])
        with tempfile.TemporaryDirectory() as staging:
            subprocess.check_call(["cmake", "--install", str(build_dir), "--component",
                                   "python_wheel", "--prefix", staging])
            package_dir.mkdir(parents=True, exist_ok=True)
            # A shared library is installed as its file and a link of the
            # name the module asks for (its soname): the wheel keeps the
            # file under that name alone.
            items = list((Path(staging) / "marovia").iterdir())
            linked = {item.resolve() for item in items if item.is_symlink()}
            for item in items:
                if item.is_symlink() or item.resolve() not in linked:
                    shutil.copy2(item.resolve(), package_dir / item.name)


BUILD_BASE = Path(os.environ.get("MAROVIA_PYTHON_BUILD_BASE", ROOT / "build-python")).resolve()
BUILD_BASE.mkdir(parents=True, exist_ok=True)

setup(
    version=project_version(),
    options={"build": {"build_base": str(BUILD_BASE)},
             "egg_info": {"egg_base": str(BUILD_BASE)}},
    ext_modules=[CMakeExtension("marovia._marovia")],
    cmdclass={"build_ext": CMakeBuild},
    zip_safe=False,
)
