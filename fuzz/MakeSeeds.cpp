// Writes the export target's seeds: small images of every colour format. The
// import and probe targets start from the main job's sample set (bmpsamples),
// which holds a file of every header form, depth and compression.
//   make_seeds DIR   -> DIR/export/*
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;
using Seeds = std::vector<std::pair<std::string, Bytes>>;

namespace {

// Laid out as the export check reads them: format, width, height, control,
// colour count, colour entries, row bytes.
Seeds ExportSeeds() {
    Seeds seeds;
    for (int format = 0; format < 12; ++format)
        for (int size : {1, 7, 48}) {
            Bytes b = {std::uint8_t(format), std::uint8_t(size - 1), std::uint8_t(size - 1), 0, 4};
            for (int i = 0; i < 16 + size * size * 4; ++i) b.push_back(std::uint8_t(i * 29));
            seeds.emplace_back("format" + std::to_string(format) + "-" + std::to_string(size), b);
        }
    seeds.push_back({"empty", {8, 255, 3, 0, 0}});
    return seeds;
}

bool WriteAll(const std::filesystem::path& dir, const Seeds& seeds) {
    std::filesystem::create_directories(dir);
    for (const auto& [name, bytes] : seeds) {
        FILE* f = std::fopen((dir / name).c_str(), "wb");
        const bool ok =
            f != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        if (f == nullptr || std::fclose(f) != 0 || !ok) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds DIR\n");
        return 2;
    }
    if (!WriteAll(std::filesystem::path(argv[1]) / "export", ExportSeeds())) {
        std::fprintf(stderr, "make_seeds: cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
