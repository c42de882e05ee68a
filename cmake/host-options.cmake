# Options of the Linux build, read before any target is made so that they reach every target:
# everything under the sanitizers, or only the fuzz targets (built with clang and libFuzzer).
option(ZEP_SANITIZE "Build everything with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(ZEP_FUZZ "Build only the fuzz targets of tests/fuzz (needs clang)" OFF)
if(ZEP_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -g)
  add_link_options(-fsanitize=address,undefined)
elseif(ZEP_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
endif()

