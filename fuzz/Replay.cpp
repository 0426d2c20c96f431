// The fuzz targets' checks in the normal test run, without libFuzzer: the
// sample set of bmpsamples, also cut short and with header fields and pixel
// bytes damaged, the export seeds of make_seeds, also stopped and abandoned,
// and every file of the kept corpus of each harness (CORPUS_DIR/<harness>/,
// where there is one) as the fuzzer met it.
//   fuzz_replay SAMPLES_DIR EXPORT_SEEDS_DIR [CORPUS_DIR]
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "fuzz/BmphostChecks.h"

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
                {"export", 2, fuzzcheck::CheckExport, ExportVariants},
                {"bmphost", 1, fuzzcheck::CheckBmphostInput, ImportVariants}};

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes{std::istreambuf_iterator<char>(file), {}};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4)
        return std::fprintf(stderr, "usage: fuzz_replay SAMPLES_DIR EXPORT_DIR [CORPUS_DIR]\n"), 2;
    fuzzcheck::SetFuzzPixelLimit();
    int passed = 0, failed = 0, kept = 0;
    auto check = [&](const auto& target, const Bytes& input, const std::string& label) {
        const std::string why = target.check(input.data(), input.size());
        (why.empty() ? passed : failed) += 1;
        if (!why.empty()) std::printf("%s %s: %s\n", target.name, label.c_str(), why.c_str());
    };
    namespace fs = std::filesystem;
    for (const auto& target : kTargets) {
        for (const auto& seed : fs::directory_iterator(argv[target.seeds])) {
            const std::vector<Bytes> inputs = target.variants(ReadFile(seed.path()));
            for (std::size_t v = 0; v < inputs.size(); ++v)
                check(target, inputs[v],
                      seed.path().filename().string() + ", variant " + std::to_string(v));
        }
        const fs::path corpus = argc == 4 ? fs::path(argv[3]) / target.name : fs::path();
        if (corpus.empty() || !fs::is_directory(corpus)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(corpus))
            if (entry.is_regular_file()) {
                check(target, ReadFile(entry.path()), "corpus " + entry.path().filename().string());
                ++kept;
            }
    }
    std::printf("%d passed, %d failed (%d of them kept corpus files)\n", passed, failed, kept);
    return failed == 0 && passed > 0 ? 0 : 1;
}
