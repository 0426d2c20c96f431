// The fuzz targets' checks in the normal test run, without libFuzzer: the
// sample set of bmpsamples, also cut short and with header fields and pixel
// bytes damaged, and the export seeds of make_seeds, also stopped and
// abandoned.
//   fuzz_replay SAMPLES_DIR EXPORT_SEEDS_DIR
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "fuzz/FuzzChecks.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Header fields (offset, bytes, value) set to values at or past their limits.
const std::uint32_t kDamage[][3] = {
    {0, 2, 0x4D43}, {10, 4, 0xFFFFFFF0}, {14, 4, 13},         {14, 4, 200}, {18, 4, 0},
    {18, 4, ~0u},   {18, 4, 0x7FFFFFFF}, {22, 4, 0x80000000}, {22, 4, 0},   {26, 2, 3},
    {28, 2, 2},     {28, 2, 64},         {30, 4, 1},          {30, 4, 2},   {30, 4, 3},
    {30, 4, 9},     {46, 4, 257},        {46, 4, ~0u}};

std::vector<Bytes> ImportVariants(const Bytes& seed) {
    std::vector<Bytes> out = {seed};
    for (std::size_t cut : {std::size_t(13), std::size_t(40), seed.size() / 2, seed.size() - 1})
        if (cut < seed.size()) out.emplace_back(seed.begin(), seed.begin() + cut);
    for (const auto& [at, bytes, value] : kDamage) {
        out.push_back(seed);
        for (std::uint32_t i = 0; i < bytes && at + i < seed.size(); ++i)
            out.back()[at + i] = static_cast<std::uint8_t>(value >> 8 * i);
    }
    out.push_back(seed);  // run-length codes turn into others
    for (std::size_t i = 54; i < seed.size(); i += 3) out.back()[i] ^= 0xA5;
    return out;
}

std::vector<Bytes> ExportVariants(const Bytes& seed) {
    std::vector<Bytes> out = {seed, seed, seed};
    out[1][3] = 0x81;  // stop at the second report
    out[2][3] = 0x40;  // destroy the filter before the end of the export
    return out;
}

const struct {
    const char* name;
    int seeds;  // the argument naming their folder
    std::string (*check)(const std::uint8_t*, std::size_t);
    std::vector<Bytes> (*variants)(const Bytes&);
} kTargets[] = {{"import", 1, fuzzcheck::FuzzImport, ImportVariants},
                {"probe", 1, fuzzcheck::CheckProbe, ImportVariants},
                {"export", 2, fuzzcheck::CheckExport, ExportVariants}};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return std::fprintf(stderr, "usage: fuzz_replay SAMPLES_DIR EXPORT_DIR\n"), 2;
    fuzzcheck::SetFuzzPixelLimit();
    int passed = 0, failed = 0;
    for (const auto& target : kTargets)
        for (const auto& seed : std::filesystem::directory_iterator(argv[target.seeds])) {
            std::ifstream file(seed.path(), std::ios::binary);
            const Bytes bytes{std::istreambuf_iterator<char>(file), {}};
            const std::vector<Bytes> inputs = target.variants(bytes);
            for (std::size_t v = 0; v < inputs.size(); ++v) {
                const std::string why = target.check(inputs[v].data(), inputs[v].size());
                (why.empty() ? passed : failed) += 1;
                if (!why.empty())
                    std::printf("%s %s, variant %zu: %s\n", target.name,
                                seed.path().filename().c_str(), v, why.c_str());
            }
        }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 && passed > 0 ? 0 : 1;
}
