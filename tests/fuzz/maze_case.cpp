#include "tests/fuzz/maze_case.hpp"

#include "maze/cancellation.hpp"
#include "solvers/a_star.hpp"
#include "solvers/bellman_ford.hpp"
#include "solvers/breadth_first_search.hpp"
#include "solvers/depth_first_search.hpp"
#include "solvers/dijkstra_algorithm.hpp"
#include "solvers/floyd_warshall.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace corridex::fuzz {
namespace {

class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t next() { return at_ < size_ ? data_[at_++] : 0; }
    // The next cell bit; open once the bytes run out.
    bool nextBit() {
        if (at_ >= size_) {
            return true;
        }
        const bool bit = ((data_[at_] >> bit_) & 1U) != 0;
        if (++bit_ == 8) {
            bit_ = 0;
            ++at_;
        }
        return bit;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
    unsigned bit_ = 0;
};

Index decodeCell(unsigned mode, std::uint8_t row, std::uint8_t col, std::size_t rows,
                 std::size_t width) {
    Index cell{row % (rows + 2), col % (width + 2)};
    if (mode == 1) {
        cell.row = UINT64_MAX;
    } else if (mode == 2) {
        cell.col = UINT64_MAX;
    }
    return cell;
}

[[noreturn]] void fail(const char* solver, const std::string& what) {
    std::fprintf(stderr, "invariant broken in %s: %s\n", solver, what.c_str());
    std::abort();
}

void require(bool holds, const char* solver, const std::string& what) {
    if (!holds) {
        fail(solver, what);
    }
}

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

struct Outcome {
    bool rejected = false; // solve() threw std::invalid_argument
    std::vector<Index> path;
    std::vector<Index> traversed;
    std::uint64_t distance = 0;
    std::uint64_t traversedNo = 0;
    std::size_t nodes = 0;

    bool sameResults(const Outcome& other) const {
        return rejected == other.rejected && path == other.path && traversed == other.traversed &&
               distance == other.distance && traversedNo == other.traversedNo;
    }
};

template <class Solver>
void record(const Solver& solver, Outcome& outcome) {
    // Copied element by element: the results may use their own allocator.
    outcome.path.assign(solver.results().path.begin(), solver.results().path.end());
    outcome.traversed.assign(solver.results().traversed.begin(), solver.results().traversed.end());
    outcome.distance = solver.results().distance;
    outcome.traversedNo = solver.traversedNodesNo();
    outcome.nodes = solver.graph().nodes.size();
}

template <class Solver>
Outcome solveOnce(Solver& solver, CancellationPoll poll = CancellationPoll{}) {
    Outcome outcome;
    try {
        solver.solve(std::move(poll));
    } catch (const std::invalid_argument&) {
        outcome.rejected = true;
    }
    record(solver, outcome);
    return outcome;
}

struct Abandoned {};

// Solves a fresh object, then checks what a second solve() does, and that a solve abandoned at
// its first poll is redone by the next solve() to the same results.
template <class Solver>
Outcome solveChecked(const MazeCase& maze, const char* name, bool repeatsAppend) {
    Solver solver(maze.grid, maze.start, maze.end);
    Outcome first = solveOnce(solver); // returned, so not const: it moves out

    const Outcome second = solveOnce(solver);
    if (repeatsAppend && !first.rejected) {
        std::vector<Index> doubledPath = first.path;
        doubledPath.insert(doubledPath.end(), first.path.begin(), first.path.end());
        std::vector<Index> doubledTraversed = first.traversed;
        doubledTraversed.insert(doubledTraversed.end(), first.traversed.begin(),
                                first.traversed.end());
        require(second.path == doubledPath && second.traversed == doubledTraversed &&
                    second.distance == first.distance,
                name, "a second solve() did not append a second copy of the results");
    } else {
        require(second.sameResults(first), name, "a second solve() changed the results");
    }

    Solver interrupted(maze.grid, maze.start, maze.end);
    bool abandoned = false;
    try {
        solveOnce(interrupted, CancellationPoll([] { throw Abandoned{}; }));
    } catch (const Abandoned&) {
        abandoned = true;
    }
    if (abandoned) {
        const Outcome redone = solveOnce(interrupted);
        require(redone.sameResults(first), name,
                "a solve() after an abandoned one differs from a fresh object's");
    }
    return first;
}

bool hasRepeats(std::vector<Index> cells) {
    auto less = [](const Index& a, const Index& b) {
        return a.row != b.row ? a.row < b.row : a.col < b.col;
    };
    std::sort(cells.begin(), cells.end(), less);
    return std::adjacent_find(cells.begin(), cells.end()) != cells.end();
}

void checkRoute(const MazeCase& maze, Reading reading, const Outcome& outcome, const char* name,
                const Index& first, const Index& last) {
    const std::vector<Index>& path = outcome.path;
    require(!path.empty(), name, "the end was reached but the path is empty");
    require(path.front() == first && path.back() == last, name,
            "the path does not run between the start and end cells");
    for (std::size_t i = 0; i < path.size(); ++i) {
        require(isOpenFor(maze.grid, reading, path[i]), name,
                "path cell " + toString(path[i]) + " is not open");
        if (i > 0) {
            require(manhattanDistance(path[i - 1], path[i]) == 1, name,
                    "path cells " + toString(path[i - 1]) + " and " + toString(path[i]) +
                        " are not one step apart");
        }
    }
    require(!hasRepeats(path), name, "the path visits a cell twice");
}

void checkUnreached(const Outcome& outcome, const char* name) {
    require(outcome.path.empty() && outcome.distance == 0, name,
            "an unreachable end produced a route");
}

} // namespace

MazeCase decodeMazeCase(const std::uint8_t* data, std::size_t size) {
    ByteReader bytes(data, size);
    MazeCase maze;
    const std::size_t rows = bytes.next() % (kMaxSide + 1);
    const std::size_t width = bytes.next() % (kMaxSide + 1);
    const std::uint8_t flags = bytes.next();
    maze.ragged = (flags & 1U) != 0;
    const std::uint8_t startRow = bytes.next();
    const std::uint8_t startCol = bytes.next();
    const std::uint8_t endRow = bytes.next();
    const std::uint8_t endCol = bytes.next();
    maze.start = decodeCell((flags >> 1) & 3U, startRow, startCol, rows, width);
    maze.end = decodeCell((flags >> 3) & 3U, endRow, endCol, rows, width);

    std::vector<std::size_t> lengths(rows, width);
    if (maze.ragged) {
        for (std::size_t r = 1; r < rows; ++r) {
            lengths[r] = bytes.next() % (kMaxSide + 8);
        }
    }
    for (std::size_t r = 0; r < rows; ++r) {
        std::uint8_t* cells = maze.grid.appendRow(lengths[r]);
        for (std::size_t c = 0; c < lengths[r]; ++c) {
            cells[c] = bytes.nextBit() ? 1 : 0;
        }
    }
    return maze;
}

void checkEverySolver(const MazeCase& maze) {
    const Grid& grid = maze.grid;
    const bool corridorEnds = isOpenFor(grid, Reading::Corridor, maze.start) &&
                              isOpenFor(grid, Reading::Corridor, maze.end);
    const bool cellEnds =
        isOpenFor(grid, Reading::Cell, maze.start) && isOpenFor(grid, Reading::Cell, maze.end);
    const std::uint64_t corridorSteps =
        corridorEnds ? fewestSteps(grid, Reading::Corridor, maze.start, maze.end) : kNoRoute;
    const std::uint64_t cellSteps =
        cellEnds ? fewestSteps(grid, Reading::Cell, maze.start, maze.end) : kNoRoute;

    // BreadthFirstSearch: minimal steps over the cell graph; an unreached end leaves the end
    // cell alone in the path.
    {
        const char* name = "BreadthFirstSearch";
        const Outcome bfs = solveChecked<BreadthFirstSearch>(maze, name, false);
        require(bfs.rejected == !cellEnds, name, "rejected ends do not match open cells");
        if (!bfs.rejected) {
            require(!hasRepeats(bfs.traversed), name, "a cell was recorded twice");
            require(bfs.traversed.front() == maze.start, name, "the start was not recorded first");
            require(bfs.traversedNo == bfs.traversed.size(), name, "TraversedNodesNo differs");
            if (cellSteps != kNoRoute) {
                checkRoute(maze, Reading::Cell, bfs, name, maze.end, maze.start);
                require(bfs.distance == cellSteps && bfs.path.size() == cellSteps + 1, name,
                        "the distance is not the fewest steps, " + std::to_string(cellSteps));
            } else {
                require(bfs.path == std::vector<Index>{maze.end} && bfs.distance == 0, name,
                        "an unreachable end did not leave the end cell alone in the path");
            }
        }
    }

    // The corridor-graph solvers, which all read the same cells.
    const Outcome dfs = solveChecked<DepthFirstSearch>(maze, "DepthFirstSearch", false);
    const Outcome dijkstra = solveChecked<DijkstraAlgorithm>(maze, "DijkstraAlgorithm", false);
    const Outcome astar = solveChecked<AStar>(maze, "AStar", false);
    const Outcome bellman = solveChecked<BellmanFord>(maze, "BellmanFord", false);
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
            require(outcome->traversed.empty() && outcome->path.empty(), name,
                    "a rejected solve recorded something");
            continue;
        }
        for (const Index& cell : outcome->traversed) {
            require(isOpenFor(grid, Reading::Corridor, cell), name,
                    "recorded cell " + toString(cell) + " is not open");
        }
        const std::vector<Index>& traversed = outcome->traversed;
        if (outcome == &bellman) {
            require(std::find(traversed.begin(), traversed.end(), maze.start) == traversed.end(),
                    name, "the start cell was recorded");
        } else {
            require(!hasRepeats(traversed), name, "a node was expanded twice");
            require(traversed.front() == maze.start, name, "the start was not expanded first");
        }
        if (corridorSteps == kNoRoute) {
            checkUnreached(*outcome, name);
            continue;
        }
        checkRoute(maze, Reading::Corridor, *outcome, name, maze.end, maze.start);
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
        FloydWarshall sizing(grid, maze.start, maze.end);
        if (sizing.graph().nodes.size() > kMaxFloydNodes) {
            return;
        }
        const Outcome floyd = solveChecked<FloydWarshall>(maze, name, true);
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
            checkRoute(maze, Reading::Corridor, floyd, name, maze.start, maze.end);
            require(floyd.distance == corridorSteps && floyd.path.size() == corridorSteps + 1,
                    name, "the distance is not the least corridor length");
        } else {
            checkUnreached(floyd, name);
        }
    }
}

} // namespace corridex::fuzz
