# Cross-compiles for 32-bit Windows with MinGW-w64 (Debian's
# gcc-mingw-w64-i686 and g++-mingw-w64-i686).
#
#   cmake -G Ninja -S . -B build-windows \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake ...
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(WENLEI_MINGW_TRIPLET i686-w64-mingw32 CACHE STRING "MinGW-w64 target triplet")

# Debian installs a POSIX-thread variant of the compilers beside the win32
# one, and the plain names point at whichever the alternatives system chose.
# Only the POSIX variant's C++ library has std::mutex and std::thread, which
# the library uses; its thread library (winpthread) is linked in statically
# like the rest of the runtime.
set(CMAKE_C_COMPILER ${WENLEI_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${WENLEI_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${WENLEI_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${WENLEI_MINGW_TRIPLET}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${WENLEI_MINGW_TRIPLET}-ranlib CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${WENLEI_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests that run built programs go through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
