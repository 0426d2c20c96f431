#include "support/Plugin.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>

#include <cstdio>
#include <sstream>
#endif

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "tamb/SystemError.h"

namespace testsupport {

namespace {

// The module stays loaded for the whole program.
Module Load() {
    Module m;
#if defined(_WIN32)
    const HMODULE handle = LoadLibraryA(BMPFILTER_MODULE_PATH);
    auto find = [handle](const char* name) {
        return reinterpret_cast<void*>(GetProcAddress(handle, name));
    };
    if (handle == nullptr) m.error = "LoadLibrary failed: " + std::to_string(GetLastError());
#else
    void* handle = dlopen(BMPFILTER_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    auto find = [handle](const char* name) { return dlsym(handle, name); };
    if (handle == nullptr) m.error = dlerror();
#endif
    if (handle == nullptr) return m;
    m.importBmp = reinterpret_cast<decltype(m.importBmp)>(find("ImportBMP"));
    m.exportBmp = reinterpret_cast<decltype(m.exportBmp)>(find("ExportBMP"));
    return m;
}

}  // namespace

const Module& LoadedModule() {
    static const Module module = Load();
    return module;
}

std::vector<std::string> ExportedNames() {
    std::vector<std::string> names;
#if !defined(_WIN32)
    const std::string command = std::string("nm -D --defined-only '") + BMPFILTER_MODULE_PATH + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return names;
    char line[512];
    while (fgets(line, sizeof line, pipe) != nullptr) {
        std::istringstream fields(line);
        std::string address, kind, name;
        if (fields >> address >> kind >> name) names.push_back(name);
    }
    pclose(pipe);
#endif
    return names;
}

TempDir::TempDir() {
    // Random names until one is newly made: mkdtemp is not everywhere.
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::random_device random;
    for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
        const std::filesystem::path candidate =
            base / ("bmptest-" + std::to_string(random()) + std::to_string(random()));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) m_path = candidate.string();
    }
    if (m_path.empty()) throw std::runtime_error("cannot make a temporary directory");
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string TempDir::Write(const std::string& name, const Bytes& bytes) const {
    const std::string path = File(name);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
    return path;
}

Bytes ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::unique_ptr<orix::IoImportFilter> NewImportFilter(orix::IoManager& manager) {
    return std::unique_ptr<orix::IoImportFilter>(LoadedModule().importBmp(manager));
}

std::unique_ptr<orix::IoExportFilter> NewExportFilter(orix::IoManager& manager) {
    return std::unique_ptr<orix::IoExportFilter>(LoadedModule().exportBmp(manager));
}

Raised Catch(const std::function<void()>& slot) {
    try {
        slot();
    } catch (const standin::IoException& e) {
        return {true,   e.source,  e.line,  e.hasCode ? static_cast<int>(e.code) : 0,
                e.args, e.message, e.format};
    } catch (const std::exception& e) {  // a failure of the host's own
        return {true, "", 0, 0, {}, e.what(), ""};
    }
    return {};
}

std::vector<Bytes> ImageRows(const standin::Image& image) {
    std::vector<Bytes> rows;
    const auto n = static_cast<std::size_t>(image.GetRowBytes());
    for (int y = 0; y < image.GetHeight(); ++y) {
        const unsigned char* row = image.Row(y);
        rows.push_back(row != nullptr ? Bytes(row, row + n) : Bytes());
    }
    return rows;
}

unsigned long MissingDirectoryCode() {
#if defined(_WIN32)
    return 3;  // ERROR_PATH_NOT_FOUND
#else
    return ENOENT;
#endif
}

std::unique_ptr<standin::Image> MakeImage(int width, int height, tamb::ColorFormat format,
                                          const std::vector<Bytes>& rows,
                                          const std::vector<tagRGBQUAD>& table, int colorsUsed) {
    auto image = std::make_unique<standin::Image>();
    std::vector<tagRGBQUAD> full(table);
    full.resize(256, tagRGBQUAD{});  // the host's tables have 256 entries
    image->SetScanlineStart(width, height, format, 0x01020304, 0x05060708, full.data(),
                            orix::TrImage::RowsByIndex, 0);
    if (colorsUsed > 0) image->SetNumColorTableEntriesUsed(colorsUsed);
    for (std::size_t y = 0; y < rows.size(); ++y) {
        Bytes row = rows[y];
        row.resize(static_cast<std::size_t>(image->GetRowBytes()), 0);
        image->SetScanline(row.data(), static_cast<int>(y));
    }
    image->SetScanlineEnd(nullptr, 0);
    return image;
}

}  // namespace testsupport
