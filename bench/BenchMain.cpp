// Speed of the module's import, export, probe and description against two
// peers on the same files: stb_image, and a floor that only moves bytes. One
// table of cases drives the runs and the printed table of ratios; the import
// cases run again on small pictures (the cost of a file), and three depths at
// every size (how the cost grows); the peak memory of each import follows.
// BMP_BENCH_SIZE sets the main picture size (default 4096), BMP_BENCH_DIR
// where the inputs are kept.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "BmpBytes.h"
#include "bench/BenchImages.h"
#include "orix/IoExportFilter.h"
#include "orix/IoImportFilter.h"
#include "standin/Image.h"
#include "standin/Recorder.h"

extern "C" orix::IoExportFilter* ExportBMP(orix::IoManager& manager);
extern "C" orix::IoImportFilter* ImportBMP(orix::IoManager& manager);

extern "C" {
unsigned char* stbi_load(const char* filename, int* x, int* y, int* comp, int req_comp);
void stbi_image_free(void* retval_from_stbi_load);
int stbi_info(const char* filename, int* x, int* y, int* comp);
}

namespace {

using bench::Bytes;

enum Peers : unsigned { kFloor = 1, kStb = 2 };

// One measured case: the slot run, the stored form (bit count 0: the small files), its peers,
// and its goal (0: none) as a ratio to the floor of its own form or of the form in floorOf.
struct Case {
    const char* slot;
    const char* form;
    int bits;
    std::uint32_t compression;
    unsigned peers;
    double maxVsFloor;              // module time / floor time
    const char* floorOf = nullptr;  // the import form whose floor counts
};

const Case kCases[] = {
    {"import", "1-bit", 1, 0, kFloor | kStb, 0.5},
    {"import", "4-bit", 4, 0, kFloor | kStb, 0.5},
    {"import", "8-bit", 8, 0, kFloor | kStb, 0.5},
    {"import", "16-bit", 16, 0, kFloor | kStb, 1.0},
    {"import", "24-bit", 24, 0, kFloor | kStb, 0.8},
    {"import", "32-bit", 32, 0, kFloor | kStb, 0.8},
    {"import", "RLE8", 8, 1, 0, 0.9, "8-bit"},  // stb_image reads no run-length files
    {"import", "RLE4", 4, 2, 0, 0.5, "4-bit"},
    {"export", "1-bit", 1, 0, kFloor, 1.1},
    {"export", "4-bit", 4, 0, kFloor, 1.1},
    {"export", "8-bit", 8, 0, kFloor, 1.1},
    {"export", "24-bit", 24, 0, kFloor, 1.1},
    {"export", "32-bit", 32, 0, kFloor, 1.1},
    {"probe", "small files", 0, 0, kFloor | kStb, 0},
    {"describe", "small files", 0, 0, kFloor | kStb, 0},
};

constexpr int kSmallFiles = 400;

// The import cases are also read as pictures of these sizes, with their
// peers, the floor only opening, reading and closing the file.
constexpr int kSmallSizes[] = {1, 64};
// The forms read at every size, for the scaling table: the small sizes, this
// one (module only) and the main size.
constexpr int kScalingSize = 512;
const char* const kScalingForms[] = {"8-bit", "16-bit", "24-bit"};
// Small files: the 16-bit time per file at most this times the 24-bit one.
constexpr double kMax16Vs24 = 1.5;

// What one run of a case works on.
struct Input {
    const Case* c = nullptr;
    std::string path;                       // import: the file; export: the target
    std::unique_ptr<standin::Image> image;  // export: the host image
    double work = 0;                        // decoded bytes, or small files, a run
    int size = 0;                           // import: a size x size picture; 0: the main size
};

int g_size = 4096;
std::string g_dir;
std::vector<std::string> g_smallFiles;

bool Is(const Case& c, const char* slot) { return std::strcmp(c.slot, slot) == 0; }

std::string PathFor(const char* form, int size = 0) {
    return g_dir + "/plasma" + std::to_string(size != 0 ? size : g_size) + "-" + form + ".bmp";
}

void ReadSettings() {
    const char* size = std::getenv("BMP_BENCH_SIZE");
    const char* dir = std::getenv("BMP_BENCH_DIR");
    g_size = size != nullptr && *size != '\0' ? std::atoi(size) : 4096;
    g_dir = dir != nullptr && *dir != '\0' ? dir : "bench-data";
}

// Bytes of the image the host holds after an import: rows of R bytes.
std::size_t ImageBytes(int width, int height, int bits) {
    return bmpbytes::StrideFor(width, bits == 16 ? 24 : bits) * static_cast<std::size_t>(height);
}

// --- the runs: module, floor and stb_image for each slot ----------------------

// The module, as a host drives it, with the image left to the module to free.
std::unique_ptr<standin::Image> ImportWithModule(const std::string& path, bool keep = false) {
    standin::RecordingManager manager;
    manager.m_keepImportedImages = keep;
    std::unique_ptr<orix::IoImportFilter> filter(ImportBMP(manager));
    filter->ImportFile(path.c_str(), false);
    if (manager.m_importObjectCalls != 1) throw std::runtime_error("import gave no image: " + path);
    return keep ? std::move(manager.m_imported.at(0)) : nullptr;
}

void ImportModule(const Input& in) { ImportWithModule(in.path); }

// A small picture's floor: the file opened, read whole and closed.
void ReadFloor(const Input& in) {
    const int fd = ::open(in.path.c_str(), O_RDONLY);
    struct stat info;
    if (fd < 0 || ::fstat(fd, &info) != 0) throw std::runtime_error("cannot open " + in.path);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(info.st_size));
    const ssize_t got = ::read(fd, bytes.data(), bytes.size());
    ::close(fd);
    if (got != static_cast<ssize_t>(bytes.size())) throw std::runtime_error("short read");
    benchmark::DoNotOptimize(bytes.data());
}

void ImportStb(const Input& in) {
    int w = 0, h = 0, n = 0;
    unsigned char* pixels = stbi_load(in.path.c_str(), &w, &h, &n, 0);
    if (pixels == nullptr) throw std::runtime_error("stb_image cannot read it");
    benchmark::DoNotOptimize(pixels[0]);
    stbi_image_free(pixels);
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
// a fresh image buffer of the size the import makes, every byte of it written
// as the import writes it (a 16-bit row is shorter than the image's: the rest
// is cleared, so that the floor too pays for every page of the image).
void ImportFloor(const Input& in) {
    const int fd = ::open(in.path.c_str(), O_RDONLY);
    struct stat info;
    if (fd < 0 || ::fstat(fd, &info) != 0) throw std::runtime_error("cannot open " + in.path);
    const auto size = static_cast<std::size_t>(info.st_size);
    FreshBuffer file(size);
    for (std::size_t done = 0; done < size;) {
        const ssize_t got = ::read(fd, file.get() + done, size - done);
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    ::close(fd);
    std::uint32_t offBits;
    std::memcpy(&offBits, file.get() + 10, 4);
    const std::size_t stride = bmpbytes::StrideFor(g_size, in.c->bits);
    const std::size_t rowBytes = ImageBytes(g_size, 1, in.c->bits);
    FreshBuffer image(rowBytes * g_size);
    for (int i = 0; i < g_size; ++i) {
        std::uint8_t* row = image.get() + (g_size - 1 - i) * rowBytes;
        std::memcpy(row, file.get() + offBits + i * stride, stride);
        std::memset(row + stride, 0, rowBytes - stride);
    }
    benchmark::DoNotOptimize(image.get()[0]);
}

void ExportModule(const Input& in) {
    standin::RecordingManager manager;
    std::unique_ptr<orix::IoExportFilter> filter(ExportBMP(manager));
    filter->BeginExport(in.path.c_str(), false);
    if (filter->ExportObject(*in.image) != orix::ExportDone) throw std::runtime_error("not done");
    filter->EndExport();
}

// The headers, then each row copied out of the image and written, bottom
// row first.
void ExportFloor(const Input& in) {
    const int fd = ::open(in.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + in.path);
    std::uint8_t header[54 + 1024] = {'B', 'M'};
    const std::size_t table = in.c->bits <= 8 ? (std::size_t(4) << in.c->bits) : 0;
    bool ok = ::write(fd, header, 54 + table) >= 0;
    std::vector<std::uint8_t> row(static_cast<std::size_t>(in.image->GetRowBytes()));
    for (int i = in.image->GetHeight() - 1; i >= 0 && ok; --i) {
        std::memcpy(row.data(), in.image->Row(i), row.size());
        ok = ::write(fd, row.data(), row.size()) >= 0;
    }
    ::close(fd);
    if (!ok) throw std::runtime_error("write failed");
}

void ProbeModule(const Input&) {
    standin::RecordingManager manager;
    std::unique_ptr<orix::IoImportFilter> filter(ImportBMP(manager));
    for (const std::string& path : g_smallFiles)
        benchmark::DoNotOptimize(filter->IsFileSupported(path.c_str()));
}

void DescribeModule(const Input&) {
    standin::RecordingManager manager;
    std::unique_ptr<orix::IoImportFilter> filter(ImportBMP(manager));
    std::string text;
    for (const std::string& path : g_smallFiles)
        benchmark::DoNotOptimize(filter->GetFileDescription(path.c_str(), text));
}

// Reads the first 54 bytes of each file.
void HeaderFloor(const Input&) {
    std::uint8_t header[54];
    for (const std::string& path : g_smallFiles) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        benchmark::DoNotOptimize(::read(fd, header, sizeof header));
        ::close(fd);
    }
}

void StbInfo(const Input&) {
    int x, y, c;
    for (const std::string& path : g_smallFiles)
        benchmark::DoNotOptimize(stbi_info(path.c_str(), &x, &y, &c));
}

using Runner = void (*)(const Input&);
struct Runners {
    const char* slot;
    Runner module, floor, stb;
};
const Runners kRunners[] = {{"import", ImportModule, ImportFloor, ImportStb},
                            {"export", ExportModule, ExportFloor, nullptr},
                            {"probe", ProbeModule, HeaderFloor, StbInfo},
                            {"describe", DescribeModule, HeaderFloor, StbInfo}};

// The runs of a case, by peer name; a peer the case has not is left out. A
// small picture's floor only reads the file.
std::vector<std::pair<std::string, Runner>> RunsOf(const Case& c, unsigned peers,
                                                   bool small = false) {
    for (const Runners& r : kRunners)
        if (Is(c, r.slot))
            return {{"module", r.module},
                    {"floor", peers & kFloor ? (small ? ReadFloor : r.floor) : nullptr},
                    {"stb", peers & kStb ? r.stb : nullptr}};
    return {};
}

std::vector<std::pair<std::string, Runner>> RunsOf(const Case& c) { return RunsOf(c, c.peers); }

std::string NameOf(const Case& c, const std::string& peer, int size = 0) {
    const std::string pixels =
        size != 0 ? "/" + std::to_string(size) + "x" + std::to_string(size) : "";
    return std::string(c.slot) + "/" + c.form + pixels + "/" + peer;
}

bool IsScalingForm(const Case& c) {
    for (const char* form : kScalingForms)
        if (std::strcmp(c.form, form) == 0) return true;
    return false;
}

// --- set-up -----------------------------------------------------------------------

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

// The host image of the picture at 1, 4, 8, 24 or 32 bits, indexed up to 8.
std::unique_ptr<standin::Image> HostImage(const bench::Plasma& p, int bits) {
    const tamb::ColorFormat format = bits == 1    ? tamb::ColorIndexed1
                                     : bits == 4  ? tamb::ColorIndexed4
                                     : bits == 8  ? tamb::ColorIndexed8
                                     : bits == 24 ? tamb::ColorBgr24
                                                  : tamb::ColorBgra32;
    std::vector<tagRGBQUAD> table = bench::Palette(bits <= 8 ? bits : 8);
    table.resize(256);
    auto image = std::make_unique<standin::Image>();
    image->SetScanlineStart(p.width, p.height, format, 2835, 2835, table.data(),
                            orix::TrImage::RowsByIndex, 0);
    for (int y = 0; y < p.height; ++y) {
        Bytes row = bmpbytes::PackRow(bench::PixelValues(p, y, bits), bits);
        row.resize(static_cast<std::size_t>(image->GetRowBytes()));
        image->SetScanline(row.data(), y);
    }
    image->SetScanlineEnd(nullptr, 0);
    return image;
}

// The import cases at the small sizes, and the scaling forms at the scaling
// size too, writing the files that are not there yet.
std::vector<Input> SmallImportInputs() {
    std::vector<Input> inputs;
    for (const Case& c : kCases) {
        if (!Is(c, "import")) continue;
        std::vector<int> sizes(std::begin(kSmallSizes), std::end(kSmallSizes));
        if (IsScalingForm(c)) sizes.push_back(kScalingSize);
        for (int size : sizes) {
            Input in{&c, PathFor(c.form, size), nullptr, 0, size};
            if (!std::filesystem::exists(in.path))
                WriteFile(in.path,
                          bench::EncodeBmp(bench::MakePlasma(size, size), c.bits, c.compression));
            inputs.push_back(std::move(in));
        }
    }
    return inputs;
}

// Writes the files that are not there yet and makes the host images; the
// picture is made only when something needs it.
std::vector<Input> MakeInputs() {
    std::filesystem::create_directories(g_dir + "/small");
    for (const auto& [name, bytes] : bench::MakeSmallFiles(kSmallFiles)) {
        g_smallFiles.push_back(g_dir + "/small/" + name);
        if (!std::filesystem::exists(g_smallFiles.back())) WriteFile(g_smallFiles.back(), bytes);
    }
    std::unique_ptr<bench::Plasma> plasma;
    auto picture = [&]() -> const bench::Plasma& {
        if (!plasma) {
            std::fprintf(stderr, "making the %dx%d plasma picture...\n", g_size, g_size);
            plasma = std::make_unique<bench::Plasma>(bench::MakePlasma(g_size, g_size));
        }
        return *plasma;
    };
    std::vector<Input> inputs = SmallImportInputs();
    for (const Case& c : kCases) {
        Input in{&c, PathFor(c.form), nullptr, static_cast<double>(g_smallFiles.size())};
        if (Is(c, "import") && !std::filesystem::exists(in.path))
            WriteFile(in.path, bench::EncodeBmp(picture(), c.bits, c.compression));
        if (Is(c, "export")) {
            in.path = g_dir + "/export-out.bmp";
            in.image = HostImage(picture(), c.bits);
        }
        if (c.bits != 0) in.work = static_cast<double>(ImageBytes(g_size, g_size, c.bits));
        inputs.push_back(std::move(in));
    }
    return inputs;
}

// The run-length files must decode to the same image as the uncompressed
// ones: guards the inputs (and the decoder) before anything is timed.
void CheckInputs() {
    for (const auto& [coded, plain] : {std::pair{"RLE8", "8-bit"}, std::pair{"RLE4", "4-bit"}}) {
        const auto a = ImportWithModule(PathFor(coded), true);
        const auto b = ImportWithModule(PathFor(plain), true);
        for (int y = 0; y < a->GetHeight(); ++y)
            if (std::memcmp(a->Row(y), b->Row(y), static_cast<std::size_t>(a->GetRowBytes())) != 0)
                throw std::logic_error(std::string(coded) + " and " + plain + " differ at row " +
                                       std::to_string(y));
    }
}

// The peers of a run: the case's own at the main size, none at the scaling
// size; at the small sizes the floor too, since every file can be read.
unsigned PeersOf(const Input& in) {
    if (in.size == 0) return in.c->peers;
    return in.size == kScalingSize ? 0 : in.c->peers | kFloor;
}

void Register(const Input& in) {
    for (const auto& [peer, run] : RunsOf(*in.c, PeersOf(in), in.size != 0)) {
        if (run == nullptr) continue;
        benchmark::RegisterBenchmark(NameOf(*in.c, peer, in.size).c_str(),
                                     [&in, run = run](benchmark::State& state) {
                                         try {
                                             for (auto _ : state) run(in);
                                         } catch (const std::exception& e) {
                                             state.SkipWithError(e.what());
                                         }
                                     })
            ->Unit(in.size != 0 ? benchmark::kMicrosecond : benchmark::kMillisecond)
            ->UseRealTime();
    }
}

// --- results table ------------------------------------------------------------------

// Seconds per run, by benchmark name, one for each repetition; failed runs
// left out.
std::map<std::string, std::vector<double>> g_seconds;

class CollectingReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations <= 0)
                continue;
            std::string name = run.benchmark_name();
            const std::size_t suffix = name.rfind("/real_time");
            if (suffix != std::string::npos) name.resize(suffix);
            g_seconds[name].push_back(run.real_accumulated_time /
                                      static_cast<double>(run.iterations));
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

double Seconds(const Case& c, const char* peer, int size = 0) {
    const auto it = g_seconds.find(NameOf(c, peer, size));
    if (it == g_seconds.end()) return 0;
    // The median of the repetitions (--benchmark_repetitions), the upper one of two.
    std::vector<double> runs = it->second;
    std::nth_element(runs.begin(), runs.begin() + runs.size() / 2, runs.end());
    return runs[runs.size() / 2];
}

// The floor a case is measured against: its own, or the named plain form's.
double FloorSeconds(Case c) {
    if (c.floorOf != nullptr) c.form = c.floorOf;
    return Seconds(c, "floor");
}

bool Measured(const Case& c) {
    return Seconds(c, "module") > 0 || Seconds(c, "floor") > 0 || Seconds(c, "stb") > 0;
}

std::string Format(const char* format, double value, bool known = true) {
    char text[32] = "-";
    if (known) std::snprintf(text, sizeof text, format, value);
    return text;
}

// The case's goal and whether this run met it; imports are also to beat
// stb_image where it reads the file.
std::string Goal(const Case& c, double module, double floor, double stb) {
    std::string goal;
    bool met = module > 0;
    if (c.maxVsFloor > 0) {
        goal = Format("<= %.2fx floor", c.maxVsFloor) +
               (c.floorOf ? " of " + std::string(c.floorOf) : "");
        met = met && floor > 0 && module <= c.maxVsFloor * floor;
    }
    if (Is(c, "import") && (c.peers & kStb) != 0) {
        goal += ", < 1x stb";
        met = met && (stb <= 0 || module < stb);
    }
    return goal.empty() ? "" : goal + (met ? "  met" : "  MISSED");
}

void PrintHeading(const Case& c) {
    if (c.bits == 0)
        std::printf("\n%s of %zu small files (ms for all; files per second)\n", c.slot,
                    g_smallFiles.size());
    else
        std::printf("\n%s of %dx%d plasma pictures (ms per picture; MB/s of the decoded image)\n",
                    c.slot, g_size, g_size);
    std::printf("%-11s %9s %9s %9s %9s %9s %9s  %s\n", "case", "module ms", "rate", "floor ms",
                "vs floor", "stb ms", "vs stb", "goal");
}

void PrintRow(const Input& in) {
    const Case& c = *in.c;
    const double m = Seconds(c, "module"), f = FloorSeconds(c), s = Seconds(c, "stb");
    const double rate = m > 0 ? in.work / m / (c.bits == 0 ? 1 : 1e6) : 0;
    std::printf(
        "%-11s %9s %9s %9s %9s %9s %9s  %s\n", c.form, Format("%.1f", m * 1e3, m > 0).c_str(),
        Format("%.0f", rate, m > 0).c_str(), Format("%.1f", f * 1e3, f > 0).c_str(),
        Format("%.2fx", m / f, m > 0 && f > 0).c_str(), Format("%.1f", s * 1e3, s > 0).c_str(),
        Format("%.2fx", m / s, m > 0 && s > 0).c_str(), Goal(c, m, f, s).c_str());
}

// Small files: per file, in microseconds, beside the floor and stb_image;
// the 16-bit goal is a ratio to the 24-bit time of the same run.
void PrintSmallFiles(int size) {
    bool any = false;  // or all left out by --benchmark_filter
    for (const Case& c : kCases) any = any || Seconds(c, "module", size) > 0;
    if (!any) return;
    std::printf("\nimport of small files: %dx%d plasma pictures (us per file)\n", size, size);
    std::printf("%-11s %9s %9s %9s %9s %9s  %s\n", "case", "module us", "floor us", "vs floor",
                "stb us", "vs stb", "goal");
    const Case* bgr24 = nullptr;
    for (const Case& c : kCases)
        if (Is(c, "import") && std::strcmp(c.form, "24-bit") == 0) bgr24 = &c;
    for (const Case& c : kCases) {
        if (!Is(c, "import")) continue;
        const double m = Seconds(c, "module", size), f = Seconds(c, "floor", size);
        const double s = Seconds(c, "stb", size);
        if (m <= 0 && f <= 0 && s <= 0) continue;
        std::string goal;
        if (c.bits == 16 && bgr24 != nullptr) {
            const double m24 = Seconds(*bgr24, "module", size);
            goal = Format("<= %.1fx 24-bit", kMax16Vs24) +
                   Format(" (%.2fx)", m / m24, m > 0 && m24 > 0) +
                   (m > 0 && m24 > 0 && m <= kMax16Vs24 * m24 ? "  met" : "  MISSED");
        }
        std::printf("%-11s %9s %9s %9s %9s %9s  %s\n", c.form,
                    Format("%.2f", m * 1e6, m > 0).c_str(), Format("%.2f", f * 1e6, f > 0).c_str(),
                    Format("%.2fx", m / f, m > 0 && f > 0).c_str(),
                    Format("%.2f", s * 1e6, s > 0).c_str(),
                    Format("%.2fx", m / s, m > 0 && s > 0).c_str(), goal.c_str());
    }
}

// The module's time per file at every size, then what it splits into: the
// cost of a 1x1 file, and the cost of each further pixel at the main size.
void PrintScaling() {
    // Each smaller size once: a main size of 64 or 512 is the last column.
    std::vector<int> sizes;
    for (int size : {kSmallSizes[0], kSmallSizes[1], kScalingSize})
        if (sizes.empty() || size < g_size) sizes.push_back(size);
    sizes.push_back(0);
    bool any = false;  // or all left out by --benchmark_filter
    for (const Case& c : kCases)
        for (int size : sizes) any = any || (IsScalingForm(c) && Seconds(c, "module", size) > 0);
    if (!any) return;
    std::printf("\nimport time per file by picture size (us per file)\n%-11s", "case");
    for (int size : sizes) {
        const int side = size != 0 ? size : g_size;
        std::printf(" %11s", (std::to_string(side) + "x" + std::to_string(side)).c_str());
    }
    std::printf(" %11s %11s\n", "fixed us", "ns/pixel");
    for (const Case& c : kCases) {
        if (!Is(c, "import") || !IsScalingForm(c)) continue;
        std::printf("%-11s", c.form);
        for (int size : sizes) {
            const double m = Seconds(c, "module", size);
            std::printf(" %11s", Format("%.1f", m * 1e6, m > 0).c_str());
        }
        const double first = Seconds(c, "module", sizes[0]), last = Seconds(c, "module");
        const double pixels = static_cast<double>(g_size) * g_size - 1;
        std::printf(
            " %11s %11s\n", Format("%.1f", first * 1e6, first > 0).c_str(),
            Format("%.2f", (last - first) / pixels * 1e9, first > 0 && last > 0 && pixels > 0)
                .c_str());
    }
}

// --- peak memory ----------------------------------------------------------------------

long StatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    long kb = -1;
    while (std::getline(status, line))
        if (line.compare(0, std::strlen(field), field) == 0)
            kb = std::atol(line.c_str() + std::strlen(field));
    return kb;
}

// In a fresh child process: one run of an import case, and the memory it
// took beyond what the process held before.
int RunPeakChild(const std::string& peer, int index) {
    ReadSettings();
    const Input in{&kCases[index], PathFor(kCases[index].form), nullptr, 0};
    std::ofstream("/proc/self/clear_refs") << "5";  // the high-water mark to what is resident now
    const long before = StatusKb("VmRSS:");
    try {
        for (const auto& [name, run] : RunsOf(*in.c))
            if (name == peer && run != nullptr) run(in);
    } catch (const std::exception&) {
        return 1;  // nothing measured
    }
    std::printf("%ld\n", StatusKb("VmHWM:") - before);
    return 0;
}

std::string PeakMb(int index, const char* peer) {
    const std::string command = std::filesystem::read_symlink("/proc/self/exe").string() +
                                " --peak " + peer + " " + std::to_string(index);
    FILE* pipe = ::popen(command.c_str(), "r");
    long kb = -1;
    if (pipe == nullptr || std::fscanf(pipe, "%ld", &kb) != 1) kb = -1;
    if (pipe != nullptr) ::pclose(pipe);
    return Format("%.1f", kb / 1024.0, kb >= 0);
}

void PrintPeaks() {
    std::printf(
        "\nPeak memory of one import, in a fresh process (MB beyond what it held before)\n");
    std::printf("%-11s %9s %9s %9s %9s\n", "case", "image", "module", "floor", "stb");
    for (int i = 0; i < static_cast<int>(std::size(kCases)); ++i) {
        const Case& c = kCases[i];
        if (!Is(c, "import") || !Measured(c)) continue;
        const double image = ImageBytes(g_size, g_size, c.bits) / 1048576.0;
        std::printf("%-11s %9.1f %9s %9s %9s\n", c.form, image, PeakMb(i, "module").c_str(),
                    c.peers & kFloor ? PeakMb(i, "floor").c_str() : "-",
                    c.peers & kStb ? PeakMb(i, "stb").c_str() : "-");
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--peak") == 0)
        return RunPeakChild(argv[2], std::atoi(argv[3]));
    ReadSettings();
    std::vector<Input> inputs;
    try {
        inputs = MakeInputs();
        CheckInputs();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "set-up failed: %s\n", e.what());
        return 2;
    }
    for (const Input& in : inputs) Register(in);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::printf("\nRatios are module time / peer time: below 1 is faster.\n");
    const char* slot = "";
    for (const Input& in : inputs) {
        if (in.size != 0 || !Measured(*in.c)) continue;  // left out by --benchmark_filter
        if (!Is(*in.c, slot)) PrintHeading(*in.c);
        slot = in.c->slot;
        PrintRow(in);
    }
    for (int size : kSmallSizes) PrintSmallFiles(size);
    PrintScaling();
    if (std::getenv("BMP_BENCH_NO_PEAK") == nullptr) PrintPeaks();
    return 0;
}
