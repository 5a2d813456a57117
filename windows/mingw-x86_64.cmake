# Cross-builds the module for 64-bit Windows with Debian's MinGW-w64 (package
# g++-mingw-w64-x86-64-win32): the build that wine64 can load and run here.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(QM_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
