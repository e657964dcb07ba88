# Toolchain for the 32-bit Windows build (scripts/build-windows.sh): Debian's
# mingw-w64 i686 compilers with POSIX threads (std::thread, std::mutex).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(_prefix i686-w64-mingw32)
set(CMAKE_C_COMPILER ${_prefix}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_prefix}-g++-posix)
set(CMAKE_RC_COMPILER ${_prefix}-windres)
# The binutils carry no "-posix" suffix, so CMake cannot derive them.
set(CMAKE_AR ${_prefix}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${_prefix}-ranlib CACHE FILEPATH "")
set(CMAKE_NM ${_prefix}-nm CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${_prefix}-objdump CACHE FILEPATH "")
set(CMAKE_DLLTOOL ${_prefix}-dlltool CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
