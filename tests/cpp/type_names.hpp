#pragma once

#include "maze/graph_nodes.hpp"
#include "solvers/a_star.hpp"
#include "solvers/bellman_ford.hpp"
#include "solvers/breadth_first_search.hpp"
#include "solvers/depth_first_search.hpp"
#include "solvers/dijkstra_algorithm.hpp"
#include "solvers/floyd_warshall.hpp"

#include <string>
#include <type_traits>

namespace corridex::testing {

// Names typed tests after their solver class or node record, so that a failure names it.
class TypeNames {
public:
    template <class T>
    static std::string GetName(int /*index*/) {
        return nameOf<T>();
    }

private:
    template <class T>
    static const char* nameOf() {
        if constexpr (std::is_same_v<T, DepthFirstSearch>) {
            return "DepthFirstSearch";
        } else if constexpr (std::is_same_v<T, BreadthFirstSearch>) {
            return "BreadthFirstSearch";
        } else if constexpr (std::is_same_v<T, DijkstraAlgorithm>) {
            return "DijkstraAlgorithm";
        } else if constexpr (std::is_same_v<T, AStar>) {
            return "AStar";
        } else if constexpr (std::is_same_v<T, BellmanFord>) {
            return "BellmanFord";
        } else if constexpr (std::is_same_v<T, FloydWarshall>) {
            return "FloydWarshall";
        } else if constexpr (std::is_same_v<T, DepthFirstNode>) {
            return "DepthFirstNode";
        } else if constexpr (std::is_same_v<T, DistanceNode>) {
            return "DistanceNode";
        } else if constexpr (std::is_same_v<T, AStarNode>) {
            return "AStarNode";
        } else {
            static_assert(std::is_same_v<T, FloydWarshallNode>, "a type without a name");
            return "FloydWarshallNode";
        }
    }
};

} // namespace corridex::testing
