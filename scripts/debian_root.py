"""Private Debian roots for the toolchain checks, made by debootstrap from Debian's archive under
${XDG_CACHE_HOME:-~/.cache}/corridex/roots/NAME; nothing is installed on the host.

    python3 scripts/debian_root.py make NAME            make the root, or bring it up to its list
    python3 scripts/debian_root.py venv NAME PYTHON VENV  the venv VENV for PYTHON in the root, with
                                                        the build and test requirements from PyPI;
                                                        prints its python
    python3 scripts/debian_root.py run NAME -- CMD...   run CMD in the root, in this directory

A root's packages are listed in scripts/roots/NAME.txt. What was installed is stamped in the root,
so a root is made once and later calls only check the stamp. `run` sees the host's /dev, a fresh
/proc and /dev/shm, and this checkout at the same path as outside (so build trees and reports
are where the host expects them); the mounts live in a mount namespace of their own and are
unmounted before it returns, whatever happened. Needs root (debootstrap, chroot, mount).
"""

from __future__ import annotations

import argparse
import contextlib
import fcntl
import os
import pathlib
import shutil
import subprocess
import sys
import time

HERE = pathlib.Path(__file__).resolve().parent
CHECKOUT = HERE.parent
CACHE = pathlib.Path(os.environ.get("XDG_CACHE_HOME") or pathlib.Path.home() / ".cache") / "corridex"
ROOTS = CACHE / "roots"
MIRROR = "http://deb.debian.org/debian"
STAMP = "corridex-root.txt"
VENVS = "opt/corridex"
# Debian signs a suite's release file for a week: a root made from an older copy of the archive
# must not refuse it. Downloads retry on their own a bounded number of times.
APT_CONFIG = 'Acquire::Check-Valid-Until "false";\nAcquire::Retries "5";\n' \
             'APT::Install-Recommends "false";\nAPT::Install-Suggests "false";\n'
ATTEMPTS = 3
# The host's certificates, which pip in the root trusts as the host's pip does.
CERTIFICATES = "/etc/corridex/certificates.crt"
# Debian's architecture names where qemu's and the wheels' differ.
QEMU = {"arm64": "aarch64"}


def log(message):
    print(f"debian_root: {message}", flush=True)


def read_list(name):
    """The root's list: `suite SUITE`, `packages ...` and `experimental ...` lines (the last
    installed from Debian's experimental suite), # comments. A root for another processor
    (`architecture ARCH`) has its packages unpacked, not installed, since their maintainer
    scripts cannot run here; `python PYTHON` then names the interpreter that a launcher,
    usr/bin/python3-qemu, runs under qemu, and the test requirements go to site/ as wheels."""
    path = HERE / "roots" / f"{name}.txt"
    if not path.is_file():
        sys.exit(f"no list {path}")
    spec = {"suite": None, "packages": [], "experimental": [], "architecture": None,
            "python": None}
    for line in path.read_text().splitlines():
        words = line.split("#", 1)[0].split()
        if not words:
            continue
        if words[0] in ("suite", "architecture", "python"):
            spec[words[0]] = words[1]
        elif words[0] in ("packages", "experimental"):
            spec[words[0]] += words[1:]
        else:
            sys.exit(f"{path}: unknown line {line!r}")
    return spec, path.read_text()


@contextlib.contextmanager
def locked(name, exclusive):
    """One maker of a root (or of a venv in it) at a time; runs share the root, and wait while
    it is being made."""
    ROOTS.mkdir(parents=True, exist_ok=True)
    with open(ROOTS / f"{name}.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX if exclusive else fcntl.LOCK_SH)
        yield


def retried(attempt_once, what):
    """Calls attempt_once (which returns an exit status) until it succeeds, a bounded number of
    times with a pause between: the archive's mirrors fail now and then."""
    for attempt in range(1, ATTEMPTS + 1):
        if attempt_once() == 0:
            return
        if attempt < ATTEMPTS:
            log(f"{what} failed (attempt {attempt} of {ATTEMPTS}); trying again in {10 * attempt} s")
            time.sleep(10 * attempt)
    sys.exit(f"{what} failed {ATTEMPTS} times")


def mounted_run(root, command, env=None, cwd=None):
    """command in the chroot, with /proc, /dev, /dev/shm and the checkout mounted for it only.

    The mounts are made in a fresh mount namespace (unshare), so no other process sees them and
    they cannot outlive it; they are also unmounted explicitly, in reverse order, however the
    command ends."""
    checkout = str(CHECKOUT)
    script = r"""
set -u
root=$1; checkout=$2; cwd=$3; shift 3
mounted=""
cleanup() {
    for target in $mounted; do umount "$target" 2>/dev/null || umount -l "$target"; done
}
trap cleanup EXIT
trap 'exit 130' INT TERM
mkdir -p "$root/proc" "$root/dev" "$root$checkout"
mount -t proc proc "$root/proc" && mounted="$root/proc $mounted" || exit 1
mount --bind /dev "$root/dev" && mounted="$root/dev $mounted" || exit 1
mount -t tmpfs -o size=1g,mode=1777 shm "$root/dev/shm" && mounted="$root/dev/shm $mounted" || exit 1
mount --bind "$checkout" "$root$checkout" && mounted="$root$checkout $mounted" || exit 1
chroot "$root" /usr/bin/env -C "$cwd" "$@"
"""
    environment = {"PATH": "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin",
                   "HOME": "/root", "LANG": "C.UTF-8", "DEBIAN_FRONTEND": "noninteractive",
                   "PIP_DISABLE_PIP_VERSION_CHECK": "1",
                   # What the caller sets for the build and the tests.
                   **{k: v for k, v in os.environ.items()
                      if k in ("CC", "CXX", "PIP_DEFAULT_TIMEOUT")
                      or k.startswith(("CORRIDEX_", "CMAKE_"))},
                   **(env or {})}
    if (pathlib.Path(root) / CERTIFICATES.lstrip("/")).is_file():
        environment["PIP_CERT"] = CERTIFICATES
    return subprocess.run(["unshare", "--mount", "--propagation", "private", "sh", "-c", script,
                           "sh", str(root), checkout, cwd or checkout, *map(str, command)],
                          env=environment).returncode


def apt_install(root, spec):
    apt = ["apt-get", "-y", "-oDpkg::Use-Pty=0"]
    retried(lambda: mounted_run(root, [*apt, "update"]), "apt-get update")
    if spec["packages"]:
        retried(lambda: mounted_run(root, [*apt, "install", *spec["packages"]]),
                "installing packages")
    if spec["experimental"]:
        retried(lambda: mounted_run(root, [*apt, "install", "-t", "experimental",
                                           *spec["experimental"]]),
                "installing packages from experimental")


def make(name):
    """Makes the root, or installs what its list gained since; nothing when the stamp matches."""
    spec, text = read_list(name)
    if spec["architecture"]:
        text += "".join(f"wheel {requirement}\n" for requirement in requirements()[1])
    root = ROOTS / name
    stamp = root / STAMP
    with locked(name, exclusive=False):
        if stamp.is_file() and stamp.read_text() == text:
            log(f"{name}: up to date ({root})")
            return
    with locked(name, exclusive=True):
        if stamp.is_file() and stamp.read_text() == text:
            return
        started = time.monotonic()
        if spec["architecture"]:
            unpack(name, spec, root)
            stamp.write_text(text)
            log(f"{name}: made in {time.monotonic() - started:.0f} s")
            return
        made = stamp.is_file() and f"suite {spec['suite']}\n" in stamp.read_text()
        if not made:
            shutil.rmtree(root, ignore_errors=True)
            log(f"{name}: debootstrap {spec['suite']} into {root}")
            for attempt in range(1, ATTEMPTS + 1):
                status = subprocess.run(["debootstrap", "--variant=minbase", "--components=main",
                                         spec["suite"], root, MIRROR]).returncode
                if status == 0:
                    break
                shutil.rmtree(root, ignore_errors=True)
                if attempt == ATTEMPTS:
                    sys.exit(f"debootstrap {spec['suite']} failed {ATTEMPTS} times")
                log(f"debootstrap failed (attempt {attempt} of {ATTEMPTS}); trying again")
                time.sleep(10 * attempt)
            sources = f"deb {MIRROR} {spec['suite']} main\n"
            if spec["experimental"]:
                sources += f"deb {MIRROR} experimental main\n"
            (root / "etc" / "apt" / "sources.list").write_text(sources)
            (root / "etc" / "apt" / "apt.conf.d" / "90corridex").write_text(APT_CONFIG)
            # No services start in the root.
            policy = root / "usr" / "sbin" / "policy-rc.d"
            policy.write_text("#!/bin/sh\nexit 101\n")
            policy.chmod(0o755)
        shutil.copy("/etc/resolv.conf", root / "etc" / "resolv.conf")
        apt_install(root, spec)
        subprocess.run(["chroot", root, "apt-get", "clean"], check=True)
        stamp.write_text(text)
        log(f"{name}: made in {time.monotonic() - started:.0f} s")


def unpack(name, spec, root):
    """The packages for another processor unpacked into a fresh root, fetched by an apt with a
    state of its own (the host's architectures and package lists are untouched); a launcher that
    runs the root's Python under qemu; the test requirements as wheels for it in site/."""
    arch, python = spec["architecture"], spec["python"]
    apt_dir = ROOTS / f"{name}-apt"
    for folder in ("lists/partial", "cache/archives/partial", "debs", "parts"):
        (apt_dir / folder).mkdir(parents=True, exist_ok=True)
    sources = apt_dir / "sources.list"
    sources.write_text(f"deb [arch={arch} signed-by=/usr/share/keyrings/debian-archive-keyring.gpg]"
                       f" {MIRROR} {spec['suite']} main\n")
    apt = ["apt-get", f"-oDir::State::Lists={apt_dir / 'lists'}", f"-oDir::Cache={apt_dir / 'cache'}",
           f"-oDir::Etc::SourceList={sources}", f"-oDir::Etc::SourceParts={apt_dir / 'parts'}",
           "-oDir::State::status=/dev/null", f"-oAPT::Architecture={arch}",
           f"-oAPT::Architectures::={arch}", "-oDebug::NoLocking=1", "-oAcquire::Retries=5",
           "-oAcquire::Check-Valid-Until=false", "-oAPT::Sandbox::User=root"]
    retried(lambda: subprocess.run([*apt, "update"]).returncode, "apt-get update")
    for old in (apt_dir / "debs").glob("*.deb"):
        old.unlink()
    retried(lambda: subprocess.run([*apt, "download", *[f"{p}:{arch}" for p in spec["packages"]]],
                                   cwd=apt_dir / "debs", stdout=subprocess.DEVNULL).returncode,
            "downloading packages")
    shutil.rmtree(root, ignore_errors=True)
    root.mkdir(parents=True)
    for deb in sorted((apt_dir / "debs").glob("*.deb")):
        subprocess.run(["dpkg", "-x", deb, root], check=True)
    # Started through this script, the interpreter names the script as sys.executable, so the
    # tests' own child interpreters run under qemu too.
    launcher = root / "usr" / "bin" / "python3-qemu"
    launcher.write_text(f'#!/bin/sh\nexec qemu-{QEMU.get(arch, arch)} -L "{root}" -0 "$0" '
                        f'"{root}/usr/bin/{python}" "$@"\n')
    launcher.chmod(0o755)
    version = python.removeprefix("python")
    build, test = requirements()
    retried(lambda: subprocess.run(
        [sys.executable, "-m", "pip", "install", "--disable-pip-version-check", "-q",
         "--target", root / "site", "--platform", f"manylinux2014_{QEMU.get(arch, arch)}",
         "--python-version", version, "--implementation", "cp", "--only-binary=:all:",
         *test]).returncode, "installing the test requirements")
    subprocess.run([launcher, "-c", "import platform, sys; print(sys.version, platform.machine())"],
                   check=True)


def requirements():
    import tomllib

    project = tomllib.loads((CHECKOUT / "pyproject.toml").read_text())
    build = project["build-system"]["requires"]
    test = project["project"]["optional-dependencies"]["test"]
    return build, test


def venv(name, python, label):
    """The venv `label` for `python` in the root, with the build requirements and every test requirement
    that PyPI has a wheel of for that Python; one with none is named and left out (the tests
    that need it skip). Prints the venv's python as seen inside the root."""
    root = ROOTS / name
    build, test = requirements()
    inside = pathlib.PurePosixPath("/") / VENVS / label
    stamp = root / inside.relative_to("/") / "corridex-requirements.txt"
    wanted = "\n".join(build + test) + "\n"
    with locked(name, exclusive=False), locked(f"{name}-{label}", exclusive=True):
        if not (stamp.is_file() and stamp.read_text().startswith(wanted)):
            shutil.rmtree(root / inside.relative_to("/"), ignore_errors=True)
            # PyPI is reached as the host reaches it: through the certificates the host trusts.
            certificates = os.environ.get("PIP_CERT") or "/etc/ssl/certs/ca-certificates.crt"
            (root / CERTIFICATES.lstrip("/")).parent.mkdir(parents=True, exist_ok=True)
            shutil.copy(certificates, root / CERTIFICATES.lstrip("/"))
            if mounted_run(root, [python, "-m", "venv", inside]) != 0:
                sys.exit(f"{python} -m venv failed in {name}")
            pip = [inside / "bin" / "python", "-m", "pip", "install", "--disable-pip-version-check",
                   "-q", "--only-binary=:all:"]
            if mounted_run(root, [*pip, "--upgrade", "pip"]) != 0:
                sys.exit("updating pip failed")
            # Build requirements are pure Python: they must install.
            if mounted_run(root, [*pip, *build]) != 0:
                sys.exit(f"the build requirements did not install for {python}")
            # All at once; one by one only when some has no wheel for this Python.
            missing = []
            if mounted_run(root, [*pip, *test]) != 0:
                missing = [r for r in test if mounted_run(root, [*pip, r]) != 0]
            if missing:
                log(f"no wheel for {python} of: {', '.join(missing)} (the tests that need "
                    "them skip)")
            stamp.write_text(wanted + "".join(f"missing {r}\n" for r in missing))
    print(inside / "bin" / "python")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    commands.add_parser("make").add_argument("name")
    made = commands.add_parser("venv")
    made.add_argument("name")
    made.add_argument("python")
    made.add_argument("label")
    running = commands.add_parser("run")
    running.add_argument("name")
    running.add_argument("argv", nargs=argparse.REMAINDER)
    arguments = parser.parse_args()
    if os.geteuid() != 0:
        sys.exit("debian_root.py needs root (debootstrap, chroot, mount)")
    if arguments.command == "make":
        make(arguments.name)
    elif arguments.command == "venv":
        venv(arguments.name, arguments.python, arguments.label)
    else:
        argv = arguments.argv[1:] if arguments.argv[:1] == ["--"] else arguments.argv
        root = ROOTS / arguments.name
        if not (root / STAMP).is_file():
            sys.exit(f"{root} is not made: run `make {arguments.name}` first")
        with locked(arguments.name, exclusive=False):
            sys.exit(mounted_run(root, argv, cwd=os.getcwd()))


if __name__ == "__main__":
    main()
