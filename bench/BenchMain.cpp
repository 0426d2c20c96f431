// Speed of the module's import, export, probe and description against two
// peers on the same files: stb_image, and a floor that only moves bytes.
// Prints Google Benchmark's own lines, then one table with the ratios and the
// peak memory of each import. Sizes: BMP_BENCH_SIZE (default 4096).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/BenchImages.h"
#include "orix/IoExportFilter.h"
#include "orix/IoImportFilter.h"
#include "orix/IoManager.h"
#include "orix/TrImage.h"

extern "C" orix::IoExportFilter* ExportBMP(orix::IoManager& manager);
extern "C" orix::IoImportFilter* ImportBMP(orix::IoManager& manager);

extern "C" {
unsigned char* stbi_load(const char* filename, int* x, int* y, int* comp, int req_comp);
void stbi_image_free(void* retval_from_stbi_load);
int stbi_info(const char* filename, int* x, int* y, int* comp);
}

namespace {

using bench::Bytes;
using bench::Stored;

const Stored kImportCases[] = {Stored::Bits1,  Stored::Bits4,  Stored::Bits8, Stored::Bits16,
                               Stored::Bits24, Stored::Bits32, Stored::Rle8,  Stored::Rle4};

struct ExportCase {
    const char* name;
    tamb::ColorFormat format;
    int bits;
};
const ExportCase kExportCases[] = {{"1-bit", tamb::ColorIndexed1, 1},
                                   {"4-bit", tamb::ColorIndexed4, 4},
                                   {"8-bit", tamb::ColorIndexed8, 8},
                                   {"24-bit", tamb::ColorBgr24, 24},
                                   {"32-bit", tamb::ColorBgra32, 32}};

constexpr int kSmallFiles = 400;

struct Setup {
    std::string dir;
    int size = 4096;
    std::map<std::string, std::string> inputs;  // case name -> path
    std::vector<std::string> smallFiles;
    std::vector<std::unique_ptr<orix::TrImage>> exportImages;  // by kExportCases index
};
Setup g_setup;

// Bytes of the image the host holds after an import: rows of R bytes.
std::size_t ImageBytes(int width, int height, int bits) {
    const int outBits = bits == 16 ? 24 : bits;
    return (static_cast<std::size_t>(width) * outBits + 31) / 32 * 4 * height;
}

std::string EnvOr(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0' ? v : fallback;
}

// --- the three import paths -------------------------------------------------

// The module, as a host drives it, with the image left to the module to free.
void ImportWithModule(const std::string& path, std::unique_ptr<orix::TrImage>* keep = nullptr) {
    orix::IoManager manager;
    manager.m_keepImportedImages = keep != nullptr;
    std::unique_ptr<orix::IoImportFilter> filter(ImportBMP(manager));
    filter->ImportFile(path.c_str(), false);
    if (manager.m_importObjectCalls != 1) throw std::runtime_error("import gave no image: " + path);
    if (keep != nullptr) *keep = std::move(manager.m_imported.at(0));
}

bool ImportWithStb(const std::string& path) {
    int w = 0, h = 0, n = 0;
    unsigned char* pixels = stbi_load(path.c_str(), &w, &h, &n, 0);
    if (pixels == nullptr) return false;
    benchmark::DoNotOptimize(pixels[0]);
    stbi_image_free(pixels);
    return true;
}

// Memory straight from the system, as a buffer is the first time it is used:
// the floor pays for its pages every time, whatever the allocator would
// otherwise recycle.
class FreshBuffer {
  public:
    explicit FreshBuffer(std::size_t size) : m_size(size) {
        void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        m_data = static_cast<std::uint8_t*>(p);
    }
    ~FreshBuffer() { ::munmap(m_data, m_size); }
    FreshBuffer(const FreshBuffer&) = delete;
    FreshBuffer& operator=(const FreshBuffer&) = delete;
    std::uint8_t* get() const { return m_data; }

  private:
    std::uint8_t* m_data;
    std::size_t m_size;
};

// No decoding at all: the whole file into a fresh buffer, then its rows into
// a fresh image buffer.
void ImportFloor(const std::string& path, int width, int height, int bits) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) throw std::runtime_error("cannot open " + path);
    struct stat info;
    ::fstat(fd, &info);
    const std::size_t size = static_cast<std::size_t>(info.st_size);
    FreshBuffer file(size);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, file.get() + done, size - done);
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    ::close(fd);
    std::uint32_t offBits;
    std::memcpy(&offBits, file.get() + 10, 4);
    const std::size_t stride = (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
    const std::size_t rowBytes = ImageBytes(width, 1, bits);
    FreshBuffer image(rowBytes * height);
    for (int i = 0; i < height; ++i)
        std::memcpy(image.get() + (height - 1 - i) * rowBytes, file.get() + offBits + i * stride,
                    stride);
    benchmark::DoNotOptimize(image.get()[0]);
}

// --- export paths -------------------------------------------------------------

void ExportWithModule(orix::TrImage& image, const std::string& path) {
    orix::IoManager manager;
    std::unique_ptr<orix::IoExportFilter> filter(ExportBMP(manager));
    filter->BeginExport(path.c_str(), false);
    if (filter->ExportObject(image) != orix::ExportDone) throw std::runtime_error("export failed");
    filter->EndExport();
}

// Copies each row out of the image and writes it, bottom row first.
void ExportFloor(const orix::TrImage& image, const std::string& path, int bits) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + path);
    std::uint8_t header[54 + 1024] = {'B', 'M'};
    const std::size_t table = bits <= 8 ? (std::size_t(4) << bits) : 0;
    if (::write(fd, header, 54 + table) < 0) throw std::runtime_error("write failed");
    const int rowBytes = image.GetRowBytes();
    std::vector<std::uint8_t> row(static_cast<std::size_t>(rowBytes));
    for (int i = image.GetHeight() - 1; i >= 0; --i) {
        const std::uint8_t* source = image.Row(i);
        std::memcpy(row.data(), source, row.size());
        if (::write(fd, row.data(), row.size()) < 0) throw std::runtime_error("write failed");
    }
    ::close(fd);
}

// --- set-up -----------------------------------------------------------------------

void MakeInputs() {
    Setup& s = g_setup;
    s.dir = EnvOr("BMP_BENCH_DIR", "bench-data");
    s.size = std::atoi(EnvOr("BMP_BENCH_SIZE", "4096").c_str());
    ::mkdir(s.dir.c_str(), 0755);
    std::unique_ptr<bench::Plasma> plasma;
    auto picture = [&]() -> const bench::Plasma& {
        if (!plasma) {
            std::fprintf(stderr, "making the %dx%d plasma picture...\n", s.size, s.size);
            plasma = std::make_unique<bench::Plasma>(bench::MakePlasma(s.size, s.size));
        }
        return *plasma;
    };
    for (Stored stored : kImportCases) {
        const std::string path =
            s.dir + "/plasma" + std::to_string(s.size) + "-" + bench::StoredName(stored) + ".bmp";
        if (!bench::FileExists(path)) bench::WriteFile(path, bench::EncodeBmp(picture(), stored));
        s.inputs[bench::StoredName(stored)] = path;
    }
    const std::string smallDir = s.dir + "/small";
    ::mkdir(smallDir.c_str(), 0755);
    for (const auto& [name, bytes] : bench::MakeSmallFiles(kSmallFiles)) {
        const std::string path = smallDir + "/" + name;
        if (!bench::FileExists(path)) bench::WriteFile(path, bytes);
        s.smallFiles.push_back(path);
    }
    // Host images for the export, made from the same picture: indexed 1, 4
    // and 8 bits with their palettes, blue-green-red, and with alpha.
    const bench::Plasma& p = picture();
    for (const ExportCase& c : kExportCases) {
        auto image = std::make_unique<orix::TrImage>();
        const std::vector<tagRGBQUAD>* palette = c.bits == 1   ? &p.palette2
                                                 : c.bits == 4 ? &p.palette16
                                                               : &p.palette256;
        tagRGBQUAD table[256] = {};
        std::copy(palette->begin(), palette->end(), table);
        image->SetScanlineStart(p.width, p.height, c.format, 2835, 2835, table,
                                orix::TrImage::RowsByIndex, 0);
        std::vector<std::uint8_t> row(static_cast<std::size_t>(image->GetRowBytes()));
        for (int y = 0; y < p.height; ++y) {
            std::fill(row.begin(), row.end(), 0);
            const std::size_t base = static_cast<std::size_t>(y) * p.width;
            for (int x = 0; x < p.width; ++x) {
                const std::size_t i = base + x;
                switch (c.bits) {
                    case 1:
                        row[x / 8] |= static_cast<std::uint8_t>(p.index1[i] << (7 - x % 8));
                        break;
                    case 4:
                        row[x / 2] |= static_cast<std::uint8_t>(p.index4[i] << (x % 2 ? 0 : 4));
                        break;
                    case 8:
                        row[x] = p.index8[i];
                        break;
                    case 24:
                        std::memcpy(&row[3 * x], &p.bgr[3 * i], 3);
                        break;
                    case 32:
                        std::memcpy(&row[4 * x], &p.bgr[3 * i], 3);
                        row[4 * x + 3] = p.alpha[i];
                        break;
                }
            }
            image->SetScanline(row.data(), y);
        }
        image->SetScanlineEnd(nullptr, 0);
        s.exportImages.push_back(std::move(image));
    }
}

// The inputs must mean what they say: the run-length files decode to the same
// image as the uncompressed ones. Guards the bench encoder and the decoder.
void CheckInputs() {
    for (const auto& [coded, plain] :
         {std::pair<const char*, const char*>{"RLE8", "8-bit"}, {"RLE4", "4-bit"}}) {
        std::unique_ptr<orix::TrImage> a, b;
        ImportWithModule(g_setup.inputs[coded], &a);
        ImportWithModule(g_setup.inputs[plain], &b);
        for (int y = 0; y < a->GetHeight(); ++y) {
            const std::uint8_t* ra = a->Row(y);
            const std::uint8_t* rb = b->Row(y);
            if (ra == nullptr || rb == nullptr ||
                std::memcmp(ra, rb, static_cast<std::size_t>(a->GetRowBytes())) != 0) {
                std::fprintf(stderr, "%s and %s differ at row %d\n", coded, plain, y);
                std::exit(2);
            }
        }
    }
}

// --- benchmarks -------------------------------------------------------------------

void Register() {
    const int n = g_setup.size;
    for (Stored stored : kImportCases) {
        const std::string name = bench::StoredName(stored);
        const std::string path = g_setup.inputs[name];
        const int bits = bench::StoredBitCount(stored);
        const auto bytes = static_cast<std::int64_t>(ImageBytes(n, n, bits));
        const bool rle = stored == Stored::Rle8 || stored == Stored::Rle4;
        auto finish = [bytes, n](benchmark::State& state) {
            state.SetBytesProcessed(state.iterations() * bytes);
            state.counters["Mpx/s"] = benchmark::Counter(
                static_cast<double>(n) * n * state.iterations() / 1e6, benchmark::Counter::kIsRate);
        };
        benchmark::RegisterBenchmark(("import/" + name + "/module").c_str(),
                                     [path, finish](benchmark::State& state) {
                                         try {
                                             for (auto _ : state) ImportWithModule(path);
                                         } catch (const std::exception& e) {
                                             state.SkipWithError(e.what());
                                             return;
                                         }
                                         finish(state);
                                     })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        if (!rle)
            benchmark::RegisterBenchmark(("import/" + name + "/floor").c_str(),
                                         [path, finish, n, bits](benchmark::State& state) {
                                             for (auto _ : state) ImportFloor(path, n, n, bits);
                                             finish(state);
                                         })
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        benchmark::RegisterBenchmark(("import/" + name + "/stb").c_str(),
                                     [path, finish](benchmark::State& state) {
                                         for (auto _ : state) {
                                             if (!ImportWithStb(path)) {
                                                 state.SkipWithError("stb_image cannot read it");
                                                 return;
                                             }
                                         }
                                         finish(state);
                                     })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    for (std::size_t k = 0; k < std::size(kExportCases); ++k) {
        const ExportCase& c = kExportCases[k];
        orix::TrImage* image = g_setup.exportImages[k].get();
        const auto bytes = static_cast<std::int64_t>(image->GetRowBytes()) * image->GetHeight();
        const std::string out = g_setup.dir + "/export-out.bmp";
        const int bits = c.bits;
        benchmark::RegisterBenchmark((std::string("export/") + c.name + "/module").c_str(),
                                     [image, out, bytes](benchmark::State& state) {
                                         for (auto _ : state) ExportWithModule(*image, out);
                                         state.SetBytesProcessed(state.iterations() * bytes);
                                     })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark((std::string("export/") + c.name + "/floor").c_str(),
                                     [image, out, bytes, bits](benchmark::State& state) {
                                         for (auto _ : state) ExportFloor(*image, out, bits);
                                         state.SetBytesProcessed(state.iterations() * bytes);
                                     })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    const std::vector<std::string>* small = &g_setup.smallFiles;
    auto perFile = [small](benchmark::State& state) {
        state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(small->size()));
    };
    benchmark::RegisterBenchmark("probe/small files/module", [small,
                                                              perFile](benchmark::State& state) {
        orix::IoManager manager;
        std::unique_ptr<orix::IoImportFilter> filter(ImportBMP(manager));
        for (auto _ : state)
            for (const std::string& path : *small)
                benchmark::DoNotOptimize(filter->IsFileSupported(path.c_str()));
        perFile(state);
    })->UseRealTime();
    benchmark::RegisterBenchmark("describe/small files/module", [small,
                                                                 perFile](benchmark::State& state) {
        orix::IoManager manager;
        std::unique_ptr<orix::IoImportFilter> filter(ImportBMP(manager));
        std::string text;
        for (auto _ : state)
            for (const std::string& path : *small)
                benchmark::DoNotOptimize(filter->GetFileDescription(path.c_str(), text));
        perFile(state);
    })->UseRealTime();
    for (const char* what : {"probe", "describe"}) {
        benchmark::RegisterBenchmark(
            (std::string(what) + "/small files/stb").c_str(),
            [small, perFile](benchmark::State& state) {
                int x, y, c;
                for (auto _ : state)
                    for (const std::string& path : *small)
                        benchmark::DoNotOptimize(stbi_info(path.c_str(), &x, &y, &c));
                perFile(state);
            })
            ->UseRealTime();
        benchmark::RegisterBenchmark(
            (std::string(what) + "/small files/floor").c_str(),
            [small, perFile](benchmark::State& state) {
                std::uint8_t header[54];
                for (auto _ : state)
                    for (const std::string& path : *small) {
                        const int fd = ::open(path.c_str(), O_RDONLY);
                        benchmark::DoNotOptimize(::read(fd, header, sizeof header));
                        ::close(fd);
                    }
                perFile(state);
            })
            ->UseRealTime();
    }
}

// --- results table ------------------------------------------------------------------

struct Result {
    double seconds = 0;  // per iteration
    double bytesPerSecond = 0;
    double itemsPerSecond = 0;
    double pixelsPerSecond = 0;
    bool failed = false;
};
std::map<std::string, Result> g_results;

class CollectingReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration) continue;
            Result r;
            r.failed = run.error_occurred;
            if (run.iterations > 0) r.seconds = run.real_accumulated_time / run.iterations;
            auto counter = [&](const char* name) {
                auto it = run.counters.find(name);
                return it == run.counters.end() ? 0.0 : static_cast<double>(it->second);
            };
            r.bytesPerSecond = counter("bytes_per_second");
            r.itemsPerSecond = counter("items_per_second");
            r.pixelsPerSecond = counter("Mpx/s") * 1e6;
            std::string name = run.benchmark_name();
            const std::string suffix = "/real_time";
            if (name.size() > suffix.size() &&
                name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
                name.resize(name.size() - suffix.size());
            g_results[name] = r;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

const Result* Find(const std::string& name) {
    auto it = g_results.find(name);
    return it == g_results.end() || it->second.failed || it->second.seconds <= 0 ? nullptr
                                                                                 : &it->second;
}

std::string Ratio(const Result* a, const Result* b) {
    if (a == nullptr || b == nullptr) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.2fx", a->seconds / b->seconds);
    return text;
}

std::string Ms(const Result* r) {
    if (r == nullptr) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", r->seconds * 1e3);
    return text;
}

// Peak memory of one import in a fresh process, beyond what the process held
// before it; see RunPeakChild.
long PeakKb(const std::string& how, const std::string& path) {
    char exe[4096];
    const ssize_t len = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (len <= 0) return -1;
    exe[len] = '\0';
    const std::string command = std::string(exe) + " --peak " + how + " '" + path + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return -1;
    long kb = -1;
    if (std::fscanf(pipe, "%ld", &kb) != 1) kb = -1;
    ::pclose(pipe);
    return kb;
}

long StatusKb(const char* field) {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (f == nullptr) return -1;
    char line[256];
    long kb = -1;
    const std::size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f) != nullptr)
        if (std::strncmp(line, field, n) == 0) kb = std::atol(line + n + 1);
    std::fclose(f);
    return kb;
}

int RunPeakChild(const std::string& how, const std::string& path) {
    // Reset the high-water mark to what is resident now, then measure.
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
    const long before = StatusKb("VmRSS:");
    if (how == "module") {
        ImportWithModule(path);
    } else if (how == "stb") {
        if (!ImportWithStb(path)) return 1;
    } else {
        int w = 0, h = 0, bits = 0;
        const Bytes head = bench::ReadFile(path);
        std::memcpy(&w, &head[18], 4);
        std::memcpy(&h, &head[22], 4);
        bits = head[28];
        ImportFloor(path, w, h, bits);
    }
    std::printf("%ld\n", StatusKb("VmHWM:") - before);
    return 0;
}

void PrintTable() {
    const int n = g_setup.size;
    std::printf("\nImport of %dx%d plasma files (time per file; ratio = module time / peer time)\n",
                n, n);
    std::printf("%-7s %9s %9s %9s %9s %9s %9s %9s  %-26s\n", "case", "module ms", "MB/s", "Mpx/s",
                "floor ms", "vs floor", "stb ms", "vs stb", "target");
    for (Stored stored : kImportCases) {
        const std::string name = bench::StoredName(stored);
        const Result* m = Find("import/" + name + "/module");
        const Result* f = Find("import/" + name + "/floor");
        const Result* s = Find("import/" + name + "/stb");
        std::string target;
        bool met = true;
        const int bits = bench::StoredBitCount(stored);
        if (stored == Stored::Rle8 || stored == Stored::Rle4) {
            target = ">= 1000 Mpx/s";
            met = m && m->pixelsPerSecond >= 1e9;
        } else if (bits == 24 || bits == 32) {
            target = "<= 0.80x floor, < 1x stb";
            met = m && f && m->seconds <= 0.8 * f->seconds;
        } else if (bits <= 8) {
            target = "<= 0.50x floor, < 1x stb";
            met = m && f && m->seconds <= 0.5 * f->seconds;
        } else {
            target = "< 1x stb";
        }
        met = met && m != nullptr && (s == nullptr || m->seconds < s->seconds);
        char mbs[32] = "-", mpx[32] = "-";
        if (m) {
            std::snprintf(mbs, sizeof mbs, "%.0f", m->bytesPerSecond / 1e6);
            std::snprintf(mpx, sizeof mpx, "%.0f", m->pixelsPerSecond / 1e6);
        }
        std::printf("%-7s %9s %9s %9s %9s %9s %9s %9s  %-26s %s\n", name.c_str(), Ms(m).c_str(),
                    mbs, mpx, Ms(f).c_str(), Ratio(m, f).c_str(), Ms(s).c_str(),
                    Ratio(m, s).c_str(), target.c_str(), met ? "met" : "MISSED");
    }
    std::printf("\nExport of %dx%d images (ratio = module time / floor time)\n", n, n);
    std::printf("%-7s %9s %9s %9s %9s  %-14s\n", "case", "module ms", "MB/s", "floor ms",
                "vs floor", "target");
    for (const ExportCase& c : kExportCases) {
        const Result* m = Find(std::string("export/") + c.name + "/module");
        const Result* f = Find(std::string("export/") + c.name + "/floor");
        char mbs[32] = "-";
        if (m) std::snprintf(mbs, sizeof mbs, "%.0f", m->bytesPerSecond / 1e6);
        const bool met = m && f && m->seconds <= 1.0 * f->seconds;
        std::printf("%-7s %9s %9s %9s %9s  %-14s %s\n", c.name, Ms(m).c_str(), mbs, Ms(f).c_str(),
                    Ratio(m, f).c_str(), "<= 1.00x floor", met ? "met" : "MISSED");
    }
    std::printf(
        "\nProbe and describe, %zu small files (files per second; ratio = module time / "
        "peer time)\n",
        g_setup.smallFiles.size());
    std::printf("%-9s %12s %12s %9s %12s %9s\n", "slot", "module", "floor", "vs floor", "stb info",
                "vs stb");
    for (const char* what : {"probe", "describe"}) {
        const Result* m = Find(std::string(what) + "/small files/module");
        const Result* f = Find(std::string(what) + "/small files/floor");
        const Result* s = Find(std::string(what) + "/small files/stb");
        auto rate = [](const Result* r) { return r ? r->itemsPerSecond : 0.0; };
        std::printf("%-9s %12.0f %12.0f %9s %12.0f %9s\n", what, rate(m), rate(f),
                    Ratio(m, f).c_str(), rate(s), Ratio(m, s).c_str());
    }
    if (std::getenv("BMP_BENCH_NO_PEAK") == nullptr) {
        std::printf(
            "\nPeak memory of one import, in a fresh process (MB beyond what it held "
            "before)\n");
        std::printf("%-7s %9s %9s %9s %9s %9s\n", "case", "image", "module", "overhead", "floor",
                    "stb");
        for (Stored stored : kImportCases) {
            const std::string name = bench::StoredName(stored);
            const std::string& path = g_setup.inputs[name];
            const bool rle = stored == Stored::Rle8 || stored == Stored::Rle4;
            const double image = ImageBytes(n, n, bench::StoredBitCount(stored)) / 1048576.0;
            const long m = PeakKb("module", path);
            const long f = rle ? -1 : PeakKb("floor", path);
            const long s = PeakKb("stb", path);
            auto mb = [](long kb) {
                char text[32] = "-";
                if (kb >= 0) std::snprintf(text, sizeof text, "%.1f", kb / 1024.0);
                return std::string(text);
            };
            char over[32] = "-";
            if (m >= 0) std::snprintf(over, sizeof over, "%.2f", m / 1024.0 - image);
            std::printf("%-7s %9.1f %9s %9s %9s %9s\n", name.c_str(), image, mb(m).c_str(), over,
                        mb(f).c_str(), mb(s).c_str());
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--peak") == 0) return RunPeakChild(argv[2], argv[3]);
    try {
        MakeInputs();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "set-up failed: %s\n", e.what());
        return 2;
    }
    try {
        CheckInputs();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "warning: the import cannot be checked: %s\n", e.what());
    }
    Register();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    PrintTable();
    return 0;
}
