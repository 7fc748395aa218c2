"""The wheel of scripts/build-wheel in a fresh venv, with the build tree gone,
and a build that has no library to carry."""

import os
import shutil
import subprocess
import sys
from pathlib import Path

import wenlei
from conftest import ROOT


def test_wheel_works_after_the_build_tree_is_gone(tmp_path):
    build = tmp_path / "tree" / "build"
    build.mkdir(parents=True)
    shutil.copy(wenlei.library_path(), build / "libwenlei.so.1")
    made = subprocess.run([str(ROOT / "scripts" / "build-wheel"), str(build), str(tmp_path / "dist")],
                          check=True, capture_output=True, text=True)
    wheel = made.stdout.strip()
    shutil.rmtree(tmp_path / "tree")
    # The system's numpy, which the package requires.
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", str(tmp_path / "venv")],
                   check=True)
    subprocess.run([str(tmp_path / "venv" / "bin" / "pip"), "install", "-q", "--no-index", wheel],
                   check=True)
    program = ("import wenlei\n"
               "classifier = wenlei.Classifier()\n"
               "print(classifier.classify('插入图表').label)\n"
               "print(wenlei.library_path())\n"
               "print(classifier.resources)\n")
    environment = {key: value for key, value in os.environ.items()
                   if key not in ("WENLEI_LIBRARY", "PYTHONPATH")}
    run = subprocess.run([str(tmp_path / "venv" / "bin" / "python"), "-c", program], cwd=str(tmp_path),
                         env=environment, check=True, capture_output=True, text=True)
    label, library, resources = run.stdout.splitlines()
    installed = next((tmp_path / "venv").rglob("site-packages/wenlei"))
    assert label == "图表"
    assert library.startswith(str(installed)) and resources.startswith(str(installed))
    for source in installed.rglob("*.py"):
        assert str(ROOT) not in source.read_text(encoding="utf-8"), source


def test_a_build_without_a_library_fails_in_one_line(tmp_path):
    """Outside a source tree and without WENLEI_LIBRARY there is nothing to
    carry: the build fails, saying what to do, and writes no wheel."""
    shutil.copytree(ROOT / "python", tmp_path / "python", ignore=shutil.ignore_patterns("tests"))
    environment = {key: value for key, value in os.environ.items() if key != "WENLEI_LIBRARY"}
    run = subprocess.run([sys.executable, str(tmp_path / "python" / "build_wenlei.py"),
                          str(tmp_path / "dist")], env=environment, capture_output=True, text=True)
    assert run.returncode != 0
    assert run.stderr.strip().startswith("wenlei:") and "WENLEI_LIBRARY" in run.stderr
    assert len(run.stderr.strip().splitlines()) == 1
    assert not list(Path(tmp_path / "dist").glob("*.whl"))


def test_a_build_from_a_checkout_goes_to_the_cache_and_says_so(tmp_path):
    """A checkout without a configured build/ is built in the user's cache,
    not inside it; the build says where and points to scripts/build-wheel.
    A stand-in cmake records what it was asked and makes the library."""
    checkout = tmp_path / "checkout"
    shutil.copytree(ROOT / "python", checkout / "python", ignore=shutil.ignore_patterns("tests"))
    shutil.copytree(ROOT / "models", checkout / "models")
    shutil.copytree(ROOT / "include", checkout / "include")
    (checkout / "CMakeLists.txt").write_text("")
    tools = tmp_path / "bin"
    tools.mkdir()
    (tools / "cmake").write_text(
        "#!/bin/sh\necho \"$@\" >> \"$CMAKE_CALLS\"\n"
        "if [ \"$1\" = --build ]; then cp \"$WENLEI_BUILT\" \"$2/libwenlei.so.1\"; "
        "else mkdir -p \"$4\" && touch \"$4/CMakeCache.txt\"; fi\n")
    (tools / "cmake").chmod(0o755)
    environment = {key: value for key, value in os.environ.items() if key != "WENLEI_LIBRARY"}
    environment.update(PATH=str(tools) + os.pathsep + environment["PATH"],
                       XDG_CACHE_HOME=str(tmp_path / "cache"), CMAKE_CALLS=str(tmp_path / "calls"),
                       WENLEI_BUILT=wenlei.library_path())
    run = subprocess.run(["setsid", sys.executable, str(checkout / "python" / "build_wenlei.py"),
                          str(tmp_path / "dist")], env=environment, capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    built = next((tmp_path / "cache" / "wenlei").glob("python-build-*"))
    assert "wenlei: building libwenlei in %s" % built in run.stderr
    assert "scripts/build-wheel" in run.stderr
    assert not (checkout / "build").exists()
    assert (tmp_path / "calls").read_text().splitlines()[1] == "--build %s --target wenlei" % built
    assert list((tmp_path / "dist").glob("wenlei-*.whl"))
