#pragma once

#include "maze/cancellation.hpp"
#include "maze/graph_nodes.hpp"
#include "maze/index.hpp"
#include "maze/maze_graph.hpp"
#include "maze/solver_results.hpp"
#include "solvers/node_heap.hpp"
#include "system/large_block_allocator.hpp"

#include <cstddef>
#include <cstdint>

namespace corridex {

namespace detail {

// A heap of more entries than this moves its entries to a KeyedNodeHeap, which keeps a copy of
// each key (see heap_keys::KeptInHeap): the same order, cheaper comparisons once large.
inline constexpr std::size_t kKeyedHeapEntries = 2048;

} // namespace detail

// What a KeyedNodeHeap holds per node of the graph: a key, a node and a slot.
inline constexpr std::size_t kHeapBytesPerNode =
    sizeof(std::uint64_t) + sizeof(NodeId) + sizeof(std::uint32_t);

namespace detail {

// Expands the top of `heap` until the target is on top, the heap runs empty (true either way),
// or the heap holds more than `limit` entries (false).
template <class Node, class Rule, class Heap>
bool expandFrom(Heap& heap, MazeGraph<Node>& graph, LargeVector<Index>& traversed,
                const Rule& rule, CancellationPoll& poll, std::size_t limit) {
    while (!heap.empty()) {
        if (heap.size() > limit) {
            return false;
        }
        poll.tick();
        const NodeId id = heap.top();
        const Node& node = graph[id];
        traversed.push_back(node.position);
        if (id == graph.endNode) {
            return true;
        }
        heap.pop();
        const std::uint64_t startDistance = rule.startDistance(node);
        // The corridor back to the parent is skipped: it cannot improve the parent, whose distance
        // plus the corridor gave this node its own, and distances only fall. Without it, the
        // tests below come out the same way again and again on a maze without loops.
        forEachCorridor(graph.nodes, id, node.parent, [&](const Edge& edge) {
            Node& neighbour = graph[edge.neighbour];
            if (!rule.lower(neighbour, startDistance + edge.length)) {
                return;
            }
            neighbour.parent = id;
            if (neighbour.visited) {
                heap.lowered(edge.neighbour);
                return;
            }
            neighbour.visited = true;
            heap.push(edge.neighbour);
            prefetchNeighbours(graph, edge.neighbour); // read when it is expanded
        });
    }
    return true;
}

} // namespace detail

// The search that DijkstraAlgorithm and AStar share: expand the top of a NodeHeap, recording each
// expanded cell, until the target is on top or the heap runs empty. Each edge of an expanded node
// offers its neighbour a route of the node's startDistance plus the corridor, taken when strictly
// shorter (whether or not the neighbour was expanded); a node enters the heap once. A heap that
// grows past detail::kKeyedHeapEntries carries on as a KeyedNodeHeap, in the same order. `Rule`
// says how a record holds its distance:
//   std::uint64_t key(const Node&) const            the heap's key
//   std::uint64_t startDistance(const Node&) const
//   bool lower(Node&, std::uint64_t distance) const stores `distance` if strictly shorter
// The start node must already be marked visited, with its distance set.
template <class Node, class Rule>
void bestFirstSearch(MazeGraph<Node>& graph, LargeVector<Index>& traversed, const Rule& rule,
                     CancellationPoll& poll) {
    traversed.reserve(traversed.size() + graph.nodes.size());
    const Node* nodes = graph.nodes.data();
    auto key = [nodes, rule](NodeId id) { return rule.key(nodes[id]); };
    NodeHeap<decltype(key)> heap(key);
    heap.push(graph.startNode);
    if (detail::expandFrom(heap, graph, traversed, rule, poll, detail::kKeyedHeapEntries)) {
        return;
    }
    KeyedNodeHeap<decltype(key)> keyed(key, graph.nodes.size(), heap);
    detail::expandFrom(keyed, graph, traversed, rule, poll, SIZE_MAX);
}

// After a best-first search: when the end cell was the last one expanded, the route from the
// end back to the start and the end node's startDistance as its length.
template <class Node, class Rule>
void reconstructFromEnd(SolverResults& results, const MazeGraph<Node>& graph, const Rule& rule,
                        CancellationPoll& poll) {
    const Node& end = graph[graph.endNode];
    if (reachedEnd(results, end.position)) {
        tracePath(results, graph.nodes, graph.endNode, poll);
        results.distance = rule.startDistance(end);
    }
}

} // namespace corridex
