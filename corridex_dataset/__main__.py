"""`python -m corridex_dataset`: the dataset job (see corridex_dataset.cli)."""

import signal
import sys

# Ctrl-C while the modules below load (pyarrow and Dask take a second): heard, not raised.
_early = []
if __name__ == "__main__":
    signal.signal(signal.SIGINT, lambda signum, frame: _early.append(signum))

from corridex_dataset import Stop  # noqa: E402
from corridex_dataset.cli import main  # noqa: E402

if __name__ == "__main__":
    # From here Ctrl-C is the job's to decide: it never surfaces as KeyboardInterrupt, neither
    # in Dask's event loop nor in the interpreter's shutdown after main() returns.
    stop = Stop().install()
    stop.requested = bool(_early)
    sys.exit(main(stop=stop))
