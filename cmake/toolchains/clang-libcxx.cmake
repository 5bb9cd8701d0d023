# Clang with LLVM's standard library, libc++ (Debian's libc++-dev and libc++abi-dev), instead of
# GCC's libstdc++. Everything linked into one program must use the same standard library, so
# GoogleTest is built with this file too.
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_FLAGS_INIT -stdlib=libc++)
set(CMAKE_EXE_LINKER_FLAGS_INIT -stdlib=libc++)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -stdlib=libc++)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -stdlib=libc++)
