// Hostile files through the whole import, the transparency question answered
// yes so that the second pass runs too.
#include "fuzz/FuzzChecks.h"
#include "fuzz/FuzzMain.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzcheck::SetFuzzPixelLimit();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzcheck::Report(fuzzcheck::CheckImport(data, size, fuzzcheck::StopFor(data, size)));
    return 0;
}
