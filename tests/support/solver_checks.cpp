#include "tests/support/solver_checks.hpp"

#include <algorithm>
#include <deque>
#include <utility>

namespace corridex::checks {

void require(bool holds, const char* solver, const std::string& what) {
    if (!holds) {
        throw BrokenInvariant(std::string("invariant broken in ") + solver + ": " + what);
    }
}

CancellationPoll abandonAt(int nth, std::int64_t interval) {
    return CancellationPoll(
        [nth, polls = 0]() mutable {
            if (++polls == nth) {
                throw Abandoned{};
            }
        },
        interval);
}

namespace {

// Which cells each graph's builder reads: the corridor graph reads rows x width cells, a shorter
// row's missing cells as walls; the cell graph reads every row with its own length and tries a
// cell's right-hand neighbour only below the first row's length.

bool isOpenFor(const Grid& grid, Graph reading, const Index& cell) {
    if (cell.row >= grid.rowCount()) {
        return false;
    }
    const std::size_t length = reading == Graph::Corridor
                                   ? std::min(grid.width(), grid.rowLength(cell.row))
                                   : grid.rowLength(cell.row);
    return cell.col < length && grid.row(cell.row)[cell.col] != 0;
}

std::vector<Index> stepsFrom(const Grid& grid, Graph reading, const Index& cell) {
    std::vector<Index> steps;
    auto tryCell = [&](bool inRange, Index next) {
        if (inRange && isOpenFor(grid, reading, next)) {
            steps.push_back(next);
        }
    };
    tryCell(cell.row > 0, {cell.row - 1, cell.col});
    tryCell(true, {cell.row + 1, cell.col});
    tryCell(cell.col > 0, {cell.row, cell.col - 1});
    tryCell(cell.col + 1 < grid.width(), {cell.row, cell.col + 1});
    return steps;
}

constexpr std::uint64_t kNoRoute = UINT64_MAX;

// Fewest single steps from start to end over the cells a builder reads, by a plain grid BFS
// written apart from the solvers; kNoRoute when the end cannot be reached.
std::uint64_t fewestSteps(const Grid& grid, Graph reading, const Index& start, const Index& end) {
    std::vector<std::vector<std::uint64_t>> steps(grid.rowCount());
    for (std::size_t r = 0; r < grid.rowCount(); ++r) {
        steps[r].assign(std::max(grid.rowLength(r), grid.width()), UINT64_MAX);
    }
    std::deque<Index> queue{start};
    steps[start.row][start.col] = 0;
    while (!queue.empty()) {
        const Index cell = queue.front();
        queue.pop_front();
        if (cell == end) {
            return steps[cell.row][cell.col];
        }
        for (const Index& next : stepsFrom(grid, reading, cell)) {
            if (steps[next.row][next.col] == UINT64_MAX) {
                steps[next.row][next.col] = steps[cell.row][cell.col] + 1;
                queue.push_back(next);
            }
        }
    }
    return kNoRoute;
}

bool hasRepeats(std::vector<Index> cells) {
    auto less = [](const Index& a, const Index& b) {
        return a.row != b.row ? a.row < b.row : a.col < b.col;
    };
    std::sort(cells.begin(), cells.end(), less);
    return std::adjacent_find(cells.begin(), cells.end()) != cells.end();
}

void checkRoute(const Grid& grid, Graph reading, const Outcome& outcome, const char* name,
                const Index& first, const Index& last) {
    const std::vector<Index>& path = outcome.path;
    require(!path.empty(), name, "the end was reached but the path is empty");
    require(path.front() == first && path.back() == last, name,
            "the path does not run between the start and end cells");
    for (std::size_t i = 0; i < path.size(); ++i) {
        require(isOpenFor(grid, reading, path[i]), name,
                "path cell " + toString(path[i]) + " is not open");
        if (i > 0) {
            require(manhattanDistance(path[i - 1], path[i]) == 1, name,
                    "path cells " + toString(path[i - 1]) + " and " + toString(path[i]) +
                        " are not one step apart");
        }
    }
    require(!hasRepeats(path), name, "the path visits a cell twice");
}

// solveChecked, then a solve abandoned at its first, middle and last poll, polling at every
// tick, so that abandoning in the search, in the filling of tables and in the tracing of the
// route is each redone by the next solve() to the fresh object's results.
template <class Solver>
Outcome solvedAndAbandonedAtEachStage(const Grid& grid, const Index& start, const Index& end) {
    const char* name = Solver::kName;
    Outcome fresh = solveChecked<Solver>(grid, start, end).fresh; // returned: not const
    std::uint64_t polls = 0;
    Solver counted(grid, start, end);
    solveOnce(counted, CancellationPoll([&polls] { ++polls; }, 0));
    for (const std::uint64_t stopAt : {std::uint64_t{1}, polls / 2 + 1, polls}) {
        Solver interrupted(grid, start, end);
        bool abandoned = false;
        try {
            solveOnce(interrupted, abandonAt(static_cast<int>(stopAt), 0));
        } catch (const Abandoned&) {
            abandoned = true;
        }
        require(abandoned == (stopAt >= 1 && stopAt <= polls), name,
                "a solve() was not abandoned at a poll it makes");
        if (abandoned) {
            require(solveOnce(interrupted).sameResults(fresh), name,
                    "a solve() after an abandoned one differs from a fresh object's");
        }
    }
    return fresh;
}

// What the reference search found for one graph's reading of the maze.
struct Reference {
    bool openEnds = false;
    std::uint64_t steps = kNoRoute;
};

Reference referenceFor(const Grid& grid, Graph graph, const Index& start, const Index& end) {
    Reference reference;
    reference.openEnds = isOpenFor(grid, graph, start) && isOpenFor(grid, graph, end);
    if (reference.openEnds) {
        reference.steps = fewestSteps(grid, graph, start, end);
    }
    return reference;
}

void checkRecorded(const Grid& grid, const Promises& promises, const Outcome& outcome,
                   const Index& start) {
    const char* name = promises.name;
    const std::vector<Index>& traversed = outcome.traversed;
    const std::uint64_t n = traversed.size();
    require(outcome.traversedNo == (promises.count == Count::Cube ? n * n * n : n), name,
            "TraversedNodesNo differs from the recorded cells");
    for (const Index& cell : traversed) {
        require(isOpenFor(grid, promises.graph, cell), name,
                "recorded cell " + toString(cell) + " is not open");
    }
    switch (promises.recorded) {
    case Recorded::StartFirst:
        require(!hasRepeats(traversed), name, "a node was recorded twice");
        require(traversed.front() == start, name, "the start was not recorded first");
        break;
    case Recorded::NeverStart:
        require(std::find(traversed.begin(), traversed.end(), start) == traversed.end(), name,
                "the start cell was recorded");
        break;
    case Recorded::EveryNode:
        require(traversed.size() == outcome.nodes, name, "not every node was recorded");
        for (std::size_t i = 1; i < traversed.size(); ++i) {
            const Index& a = traversed[i - 1];
            const Index& b = traversed[i];
            require(a.row < b.row || (a.row == b.row && a.col < b.col), name,
                    "nodes not recorded in row-major order");
        }
        break;
    }
}

void checkDistance(const Promises& promises, const Outcome& outcome, std::uint64_t fewest) {
    const char* name = promises.name;
    const std::uint64_t steps = outcome.path.size() - 1;
    require(steps >= fewest, name, "the route is shorter than the fewest steps");
    switch (promises.distance) {
    case Distance::Fewest:
        require(outcome.distance == fewest && steps == fewest, name,
                "the distance is not the fewest steps, " + std::to_string(fewest));
        break;
    case Distance::RouteLength:
        require(outcome.distance == steps, name, "the distance is not the route's length");
        break;
    case Distance::AtLeastRoute:
        require(outcome.distance >= steps, name, "the distance is below the route's length");
        break;
    }
}

template <class Solver>
void checkSolver(const Grid& grid, const Index& start, const Index& end) {
    constexpr const Promises& promises = promisesOf<Solver>();
    const char* name = promises.name;
    if (promises.maxNodes != 0 &&
        Solver(grid, start, end).graph().nodes.size() > promises.maxNodes) {
        return;
    }
    const Reference reference = referenceFor(grid, promises.graph, start, end);
    const Outcome outcome = solvedAndAbandonedAtEachStage<Solver>(grid, start, end);
    require(outcome.rejected == !reference.openEnds, name,
            "rejected ends do not match open cells");
    if (outcome.rejected) {
        return;
    }
    checkRecorded(grid, promises, outcome, start);
    if (reference.steps == kNoRoute) {
        const std::vector<Index> unreached = promises.unreached == Unreached::EndAlone
                                                 ? std::vector<Index>{end}
                                                 : std::vector<Index>{};
        require(outcome.path == unreached && outcome.distance == 0, name,
                "an unreachable end did not leave the route its class promises");
        return;
    }
    const bool endFirst = promises.route == Route::EndFirst;
    checkRoute(grid, promises.graph, outcome, name, endFirst ? end : start,
               endFirst ? start : end);
    checkDistance(promises, outcome, reference.steps);
}

} // namespace

void checkEverySolver(const Grid& grid, const Index& start, const Index& end) {
    forEachSolver(
        [&](auto solver) { checkSolver<typename decltype(solver)::type>(grid, start, end); });
}

} // namespace corridex::checks
