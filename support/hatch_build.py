"""Puts a copy of the solver table (solvers/solver_table.def, beside this folder) in a wheel of
the support package. An editable install reads the table in place and gets no copy."""

from __future__ import annotations

import pathlib

from hatchling.builders.hooks.plugin.interface import BuildHookInterface

TABLE = pathlib.Path(__file__).resolve().parent.parent / "solvers" / "solver_table.def"


class CustomBuildHook(BuildHookInterface):
    def initialize(self, version, build_data):
        if version == "editable":
            return
        if not TABLE.is_file():
            raise FileNotFoundError(f"{TABLE}: the solver table, which the wheel carries")
        build_data["force_include"][str(TABLE)] = "corridex_support/solver_table.def"
