// One libFuzzer target: FUZZ_CHECK names the check it runs (CMakeLists.txt).
#include <cstdio>
#include <cstdlib>

#include "fuzz/FuzzChecks.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzcheck::SetFuzzPixelLimit();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string why = fuzzcheck::FUZZ_CHECK(data, size);
    if (why.empty()) return 0;
    std::fprintf(stderr, "\n*** finding: %s\n", why.c_str());
    std::abort();
}
