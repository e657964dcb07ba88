# Toolchain for the 32-bit Windows build (scripts/build-windows.sh): Debian's
# mingw-w64 i686 compilers, in one of their two thread models
# (QM_MINGW_THREADS, from the command line or the environment):
#   posix  g++-mingw-w64-i686-posix: std::thread, std::mutex and
#          std::condition_variable over winpthreads, which is linked in; its
#          GetTickCount64 (Vista) is windows/tick_count.cpp's, not imported,
#          so the DLLs load on Windows XP.
#   win32  g++-mingw-w64-i686-win32: no winpthreads, nothing newer than
#          Windows XP imported; but GCC 12 has no std::thread, std::mutex or
#          std::condition_variable there, so threads, locks and waits must
#          come from Win32 directly.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

if(NOT QM_MINGW_THREADS)
  set(QM_MINGW_THREADS "$ENV{QM_MINGW_THREADS}")
endif()
if(NOT QM_MINGW_THREADS)
  set(QM_MINGW_THREADS posix)
endif()
if(NOT QM_MINGW_THREADS MATCHES "^(posix|win32)$")
  message(FATAL_ERROR "QM_MINGW_THREADS is posix or win32, not '${QM_MINGW_THREADS}'")
endif()
set(QM_MINGW_THREADS ${QM_MINGW_THREADS} CACHE STRING "thread model of the mingw-w64 toolchain" FORCE)
# CMake's own test projects read this file too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QM_MINGW_THREADS)

set(_prefix i686-w64-mingw32)
set(CMAKE_C_COMPILER ${_prefix}-gcc-${QM_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${_prefix}-g++-${QM_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${_prefix}-windres)
# The binutils carry no thread-model suffix, so CMake cannot derive them.
set(CMAKE_AR ${_prefix}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${_prefix}-ranlib CACHE FILEPATH "")
set(CMAKE_NM ${_prefix}-nm CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${_prefix}-objdump CACHE FILEPATH "")
set(CMAKE_DLLTOOL ${_prefix}-dlltool CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
