#pragma once

// Invariant checks on solver results, shared by the C++ tests and the fuzz target. A broken
// invariant throws BrokenInvariant, naming the solver and what broke.

#include "maze/cancellation.hpp"
#include "maze/grid.hpp"
#include "maze/index.hpp"
#include "solvers/all_solvers.hpp"
#include "tests/support/solver_promises.hpp"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace corridex::checks {

struct BrokenInvariant : std::logic_error {
    using std::logic_error::logic_error;
};

// Throws BrokenInvariant unless `holds`.
void require(bool holds, const char* solver, const std::string& what);

// What a solver holds after a solve(), copied out so that it outlives later solves.
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
Outcome outcomeOf(const Solver& solver, bool rejected = false) {
    Outcome outcome;
    outcome.rejected = rejected;
    // Copied element by element: the results may use their own allocator.
    outcome.path.assign(solver.results().path.begin(), solver.results().path.end());
    outcome.traversed.assign(solver.results().traversed.begin(), solver.results().traversed.end());
    outcome.distance = solver.results().distance;
    outcome.traversedNo = solver.traversedNodesNo();
    outcome.nodes = solver.graph().nodes.size();
    return outcome;
}

// Solves, counting a missing start or end (std::invalid_argument) as an outcome.
template <class Solver>
Outcome solveOnce(Solver& solver, CancellationPoll poll = CancellationPoll{}) {
    try {
        solver.solve(std::move(poll));
    } catch (const std::invalid_argument&) {
        return outcomeOf(solver, true);
    }
    return outcomeOf(solver);
}

// Thrown by the poll of abandonAt.
struct Abandoned {};

// A poll, every `interval` units of work, that abandons the solve at its `nth` call.
CancellationPoll abandonAt(int nth, std::int64_t interval = CancellationPoll::kDefaultInterval);

struct Solves {
    Outcome fresh;          // a fresh object's first solve()
    bool abandoned = false; // whether the abandoning poll fired
    Outcome partial;        // what the abandoned solve left
};

// Solves a fresh object, checks that a rejected solve recorded nothing and what a second
// solve() does (its SecondSolve promise);
// then abandons another object's solve() with `abandoning` and checks that what it left is no
// more than a full solve records and that the next solve() gives the fresh object's results.
template <class Solver>
Solves solveChecked(const Grid& grid, const Index& start, const Index& end,
                    CancellationPoll abandoning = abandonAt(1)) {
    constexpr const Promises& promises = promisesOf<Solver>();
    const char* name = Solver::kName;
    Solver solver(grid, start, end);
    Solves solves{solveOnce(solver), false, {}};
    const Outcome& first = solves.fresh;
    require(!first.rejected || (first.path.empty() && first.traversed.empty()), name,
            "a rejected solve recorded something");

    const Outcome second = solveOnce(solver);
    if (promises.secondSolve == SecondSolve::Appends && !first.rejected) {
        std::vector<Index> doubledPath = first.path;
        doubledPath.insert(doubledPath.end(), first.path.begin(), first.path.end());
        std::vector<Index> doubledTraversed = first.traversed;
        doubledTraversed.insert(doubledTraversed.end(), first.traversed.begin(),
                                first.traversed.end());
        const std::uint64_t n = doubledTraversed.size();
        require(second.path == doubledPath && second.traversed == doubledTraversed &&
                    second.distance == first.distance &&
                    second.traversedNo == (promises.count == Count::Cube ? n * n * n : n),
                name, "a second solve() did not append a second copy of the results");
    } else {
        require(second.sameResults(first), name, "a second solve() changed the results");
    }

    Solver interrupted(grid, start, end);
    try {
        solveOnce(interrupted, std::move(abandoning));
    } catch (const Abandoned&) {
        solves.abandoned = true;
        solves.partial = outcomeOf(interrupted);
    }
    if (solves.abandoned) {
        require(solves.partial.traversed.size() <= first.traversed.size() &&
                    solves.partial.path.size() <= first.path.size(),
                name, "an abandoned solve() recorded more than a full one");
        require(solveOnce(interrupted).sameResults(first), name,
                "a solve() after an abandoned one differs from a fresh object's");
    }
    return solves;
}

// Runs every solver on the maze through solveChecked and checks each result against the
// promises of its class (kPromises): routes chained by single steps between the right cells
// without repeats, distances against a plain grid BFS, what is recorded, a missing end reported
// exactly when the cell has no node. A solver with a size limit skips larger graphs.
void checkEverySolver(const Grid& grid, const Index& start, const Index& end);

} // namespace corridex::checks
