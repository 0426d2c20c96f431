#pragma once
// Shared pieces of the command-line host's tests.
#include <string>
#include <vector>

#include "JsonValue.h"
#include "Subprocess.h"
#include "support/BmpBuilder.h"

namespace tooltest {

std::string HexOf(const testsupport::Bytes& bytes);

// The texts of a JSON list, in order.
std::vector<std::string> Texts(const JsonValue& list);

// Pixels as Pillow decodes a file: mode and RGBA bytes, row 0 at the top.
struct PillowImage {
    std::string mode;
    int width = 0;
    int height = 0;
    testsupport::Bytes rgba;
};
// False when Pillow is missing or cannot read the file (`error` says why).
bool ReadWithPillow(const std::string& path, PillowImage& image, std::string& error);

// bmphost import --json on `path`, parsed; fails the test on unparsable text.
JsonValue ImportJson(const std::string& path, const std::vector<std::string>& extra = {},
                     RunResult* run = nullptr);

}  // namespace tooltest
