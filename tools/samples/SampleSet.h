#pragma once
// The sample set of the main job: small BMP files covering every bit depth,
// compression and header form the module reads, plus a few it refuses.
#include <cstdint>
#include <string>
#include <vector>

namespace samples {

struct Sample {
    std::string name;         // file name
    std::string label;        // what the file exercises, for people
    std::string expectation;  // "ok", "question" (asks to make it opaque) or "error LINE"
    std::vector<std::uint8_t> bytes;
};

std::vector<Sample> MakeSamples();

}  // namespace samples
