# Cross-builds the shipping 32-bit Windows module with Debian's MinGW-w64
# (package g++-mingw-w64-i686-win32). The "-win32" compilers use Windows'
# own threads, so no winpthread DLL is pulled in.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(QM_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# SSE2 arithmetic, as Microsoft's compiler uses for x86 by default: the x87
# unit's wider intermediates would change the math library's exact roundings,
# and loading a float into it can quiet a signalling NaN passed through.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
