# Shared by the MinGW-w64 toolchain files; they set QM_MINGW_TRIPLET first.
# The "-win32" flavour of each tool is named outright: the plain name follows
# the system's alternatives, which may point at the posix flavour.
find_program(CMAKE_C_COMPILER NAMES ${QM_MINGW_TRIPLET}-gcc-win32 ${QM_MINGW_TRIPLET}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${QM_MINGW_TRIPLET}-g++-win32 ${QM_MINGW_TRIPLET}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${QM_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QM_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
