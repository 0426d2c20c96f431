#include "ToolTestSupport.h"

#include <gtest/gtest.h>

#include <sstream>

namespace tooltest {

std::vector<std::string> Texts(const JsonValue& list) {
    std::vector<std::string> out;
    for (const auto& item : list.items) out.push_back(item.text);
    return out;
}

std::string HexOf(const testsupport::Bytes& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (const auto b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0xF];
    }
    return out;
}

bool ReadWithPillow(const std::string& path, PillowImage& image, std::string& error) {
    const std::string& python = PillowPython();
    if (python.empty()) {
        error = "no python3 with Pillow";
        return false;
    }
    static const char kScript[] =
        "import sys\n"
        "from PIL import Image\n"
        "im = Image.open(sys.argv[1]); im.load()\n"
        "print(im.mode, im.size[0], im.size[1])\n"
        "print(im.convert('RGBA').tobytes().hex())\n";
    const RunResult run = Run({python, "-c", kScript, path});
    if (run.status != 0) {
        error = "Pillow: " + run.err;
        return false;
    }
    std::istringstream in(run.out);
    std::string hex;
    in >> image.mode >> image.width >> image.height >> hex;
    image.rgba.clear();
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        image.rgba.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return true;
}

JsonValue ImportJson(const std::string& path, const std::vector<std::string>& extra,
                     RunResult* run) {
    std::vector<std::string> args = {"import", path, "--json"};
    args.insert(args.end(), extra.begin(), extra.end());
    const RunResult result = Bmphost(args);
    if (run != nullptr) *run = result;
    try {
        return ParseJson(result.out);
    } catch (const std::exception& e) {
        ADD_FAILURE() << e.what() << "\nstdout: " << result.out.substr(0, 2000)
                      << "\nstderr: " << result.err;
        return JsonValue();
    }
}

}  // namespace tooltest
