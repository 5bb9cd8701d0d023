# Clang 21 with libc++ 21, under the names Debian gives them (clang-21, clang++-21, with
# libc++-21-dev and libc++abi-21-dev); otherwise as clang-libcxx.cmake.
include(${CMAKE_CURRENT_LIST_DIR}/clang-libcxx.cmake)
set(CMAKE_C_COMPILER clang-21)
set(CMAKE_CXX_COMPILER clang++-21)
