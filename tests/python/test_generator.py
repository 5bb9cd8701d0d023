"""RandomMazeGenerator from Python: shape, perfect-maze structure, randomness, errors, solvers."""

import collections
import ctypes

import pytest

import Corridex
from Corridex import Index, RandomMazeGenerator
from corridex_support.checks import routes_start_to_end, steps_between
from corridex_support.grids import grid_from_text
from corridex_support.reliability import at_every_poll, on_run

libc = ctypes.CDLL(None)
libc.srand.argtypes = [ctypes.c_uint]
libc.rand.restype = ctypes.c_int
libc.time.argtypes = [ctypes.c_void_p]
libc.time.restype = ctypes.c_int64


def clock_second():
    """The clock second as the generator reads it: C's time(), which on Linux reads a coarse
    clock that can lag time.time() by a few milliseconds across a second's turn."""
    return libc.time(None)


def passages(grid):
    """The cell graph that a generated grid draws: {(r, c): [neighbouring cells]}."""
    rows, cols = len(grid) // 2, len(grid[0]) // 2 if grid else 0
    links = collections.defaultdict(list)
    for r in range(rows):
        for c in range(cols):
            if grid[2 * r][2 * c + 1]:
                links[r, c].append((r, c + 1))
                links[r, c + 1].append((r, c))
            if grid[2 * r + 1][2 * c]:
                links[r, c].append((r + 1, c))
                links[r + 1, c].append((r, c))
    return links


def assert_perfect_maze(grid, width, hight):
    rows, cols = width // 2, hight // 2
    assert len(grid) == 2 * rows
    assert all(type(row) is list and len(row) == 2 * cols for row in grid)
    assert all(type(entry) is bool for row in grid for entry in row)
    assert all(all(row[0::2]) for row in grid[0::2]), "a cell entry is a wall"
    assert not any(any(row[1::2]) for row in grid[1::2]), "a corner entry is open"
    assert not any(row[-1] for row in grid[0::2]), "a passage leaves the right edge"
    assert not any(grid[-1][0::2]), "a passage leaves the bottom edge"

    links = passages(grid)
    assert sum(len(n) for n in links.values()) // 2 == rows * cols - 1
    seen = {(0, 0)}
    todo = [(0, 0)]
    while todo:
        for nxt in links[todo.pop()]:
            if nxt not in seen:
                seen.add(nxt)
                todo.append(nxt)
    assert len(seen) == rows * cols, "some cells cannot be reached"


SIZES = [(4, 4), (5, 7), (7, 5), (20, 30), (2, 40), (41, 3), (41, 41), (101, 63), (300, 200)]


@pytest.mark.parametrize(("width", "hight"), SIZES, ids=[f"w{w}h{h}" for w, h in SIZES])
def test_generate_draws_a_perfect_maze(width, hight):
    assert_perfect_maze(RandomMazeGenerator(width, hight).generate(), width, hight)


@pytest.mark.parametrize(
    ("width", "hight", "rows", "cols"),
    [(5, 7, 4, 6), (7, 5, 6, 4), (2, 2, 2, 2), (3, 3, 2, 2)],
    ids=["w5h7", "w7h5", "single_cell", "single_cell_odd"],
)
def test_rows_follow_width_and_row_length_follows_hight(width, hight, rows, cols):
    grid = RandomMazeGenerator(width=width, hight=hight).generate()
    assert (len(grid), len(grid[0])) == (rows, cols)


@pytest.mark.parametrize(
    ("args", "expected"),
    [((), []), ((1, 1), []), ((1, 50), []), ((10, 1), [[]] * 10), ((6, 0), [[]] * 6),
     ((0, 2**64 - 1), [])],
    ids=["defaults", "w1h1", "w1h50", "w10h1", "w6h0", "w0_hMax"],
)
def test_sizes_without_cells_give_no_entries(args, expected):
    assert RandomMazeGenerator(*args).generate() == expected


def test_single_cell_is_open_with_walls_round_it():
    assert RandomMazeGenerator(2, 2).generate() == [[True, False], [False, False]]


def test_second_generate_returns_an_equal_new_grid():
    generator = RandomMazeGenerator(31, 47)
    first = generator.generate()
    second = generator.generate()
    assert second == first
    assert second is not first and second[0] is not first[0]


def same_second(run):
    """Calls run() until one call starts and ends within one clock second; returns its result."""
    for _ in range(5):
        before = clock_second()
        result = run()
        if clock_second() == before:
            return result
    pytest.fail("the clock second kept changing during the run")


def test_srand_before_generate_makes_a_run_reproducible():
    def run():
        libc.srand(1234)
        first = RandomMazeGenerator(61, 61).generate()
        libc.srand(1234)
        second = RandomMazeGenerator(61, 61).generate()
        libc.srand(4321)
        other = RandomMazeGenerator(61, 61).generate()
        return first, second, other

    first, second, other = same_second(run)
    assert first == second
    assert other != first  # 900 cells: two seeds carving alike is out of the question


def mt19937_outputs(seed, count):
    """The first `count` outputs of the 32-bit Mersenne Twister seeded as C++'s
    std::mt19937(seed) is."""
    state = [seed & 0xFFFFFFFF]
    for i in range(1, 624):
        state.append((1812433253 * (state[-1] ^ (state[-1] >> 30)) + i) & 0xFFFFFFFF)
    for i in range(624):
        y = (state[i] & 0x80000000) | (state[(i + 1) % 624] & 0x7FFFFFFF)
        state[i] = state[(i + 397) % 624] ^ (y >> 1) ^ (0x9908B0DF if y & 1 else 0)
    outputs = []
    for y in state[:count]:
        y ^= y >> 11
        y ^= (y << 7) & 0x9D2C5680
        y ^= (y << 15) & 0xEFC60000
        outputs.append(y ^ (y >> 18))
    return outputs


def test_mt19937_outputs_match_the_standard_engine():
    # The C++ standard's check: the 10,000th output of std::mt19937 with its default seed.
    assert mt19937_outputs(5489, 1) == [3499211612]


# RandomMazeGenerator(6, 6) after srand(1234), by start cell (row, col): the start cell comes
# from the clock second (column from the first output of std::mt19937 seeded with it, row from
# the second), the shuffles from rand(). Written by the C++ core with each start's clock.
PINNED_3x3 = {
    (0, 0): (".....#", "####.#", "...#.#", ".###.#", ".....#", "######"),
    (0, 1): (".#...#", ".###.#", "...#.#", ".#.#.#", ".#...#", "######"),
    (0, 2): (".....#", ".#####", ".#...#", ".###.#", ".....#", "######"),
    (1, 0): (".....#", "##.#.#", "...#.#", "####.#", ".....#", "######"),
    (1, 1): (".....#", ".###.#", ".#...#", ".#####", ".....#", "######"),
    (1, 2): (".....#", ".#####", ".....#", ".#####", ".....#", "######"),
    (2, 0): (".....#", ".#.#.#", ".#.#.#", "##.#.#", "...#.#", "######"),
    (2, 1): (".....#", ".###.#", "...#.#", ".###.#", ".#...#", "######"),
    (2, 2): (".....#", ".###.#", ".#...#", ".#####", ".....#", "######"),
}


def test_generated_mazes_are_pinned_for_a_seed_and_a_start_cell():
    """What the carving draws and in which order is fixed: after srand(1234), the maze of each
    start cell is the one pinned (a shuffle drawing differently fails here)."""

    def run():
        outputs = mt19937_outputs(clock_second(), 2)
        libc.srand(1234)
        return (outputs[1] % 3, outputs[0] % 3), RandomMazeGenerator(6, 6).generate()

    start, grid = same_second(run)
    assert grid == grid_from_text(*PINNED_3x3[start]), start
    # Every pinned maze is a perfect maze of 3 x 3 cells.
    for pinned in PINNED_3x3.values():
        assert_perfect_maze(grid_from_text(*pinned), 6, 6)


def test_generate_takes_three_rand_values_per_cell_and_never_seeds():
    libc.srand(77)
    sequence = [libc.rand() for _ in range(13)]
    # With rand's full 31-bit range only the top two values are ever discarded (by the choice
    # among three), so 2 x 2 cells take exactly 12 values.
    assert max(sequence[:12]) < 2**31 - 2
    libc.srand(77)
    RandomMazeGenerator(4, 4).generate()
    assert libc.rand() == sequence[12]


def test_no_cells_take_no_rand_value():
    libc.srand(5)
    expected = libc.rand()
    libc.srand(5)
    RandomMazeGenerator(1, 100).generate()
    RandomMazeGenerator(100, 1).generate()
    assert libc.rand() == expected


@pytest.mark.parametrize(
    "kwargs",
    [{"height": 3}, {"width": 4, "height": 4}, {"width": -1}, {"hight": -2}, {"width": 2.0},
     {"width": "4"}, {"width": None}, {"width": 2**64}],
    ids=["height", "width_height", "negative_width", "negative_hight", "float", "string",
         "none", "beyond_64_bits"],
)
def test_bad_arguments_raise_type_error(kwargs):
    with pytest.raises(TypeError, match="incompatible constructor arguments"):
        RandomMazeGenerator(**kwargs)


def test_generate_takes_no_argument():
    with pytest.raises(TypeError):
        RandomMazeGenerator(4, 4).generate(1)


# What a refused size says: what it needed, and the limit and where that comes from.
REFUSED = (r"^RandomMazeGenerator would need (about [\d.]+ \w+|more than 2\^64 bytes) for a "
           r"\d+ x \d+ maze( and its Python lists)?; the limit is [\d.]+ \w+ \(.+\)$")


@pytest.mark.parametrize(
    ("width", "hight", "error", "message"),
    [(2**64 - 1, 2**64 - 1, ValueError, "vector too long"),
     (2**64 - 1, 0, ValueError, "vector too long"),
     (2**40, 2**40, MemoryError, REFUSED),
     (2**40, 0, MemoryError, REFUSED),
     (2, 2**64 - 1, MemoryError, REFUSED),
     (2**20, 2**20, MemoryError, REFUSED)],
    ids=["both_max", "width_max", "both_2_40", "rows_only", "one_endless_row", "2_38_cells"],
)
def test_sizes_that_cannot_be_held_are_refused_at_construction(width, hight, error, message):
    with pytest.raises(error, match=message):
        RandomMazeGenerator(width, hight)


def passage_count(grid):
    return sum(row[1::2].count(True) for row in grid[0::2]) + sum(
        row[0::2].count(True) for row in grid[1::2])


@pytest.mark.poll_driver
@pytest.mark.posix
def test_interrupted_generate_leaves_a_generator_that_still_works():
    def interrupt():
        raise KeyboardInterrupt

    generator = RandomMazeGenerator(3000, 3000)
    # At the carving's fifth poll, whatever the machine's speed.
    with pytest.raises(KeyboardInterrupt):
        at_every_poll(generator.generate, on_run(5, interrupt))
    grid = generator.generate()
    assert len(grid) == 3000 and {len(row) for row in grid} == {3000}
    assert passage_count(grid) == 1500 * 1500 - 1
    solver = Corridex.BreadthFirstSearch(grid, Index(0, 0), Index(2998, 2998))
    solver.solve()
    assert solver.SrcToDestDistance() > 0
    assert generator.generate() == grid


SOLVED_SIZES = [(4, 4), (5, 7), (2, 30), (30, 2), (21, 21), (41, 41), (60, 24)]


@pytest.mark.parametrize(("width", "hight"), SOLVED_SIZES,
                         ids=[f"w{w}h{h}" for w, h in SOLVED_SIZES])
def test_every_solver_finds_the_one_route_between_opposite_corners(width, hight):
    grid = RandomMazeGenerator(width, hight).generate()
    start = (0, 0)
    end = (len(grid) - 2, len(grid[0]) - 2)  # the bottom-right grid entry is a wall corner
    routes = routes_start_to_end(grid, start, end)
    assert len(set(routes.values())) == 1, f"solvers disagree on the route: {routes}"
    route, distance = routes.popitem()[1]
    assert route[0] == start and route[-1] == end
    assert distance == steps_between(grid, start, end) == len(route) - 1
