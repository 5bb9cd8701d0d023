// libFuzzer entry point: every input is a maze, a start and an end (see maze_case.hpp), solved
// by every solver with each result checked.
#include "tests/fuzz/maze_case.hpp"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corridex::fuzz::checkEverySolver(corridex::fuzz::decodeMazeCase(data, size));
    return 0;
}
