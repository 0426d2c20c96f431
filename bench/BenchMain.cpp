// Speed of the module's import, export, probe and description against two
// peers on the same files: stb_image, and a floor that only moves bytes. One
// table of cases drives the runs and the printed table of ratios; the peak
// memory of each import follows. BMP_BENCH_SIZE sets the picture size
// (default 4096), BMP_BENCH_DIR where the inputs are kept.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

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
    {"import", "16-bit", 16, 0, kFloor | kStb, 1.15},  // the host's own costs are about 0.97x
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

// What one run of a case works on.
struct Input {
    const Case* c = nullptr;
    std::string path;                       // import: the file; export: the target
    std::unique_ptr<standin::Image> image;  // export: the host image
    double work = 0;                        // decoded bytes, or small files, a run
};

int g_size = 4096;
std::string g_dir;
std::vector<std::string> g_smallFiles;

bool Is(const Case& c, const char* slot) { return std::strcmp(c.slot, slot) == 0; }

std::string PathFor(const char* form) {
    return g_dir + "/plasma" + std::to_string(g_size) + "-" + form + ".bmp";
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
// a fresh image buffer of the size the import makes.
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
    for (int i = 0; i < g_size; ++i)
        std::memcpy(image.get() + (g_size - 1 - i) * rowBytes, file.get() + offBits + i * stride,
                    stride);
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

// The runs of a case, by peer name; a peer the case has not is left out.
std::vector<std::pair<std::string, Runner>> RunsOf(const Case& c) {
    for (const Runners& r : kRunners)
        if (Is(c, r.slot))
            return {{"module", r.module},
                    {"floor", c.peers & kFloor ? r.floor : nullptr},
                    {"stb", c.peers & kStb ? r.stb : nullptr}};
    return {};
}

std::string NameOf(const Case& c, const std::string& peer) {
    return std::string(c.slot) + "/" + c.form + "/" + peer;
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
    std::vector<Input> inputs;
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

void Register(const Input& in) {
    for (const auto& [peer, run] : RunsOf(*in.c)) {
        if (run == nullptr) continue;
        benchmark::RegisterBenchmark(NameOf(*in.c, peer).c_str(),
                                     [&in, run = run](benchmark::State& state) {
                                         try {
                                             for (auto _ : state) run(in);
                                         } catch (const std::exception& e) {
                                             state.SkipWithError(e.what());
                                         }
                                     })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
}

// --- results table ------------------------------------------------------------------

std::map<std::string, double> g_seconds;  // per run, by benchmark name; failed runs left out

class CollectingReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations <= 0)
                continue;
            std::string name = run.benchmark_name();
            const std::size_t suffix = name.rfind("/real_time");
            if (suffix != std::string::npos) name.resize(suffix);
            g_seconds[name] = run.real_accumulated_time / static_cast<double>(run.iterations);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

double Seconds(const Case& c, const char* peer) {
    const auto it = g_seconds.find(NameOf(c, peer));
    return it == g_seconds.end() ? 0 : it->second;
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
        if (!Measured(*in.c)) continue;  // left out by --benchmark_filter
        if (!Is(*in.c, slot)) PrintHeading(*in.c);
        slot = in.c->slot;
        PrintRow(in);
    }
    if (std::getenv("BMP_BENCH_NO_PEAK") == nullptr) PrintPeaks();
    return 0;
}
