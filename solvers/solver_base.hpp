#pragma once

#include "maze/graph_nodes.hpp"
#include "maze/index.hpp"
#include "maze/maze_graph.hpp"
#include "maze/solver_results.hpp"
#include "system/large_block_allocator.hpp"
#include "system/memory_budget.hpp"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

namespace corridex {

// What every solver object holds: its results block, then its graph, built once by the
// constructor. A solve that completes is final: later solve() calls return at once. A solve
// abandoned by an exception (an interrupt) reports no route and is started over by the next
// solve(). A solve() called while one runs (from the cancellation poll) throws at once.
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

    // One solve() call in progress; see beginSolve(). Ends the call when it goes: as a
    // completed solve after finish(), otherwise (an exception, an interrupt) as an abandoned one,
    // which leaves no route and a distance of 0 (the cells recorded so far stay readable) and is
    // started over by the next solve().
    class SolveRun {
        // Drops the cells past `size`; erasing the tail never allocates, so never throws.
        static void truncate(LargeVector<Index>& cells, std::size_t size) noexcept {
            if (size < cells.size()) {
                cells.erase(cells.begin() + static_cast<std::ptrdiff_t>(size), cells.end());
            }
        }

    public:
        SolveRun(const SolveRun&) = delete;
        SolveRun& operator=(const SolveRun&) = delete;
        ~SolveRun() {
            if (base_ == nullptr) {
                return;
            }
            base_->running_ = false;
            if (finished_) {
                return;
            }
            base_->state_ = base_->state_ == State::Solved ? State::Solved : State::Abandoned;
            SolverResults& results = base_->results_;
            if (pathSize_ == 0) {
                LargeVector<Index>().swap(results.path);
            } else {
                truncate(results.path, pathSize_);
            }
            if (traversedSize_ != kKeepRecorded) {
                truncate(results.traversed, traversedSize_);
            }
            results.distance = distance_;
        }
        // False when the call has nothing to do: an earlier solve completed.
        explicit operator bool() const { return base_ != nullptr; }
        // The solve completed: its results are final.
        void finish() {
            finished_ = true;
            base_->state_ = State::Solved;
        }

    private:
        friend class SolverBase;
        static constexpr std::size_t kKeepRecorded = SIZE_MAX;
        SolveRun(SolverBase* base, bool keepRecorded)
            : base_(base), pathSize_(base == nullptr ? 0 : base->results_.path.size()),
              traversedSize_(base == nullptr || keepRecorded ? kKeepRecorded
                                                             : base->results_.traversed.size()),
              distance_(base == nullptr ? 0 : base->results_.distance) {
            if (base_ != nullptr) {
                base_->running_ = true;
            }
        }
        SolverBase* base_;
        std::size_t pathSize_;
        std::size_t traversedSize_;
        std::uint64_t distance_;
        bool finished_ = false;
    };

    // Opens a solve. Throws std::logic_error when a solve() of this object is running already
    // (called again from its cancellation poll), before anything changes; std::invalid_argument
    // when an end has no node. The run is empty (false) when an earlier solve completed, so that
    // the call changes nothing. Otherwise clears whatever an abandoned solve left behind.
    // `what` names the solver and `bytesPerNode` is what its search allocates per node of the
    // graph (recorded cells, queue, stack or heap): when that does not fit in the memory the
    // process can still get, std::bad_alloc says so before anything is allocated.
    SolveRun beginSolve(const char* what, std::uint64_t bytesPerNode) {
        requireNotRunning();
        if (state_ == State::Solved) {
            return SolveRun(nullptr, true);
        }
        requireBothEnds();
        if (state_ == State::Abandoned) {
            results_ = SolverResults{};
            for (Node& node : graph_.nodes) {
                node.resetSearch();
            }
        }
        requireFitsInMemory(checkedProduct(graph_.nodes.size(), bytesPerNode, what, "its search"),
                            what, "its search");
        state_ = State::Abandoned; // stays so unless the run finishes
        return SolveRun(this, true);
    }

    // Opens a solve that repeats the work each time and appends to the results. An abandoned
    // run leaves the results exactly as they were before it. Throws as beginSolve() does.
    SolveRun beginRepeatedSolve() {
        requireNotRunning();
        requireBothEnds();
        return SolveRun(this, false);
    }

    SolverResults results_;
    MazeGraph<Node> graph_;

private:
    static std::string describeMissing(const char* which, const Index& cell) {
        return std::string(which) + ' ' + toString(cell) + " is not an open cell of the grid";
    }

    void requireNotRunning() const {
        if (running_) {
            throw std::logic_error("solve() is already running on this object");
        }
    }

    enum class State { Fresh, Abandoned, Solved };
    Index start_;
    Index end_;
    State state_ = State::Fresh;
    bool running_ = false;
};

} // namespace corridex
