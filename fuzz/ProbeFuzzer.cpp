// Hostile files through the probe and the description.
#include "fuzz/FuzzChecks.h"
#include "fuzz/FuzzMain.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzcheck::Report(fuzzcheck::CheckProbe(data, size));
    return 0;
}
