# Strict warnings on every target, errors with QM_WERROR.
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
