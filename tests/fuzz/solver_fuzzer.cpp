// libFuzzer entry point: every input is a maze, a start and an end (see maze_case.hpp), solved
// by every solver with each result checked; a broken invariant aborts the run.
#include "tests/fuzz/maze_case.hpp"
#include "tests/support/solver_checks.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const corridex::fuzz::MazeCase maze = corridex::fuzz::decodeMazeCase(data, size);
    try {
        corridex::checks::checkEverySolver(maze.grid, maze.start, maze.end);
    } catch (const corridex::checks::BrokenInvariant& broken) {
        std::fprintf(stderr, "%s\n", broken.what());
        std::abort();
    }
    return 0;
}
