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
