// Small images of every colour format (and some no BMP file can hold) through
// the export, with stops and early destruction; each file is read back.
#include "fuzz/FuzzChecks.h"
#include "fuzz/FuzzMain.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzcheck::SetFuzzPixelLimit();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzcheck::Report(fuzzcheck::CheckExport(data, size));
    return 0;
}
