#pragma once

#include "maze/graph_nodes.hpp"
#include "maze/index.hpp"
#include "maze/maze_graph.hpp"
#include "maze/solver_results.hpp"
#include "system/large_block_allocator.hpp"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

namespace corridex {

// What every solver object holds: its results block, then its graph, built once by the
// constructor. A solve that completes is final: later solve() calls return at once. A solve
// abandoned by an exception (an interrupt) is started over by the next solve().
template <class Node>
class SolverBase {
public:
    const SolverResults& results() const { return results_; }
    const MazeGraph<Node>& graph() const { return graph_; }
    // Number of recorded cells, repeats counted.
    std::uint64_t traversedNodesNo() const { return results_.traversed.size(); }

protected:
    SolverBase(MazeGraph<Node> graph, const Index& start, const Index& end)
        : graph_(std::move(graph)), start_(start), end_(end) {}

    // Throws std::invalid_argument when the start or the end cell has no node.
    void requireBothEnds() const {
        if (graph_.startNode == kNoNode) {
            throw std::invalid_argument(describeMissing("start", start_));
        }
        if (graph_.endNode == kNoNode) {
            throw std::invalid_argument(describeMissing("end", end_));
        }
    }

    // Opens a solve: false when an earlier solve completed, so that the call changes nothing.
    // Otherwise checks both ends and clears whatever an abandoned solve left behind.
    bool beginSolve() {
        if (state_ == State::Solved) {
            return false;
        }
        requireBothEnds();
        if (state_ == State::Abandoned) {
            results_ = SolverResults{};
            for (Node& node : graph_.nodes) {
                node.resetSearch();
            }
        }
        state_ = State::Abandoned; // stays so unless finishSolve() is reached
        return true;
    }
    void finishSolve() { state_ = State::Solved; }

    SolverResults results_;
    MazeGraph<Node> graph_;

private:
    static std::string describeMissing(const char* which, const Index& cell) {
        return std::string(which) + ' ' + toString(cell) + " is not an open cell of the grid";
    }

    enum class State { Fresh, Abandoned, Solved };
    Index start_;
    Index end_;
    State state_ = State::Fresh;
};

} // namespace corridex
