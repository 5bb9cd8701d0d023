"""What Corridex's tests, benchmarks and scripts share, one module per concern:

- promises: the solver classes, in the module's order, and what each promises about its
  results, read from the solver table (solvers/solver_table.def) that the C++ side includes;
- grids: grids drawn as text, small seeded maze builders, and the three grid recipes that
  benchmarks use (a perfect maze, a maze with loops, an open grid with random obstacles);
- checks: running a solver, its results as plain values, a reference grid search written
  apart from the solvers, and the invariants every solver's results keep on any maze;
- fingerprint: the random mazes whose results every build must reproduce bit for bit;
- reliability: the mazes of the interrupt and memory tests (needs NumPy);
- processes: helpers for tests that start child processes.
"""
