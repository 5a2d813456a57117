# Project-wide compiler settings: strict warnings, and optionally the sanitizers.
# No -ffast-math anywhere: the math library depends on exact IEEE roundings.
if(MSVC)
  add_compile_options(/W4 /utf-8)
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
