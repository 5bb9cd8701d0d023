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

// Which cells each builder reads: the corridor graph reads rows x width cells, a shorter row's
// missing cells as walls; the cell graph reads every row with its own length and tries a cell's
// right-hand neighbour only below the first row's length.
enum class Reading { Corridor, Cell };

bool isOpenFor(const Grid& grid, Reading reading, const Index& cell) {
    if (cell.row >= grid.rowCount()) {
        return false;
    }
    const std::size_t length = reading == Reading::Corridor
                                   ? std::min(grid.width(), grid.rowLength(cell.row))
                                   : grid.rowLength(cell.row);
    return cell.col < length && grid.row(cell.row)[cell.col] != 0;
}

std::vector<Index> stepsFrom(const Grid& grid, Reading reading, const Index& cell) {
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
std::uint64_t fewestSteps(const Grid& grid, Reading reading, const Index& start,
                          const Index& end) {
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

void checkRoute(const Grid& grid, Reading reading, const Outcome& outcome, const char* name,
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
    const char* name = solverName<Solver>();
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

void checkUnreached(const Outcome& outcome, const char* name) {
    require(outcome.path.empty() && outcome.distance == 0, name,
            "an unreachable end produced a route");
}

} // namespace

void checkEverySolver(const Grid& grid, const Index& start, const Index& end) {
    const bool corridorEnds =
        isOpenFor(grid, Reading::Corridor, start) && isOpenFor(grid, Reading::Corridor, end);
    const bool cellEnds =
        isOpenFor(grid, Reading::Cell, start) && isOpenFor(grid, Reading::Cell, end);
    const std::uint64_t corridorSteps =
        corridorEnds ? fewestSteps(grid, Reading::Corridor, start, end) : kNoRoute;
    const std::uint64_t cellSteps =
        cellEnds ? fewestSteps(grid, Reading::Cell, start, end) : kNoRoute;

    // BreadthFirstSearch: minimal steps over the cell graph; an unreached end leaves the end
    // cell alone in the path.
    {
        const char* name = "BreadthFirstSearch";
        const Outcome bfs = solvedAndAbandonedAtEachStage<BreadthFirstSearch>(grid, start, end);
        require(bfs.rejected == !cellEnds, name, "rejected ends do not match open cells");
        if (!bfs.rejected) {
            require(!hasRepeats(bfs.traversed), name, "a cell was recorded twice");
            require(bfs.traversed.front() == start, name, "the start was not recorded first");
            require(bfs.traversedNo == bfs.traversed.size(), name, "TraversedNodesNo differs");
            if (cellSteps != kNoRoute) {
                checkRoute(grid, Reading::Cell, bfs, name, end, start);
                require(bfs.distance == cellSteps && bfs.path.size() == cellSteps + 1, name,
                        "the distance is not the fewest steps, " + std::to_string(cellSteps));
            } else {
                require(bfs.path == std::vector<Index>{end} && bfs.distance == 0, name,
                        "an unreachable end did not leave the end cell alone in the path");
            }
        }
    }

    // The corridor-graph solvers, which all read the same cells.
    const Outcome dfs = solvedAndAbandonedAtEachStage<DepthFirstSearch>(grid, start, end);
    const Outcome dijkstra = solvedAndAbandonedAtEachStage<DijkstraAlgorithm>(grid, start, end);
    const Outcome astar = solvedAndAbandonedAtEachStage<AStar>(grid, start, end);
    const Outcome bellman = solvedAndAbandonedAtEachStage<BellmanFord>(grid, start, end);
    const std::pair<const char*, const Outcome*> searches[] = {
        {"DepthFirstSearch", &dfs},
        {"DijkstraAlgorithm", &dijkstra},
        {"AStar", &astar},
        {"BellmanFord", &bellman},
    };
    for (const auto& [name, outcome] : searches) {
        require(outcome->rejected == !corridorEnds, name, "rejected ends do not match open cells");
        require(outcome->traversedNo == outcome->traversed.size(), name,
                "TraversedNodesNo differs from the recorded cells");
        if (outcome->rejected) {
            continue;
        }
        for (const Index& cell : outcome->traversed) {
            require(isOpenFor(grid, Reading::Corridor, cell), name,
                    "recorded cell " + toString(cell) + " is not open");
        }
        const std::vector<Index>& traversed = outcome->traversed;
        if (outcome == &bellman) {
            require(std::find(traversed.begin(), traversed.end(), start) == traversed.end(), name,
                    "the start cell was recorded");
        } else {
            require(!hasRepeats(traversed), name, "a node was expanded twice");
            require(traversed.front() == start, name, "the start was not expanded first");
        }
        if (corridorSteps == kNoRoute) {
            checkUnreached(*outcome, name);
            continue;
        }
        checkRoute(grid, Reading::Corridor, *outcome, name, end, start);
        const std::uint64_t steps = outcome->path.size() - 1;
        require(steps >= corridorSteps, name, "the route is shorter than the fewest steps");
        if (outcome == &bellman) {
            require(outcome->distance == corridorSteps && steps == corridorSteps, name,
                    "the distance is not the least corridor length");
        } else if (outcome == &dfs) {
            require(outcome->distance == steps, name, "the distance is not the route's length");
        } else {
            // The end node's startDistance: never below the route it reports.
            require(outcome->distance >= steps, name, "the distance is below the route's length");
        }
    }
    // FloydWarshall: exact distance, route start to end, every node recorded in store order.
    {
        const char* name = "FloydWarshall";
        if (FloydWarshall(grid, start, end).graph().nodes.size() > kMaxFloydNodes) {
            return;
        }
        const Outcome floyd = solvedAndAbandonedAtEachStage<FloydWarshall>(grid, start, end);
        require(floyd.rejected == !corridorEnds, name, "rejected ends do not match open cells");
        if (floyd.rejected) {
            return;
        }
        require(floyd.traversed.size() == floyd.nodes, name, "not every node was recorded");
        const std::uint64_t n = floyd.traversed.size();
        require(floyd.traversedNo == n * n * n, name, "TraversedNodesNo is not the cube");
        for (std::size_t i = 1; i < floyd.traversed.size(); ++i) {
            const Index& a = floyd.traversed[i - 1];
            const Index& b = floyd.traversed[i];
            require(a.row < b.row || (a.row == b.row && a.col < b.col), name,
                    "nodes not recorded in row-major order");
        }
        if (corridorSteps != kNoRoute) {
            checkRoute(grid, Reading::Corridor, floyd, name, start, end);
            require(floyd.distance == corridorSteps && floyd.path.size() == corridorSteps + 1,
                    name, "the distance is not the least corridor length");
        } else {
            checkUnreached(floyd, name);
        }
    }
}

} // namespace corridex::checks
