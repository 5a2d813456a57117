# AddressSanitizer and UndefinedBehaviorSanitizer on every target, with
# QM_SANITIZE (the sanitize preset and the fuzz build).
if(QM_SANITIZE)
  # float-cast-overflow: GCC leaves float-to-integer conversions out of
  # "undefined", and conversions of values from files are exactly what we need
  # to see.
  add_compile_options(-fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
