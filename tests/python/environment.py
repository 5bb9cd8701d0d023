"""What this test run has: the operating system's facilities, emulation and the build's kind.

The markers registered in pyproject.toml name a need; `missing(marker)` says why this run
cannot meet it (None when it can), and conftest.py skips the marked tests with that reason.
"""

from __future__ import annotations

import os
import sys
from typing import Optional

LINUX = sys.platform.startswith("linux")
POSIX = os.name == "posix"
# Set by whoever runs the tests under an emulator (qemu), where resident sizes include the
# emulator's cache of translated code.
EMULATED = os.environ.get("CORRIDEX_EMULATED") == "1"
# Set by whoever builds and tests the module through pybind11's public API only.
PUBLIC_API_ONLY = os.environ.get("CORRIDEX_PUBLIC_API_ONLY") == "1"
# Set by whoever tests a module built against libc++ on Linux: its LLVM unwinder, loaded first,
# crashes the C++ exceptions of libraries built against libstdc++ (pyarrow's) in the same process.
LIBCXX_MODULE = os.environ.get("CORRIDEX_LIBCXX_MODULE") == "1"

_REASONS = {
    "posix": None if POSIX else f"needs POSIX signals and resource limits, not on {sys.platform}",
    "linux": None if LINUX else f"needs Linux's /proc, not on {sys.platform}",
    "native": "left to the native run: under an emulator it is distorted or takes minutes"
    if EMULATED else None,
    "internals": "the module is built through pybind11's public API only" if PUBLIC_API_ONLY
    else None,
    "slow": None,
    "poll_driver": None if sys.version_info >= (3, 10) else "runs a handler at every poll by "
    "re-arming its signal with _thread.interrupt_main(signum), new in CPython 3.10",
    "same_cxx_runtime": "the module uses libc++, whose unwinder breaks libstdc++ libraries' "
    "exceptions in one process" if LIBCXX_MODULE else None,
}


def missing(marker: str) -> Optional[str]:
    """Why this run lacks what `marker` needs, or None when it has it."""
    return _REASONS.get(marker)

