#include "maze/index.hpp"

namespace corridex {

std::string toString(const Index& index) {
    return std::to_string(index.row) + ',' + std::to_string(index.col);
}

} // namespace corridex
