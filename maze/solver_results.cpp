#include "maze/solver_results.hpp"

#include <stdexcept>

namespace corridex {

bool reachedEnd(const SolverResults& results, const Index& endPosition) {
    return results.traversed.back() == endPosition;
}

void extendPath(LargeVector<Index>& path, const Index& target) {
    if (path.empty()) {
        path.push_back(target);
        return;
    }
    const Index last = path.back();
    if (manhattanDistance(last, target) == 1) {
        path.push_back(target);
        return;
    }
    const bool alongRows = last.row != target.row;
    if (alongRows && last.col != target.col) {
        throw std::logic_error("route cells " + toString(last) + " and " + toString(target) +
                               " share neither a row nor a column");
    }
    std::uint64_t Index::* axis = alongRows ? &Index::row : &Index::col;
    const bool forward = last.*axis < target.*axis;
    const std::uint64_t steps = forward ? target.*axis - last.*axis : last.*axis - target.*axis;
    const std::size_t first = path.size();
    path.resize(first + steps, last);
    std::uint64_t coordinate = last.*axis;
    for (std::size_t i = first; i < path.size(); ++i) {
        coordinate = forward ? coordinate + 1 : coordinate - 1;
        path[i].*axis = coordinate;
    }
}

} // namespace corridex
