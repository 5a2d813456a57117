# Project-wide compiler settings: strict warnings, and optionally the sanitizers.
# No -ffast-math anywhere: the math library depends on exact IEEE roundings.
if(MSVC)
  add_compile_options(/W4 /utf-8)
  # The C library's fopen and strcpy are used as the C standard has them.
  add_compile_definitions(_CRT_SECURE_NO_WARNINGS)
  if(QM_WERROR)
    add_compile_options(/WX)
  endif()
else()
  add_compile_options(-Wall -Wextra -Wshadow -Wconversion -Wno-sign-conversion -Wpedantic)
  if(QM_WERROR)
    add_compile_options(-Werror)
  endif()
endif()

if(QM_SANITIZE)
  # float-cast-overflow: GCC leaves float-to-integer conversions out of
  # "undefined", and conversions of values from files are exactly what we need
  # to see.
  add_compile_options(-fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Hardening for GCC and Clang outside the sanitizer builds (whose own checks
# these would blur): stack canaries, assertions in the standard library's
# containers, and a relocation table made read-only before main runs. Checked
# libc calls need optimisation, so _FORTIFY_SOURCE comes only with optimised
# build types; it is undefined first, as some toolchains set their own level.
if(NOT WIN32 AND NOT QM_SANITIZE AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options(-fstack-protector-strong -D_GLIBCXX_ASSERTIONS
    "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    add_link_options(-Wl,-z,relro,-z,now)
    # With every symbol bound at load time, a call into a shared library can
    # go straight through its GOT entry, as calls into a DLL go through its
    # import table on Windows, instead of jumping via a PLT stub first. The
    # import calls the host's library some 15 million times for a large file.
    add_compile_options(-fno-plt)
  endif()
endif()
