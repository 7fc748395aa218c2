# Cross-compiles for 64-bit Windows with MinGW-w64 (Debian's
# gcc-mingw-w64-x86-64 and g++-mingw-w64-x86-64).
#
#   cmake -G Ninja -S . -B build-windows/x64 \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake ...
set(WENLEI_MINGW_TRIPLET x86_64-w64-mingw32 CACHE STRING "MinGW-w64 target triplet")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
