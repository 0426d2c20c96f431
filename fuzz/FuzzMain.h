#pragma once
// Shared by the three harnesses: the pixel limit the fuzzing runs under and
// the way a finding ends the run.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "orix/TrImage.h"

namespace fuzzcheck {

// Images the fuzzer may make are kept small so that each run stays quick;
// BMP_FUZZ_MAX_PIXELS changes the limit.
inline void SetFuzzPixelLimit() {
    const char* text = std::getenv("BMP_FUZZ_MAX_PIXELS");
    const std::uint64_t limit = text != nullptr ? std::strtoull(text, nullptr, 10) : 1u << 16;
    orix::TrImage::SetPixelLimit(limit);
}

inline void Report(const std::string& why) {
    if (why.empty()) return;
    std::fprintf(stderr, "\n*** finding: %s\n", why.c_str());
    std::abort();
}

// A stop at one of the first progress reports for about one input in 16,
// chosen by the bytes themselves so that every run of an input is the same.
inline long StopFor(const std::uint8_t* data, std::size_t size) {
    std::uint32_t h = 2166136261u;
    for (std::size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 16777619u;
    return h % 16 == 0 ? static_cast<long>((h >> 4) % 6) : -1;
}

}  // namespace fuzzcheck
