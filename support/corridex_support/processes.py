"""Helpers for tests that start child processes."""

from __future__ import annotations

import signal


def default_ctrl_c():
    """For subprocess's preexec_fn, in tests that send a child Ctrl-C: a child of a background
    job inherits SIGINT ignored, and Python then installs no KeyboardInterrupt handler."""
    signal.signal(signal.SIGINT, signal.SIG_DFL)
