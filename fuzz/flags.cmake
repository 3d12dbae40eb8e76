# Compile flags of the fuzz build (cmake -DOMBRA_FUZZ=ON with clang): every
# library is instrumented for libFuzzer's coverage and built with
# AddressSanitizer and UndefinedBehaviorSanitizer; the targets themselves
# link libFuzzer's main (fuzz/CMakeLists.txt).
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "OMBRA_FUZZ needs clang: CC=clang CXX=clang++ cmake -DOMBRA_FUZZ=ON ...")
endif()
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                    -fno-sanitize-recover=undefined)
add_link_options(-fsanitize=address,undefined)
