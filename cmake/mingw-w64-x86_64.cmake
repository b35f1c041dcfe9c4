# Cross compiling for 64-bit Windows with Debian's MinGW-w64 compiler (g++-mingw-w64-x86-64).
# The program is linked statically, so nmkite.exe needs no runtime DLLs beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(NMKITE_MINGW x86_64-w64-mingw32)
# The posix-threads variant first: it has the complete C++ threading library.
find_program(CMAKE_CXX_COMPILER NAMES ${NMKITE_MINGW}-g++-posix ${NMKITE_MINGW}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${NMKITE_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${NMKITE_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
