#pragma once

#include "maze/index.hpp"
#include "maze/inline_list.hpp"

#include <array>
#include <cstddef>
#include <cstdint>

namespace corridex {

// A distance not yet known: the largest signed 64-bit value. Distances are summed and compared
// as unsigned 64-bit numbers, so adding any corridor length to it neither wraps nor comes out
// smaller, and an unreached node never improves a neighbour.
inline constexpr std::uint64_t kUnreached = 0x7FFFFFFFFFFFFFFFULL;

// Nodes refer to one another by their place in the graph's node store, which keeps the records
// small: the store never moves or reorders them, so a place is as stable as a reference.
using NodeId = std::uint32_t;
inline constexpr NodeId kNoNode = UINT32_MAX;

// A node's cell, held as two 32-bit halves to keep the records small: grid sides are below 2^32
// (the builders check). It reads as an Index wherever one is expected.
struct NodePosition {
    std::uint32_t row = 0;
    std::uint32_t col = 0;

    NodePosition() = default;
    NodePosition(std::size_t row, std::size_t col)
        : row(static_cast<std::uint32_t>(row)), col(static_cast<std::uint32_t>(col)) {}
    operator Index() const { return Index{row, col}; }
};

// The sides of a node's cell that lead to a neighbour, as bits of the node's `openSides`. In both
// graphs a node's left and right neighbours are the nodes just before and after it in the
// row-major store, so a node holds only the ids of the nodes above and below it (`above`,
// `below`, kNoNode when that side is closed) and a bit per open side.
enum OpenSide : std::uint8_t { kUp = 1, kDown = 2, kLeft = 4, kRight = 8 };

namespace detail {

// A graph's neighbour order, as the side at each place 0 to 3, with a table giving for each set
// of open sides the open ones listed as places, two bits each with the first lowest, and how
// many there are. Searches walk a node's neighbours through the table in one loop rather than
// testing each side: which sides are open follows no pattern a processor predicts.
struct SideOrder {
    struct OpenPlaces {
        std::uint8_t places = 0;
        std::uint8_t count = 0;
    };

    std::array<OpenSide, 4> sideAtPlace;
    std::array<OpenPlaces, 16> openPlaces;

    constexpr explicit SideOrder(std::array<OpenSide, 4> sides)
        : sideAtPlace(sides), openPlaces{} {
        for (unsigned open = 0; open < 16; ++open) {
            unsigned places = 0;
            unsigned count = 0;
            for (unsigned place = 0; place < 4; ++place) {
                if ((open & sideAtPlace[place]) != 0) {
                    places |= place << (2 * count++);
                }
            }
            openPlaces[open] = {static_cast<std::uint8_t>(places),
                                static_cast<std::uint8_t>(count)};
        }
    }
};

inline constexpr SideOrder kCorridorOrder({kLeft, kUp, kRight, kDown});
inline constexpr SideOrder kCellOrder({kUp, kDown, kLeft, kRight});

// Calls `visit(end)` for the node `ends[place]` of each side open in `openSides`, in `order`,
// except sides whose node is `skip` (kNoNode skips none), without a branch per side. A closed
// side that happens to name `skip` is dropped twice, which changes nothing.
template <class Visit>
void forEachOpenEnd(const NodeId (&ends)[4], unsigned openSides, const SideOrder& order,
                    NodeId skip, Visit&& visit) {
    unsigned skipped = 0;
    for (unsigned place = 0; place < 4; ++place) {
        skipped |= unsigned{ends[place] == skip} * order.sideAtPlace[place];
    }
    const SideOrder::OpenPlaces open = order.openPlaces[openSides & ~skipped & 15U];
    unsigned places = open.places;
    for (unsigned n = 0; n < open.count; ++n, places >>= 2) {
        visit(ends[places & 3U]);
    }
}

} // namespace detail

// One corridor of the corridor graph, seen from one of its ends. Grid sides are below 2^32
// cells (the builders check), so a corridor's length fits in 32 bits.
struct Edge {
    NodeId neighbour = kNoNode;
    std::uint32_t length = 0; // steps along the corridor, at least 1
};

// The node records, one per solver class: the node's cell, its links, the search mark and the
// fields the class's search writes. `resetSearch` restores those fields to their built values.
// A corridor node's corridors, with their lengths, come from `forEachCorridor` and `corridorsOf`
// (maze_graph.hpp).
// Records are kept small (20 to 32 bytes) so that more of a large maze's graph stays in cache.

struct DepthFirstNode {
    NodePosition position;
    NodeId parent = kNoNode;
    std::uint32_t parentDistance = 0; // length of the corridor from `parent`
    NodeId above = kNoNode;           // the far end of the corridor up
    NodeId below = kNoNode;           // the far end of the corridor down
    std::uint8_t openSides = 0;
    bool visited = false;

    void resetSearch() {
        visited = false;
        parent = kNoNode;
        parentDistance = 0;
    }
};

// A cell-graph node.
struct BreadthFirstNode {
    NodePosition position;
    NodeId parent = kNoNode;
    NodeId above = kNoNode; // the node of the cell above
    NodeId below = kNoNode; // the node of the cell below
    std::uint8_t openSides = 0;
    bool visited = false;

    // Calls `visit(neighbour)` for the node of each open cell beside this node, whose own id is
    // `self`, in the order up, down, left, right, except node `skip` (kNoNode skips none).
    template <class Visit>
    void forEachNeighbour(NodeId self, NodeId skip, Visit&& visit) const {
        const NodeId ends[4] = {above, below, self - 1, self + 1};
        detail::forEachOpenEnd(ends, openSides, detail::kCellOrder, skip, visit);
    }

    // The same neighbours as a list.
    InlineList<NodeId, 4> neighbours(NodeId self) const {
        InlineList<NodeId, 4> list;
        forEachNeighbour(self, kNoNode, [&](NodeId next) { list.push_back(next); });
        return list;
    }

    void resetSearch() {
        visited = false;
        parent = kNoNode;
    }
};

// Shared by DijkstraAlgorithm and BellmanFord. Aligned so that no record straddles cache lines.
struct alignas(32) DistanceNode {
    NodePosition position;
    std::uint64_t startDistance = kUnreached;
    NodeId parent = kNoNode;
    NodeId above = kNoNode;
    NodeId below = kNoNode;
    std::uint8_t openSides = 0;
    bool visited = false;

    void resetSearch() {
        visited = false;
        parent = kNoNode;
        startDistance = kUnreached;
    }
};

// AStar's record stores the queue's key, not startDistance: that is the key less the Manhattan
// distance to the end cell, worked out where needed, so the record is as small as DistanceNode.
struct alignas(32) AStarNode {
    NodePosition position;
    std::uint64_t estimatedDistance = kUnreached; // startDistance + Manhattan distance to the end
    NodeId parent = kNoNode;
    NodeId above = kNoNode;
    NodeId below = kNoNode;
    std::uint8_t openSides = 0;
    bool visited = false;

    void resetSearch() {
        visited = false;
        parent = kNoNode;
        estimatedDistance = kUnreached;
    }
};

// FloydWarshall numbers its table rows and columns by node id and keeps no state in the nodes.
struct FloydWarshallNode {
    NodePosition position;
    NodeId above = kNoNode;
    NodeId below = kNoNode;
    std::uint8_t openSides = 0;
};

} // namespace corridex
