#!/usr/bin/env python3
"""Generate and solve mazes by the thousand on a Dask cluster, written to a Parquet dataset.

    python examples/dataset.py --mazes 100000 --size 61 --solvers all --out mazes.parquet

The job is the package corridex_dataset, installed with Corridex (`pip install
"Corridex[dataset]"`); this script runs it as `python -m corridex_dataset` does. See
`python examples/dataset.py --help` and the README's "Datasets and clusters".
"""

import runpy

if __name__ == "__main__":
    runpy.run_module("corridex_dataset", run_name="__main__", alter_sys=True)
