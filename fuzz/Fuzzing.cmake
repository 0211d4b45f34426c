# The fuzz build (-DTAMO_FUZZ=ON, see scripts/fuzz.sh): every library is
# instrumented for libFuzzer and checked by AddressSanitizer and
# UndefinedBehaviorSanitizer; any finding ends the run. Sets TAMO_FUZZ_SUPPORTED
# when the compiler can link a libFuzzer target; without it no fuzz target is
# built and the rest of the build is left as it is.
include(CheckCXXSourceCompiles)
set(CMAKE_REQUIRED_FLAGS "-fsanitize=fuzzer,address,undefined")
set(CMAKE_REQUIRED_LINK_OPTIONS "-fsanitize=fuzzer,address,undefined")
check_cxx_source_compiles([[
#include <cstddef>
#include <cstdint>
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *, size_t) { return 0; }
]] TAMO_FUZZ_SUPPORTED)
unset(CMAKE_REQUIRED_FLAGS)
unset(CMAKE_REQUIRED_LINK_OPTIONS)

if(TAMO_FUZZ_SUPPORTED)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
else()
  message(WARNING "${CMAKE_CXX_COMPILER_ID} ${CMAKE_CXX_COMPILER_VERSION} cannot link libFuzzer targets "
                  "(clang and its runtime libraries are needed): no fuzz target is built")
endif()
