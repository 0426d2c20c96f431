// A minimal host for the BMP filter module, built on the installed kit alone
// (find_package(BmpFilter), BmpFilter::standin). It loads the module at run
// time, asks for its filters through ImportBMP and ExportBMP, hears from them
// through its own standin::Application, and shows what a host does around
// them:
//
//   minimal-host MODULE describe FILE
//       probes the file and prints the module's description
//   minimal-host MODULE convert IN OUT.bmp [STOP-AT]
//       imports IN (answering yes to the transparency question), shows the
//       progress, and exports the image to OUT.bmp through a temporary file
//       in OUT's folder, renamed over OUT only when complete. STOP-AT answers
//       "stop" to that progress report (from 0, the import's reports first,
//       then the export's); Ctrl-C stops too.
//   minimal-host MODULE import FILE...
//       imports every file with one manager and one import filter, as an
//       application that opens many documents does, and prints one line a
//       file: its size and colour format, or why it was not imported. Each
//       image is dropped once its line is printed, so memory stays flat.
//
// Exit status: 0 done, 1 an error (printed with its source, line and code;
// for import, any file not imported), 2 bad command line, 3 stopped.
#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>
#endif

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

#include "orix/IoExportFilter.h"
#include "orix/IoImportFilter.h"
#include "standin/IoException.h"
#include "standin/Manager.h"

namespace {

using ImportFactory = orix::IoImportFilter* (*)(orix::IoManager&);
using ExportFactory = orix::IoExportFilter* (*)(orix::IoManager&);

volatile std::sig_atomic_t g_interrupted = 0;

// The module stays loaded for the whole run: the filters' code lives in it.
struct Module {
    ImportFactory importBmp;
    ExportFactory exportBmp;
};

Module Load(const char* path) {
#if defined(_WIN32)
    const HMODULE handle = LoadLibraryA(path);
    if (handle == nullptr)
        throw std::runtime_error(std::string("cannot load ") + path + ": error " +
                                 std::to_string(GetLastError()));
    auto find = [handle](const char* name) {
        return reinterpret_cast<void*>(GetProcAddress(handle, name));
    };
#else
    // RTLD_NOW: a missing symbol fails here, not in the middle of an import.
    // RTLD_LOCAL: the module's own symbols stay its own. libhost.so, which
    // this program links, is already loaded and serves the module too.
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) throw std::runtime_error(dlerror());
    auto find = [handle](const char* name) { return dlsym(handle, name); };
#endif
    Module module{reinterpret_cast<ImportFactory>(find("ImportBMP")),
                  reinterpret_cast<ExportFactory>(find("ExportBMP"))};
    if (module.importBmp == nullptr || module.exportBmp == nullptr)
        throw std::runtime_error(std::string(path) + " lacks ImportBMP or ExportBMP");
    return module;
}

// The host's side: what the filters ask of this program. It keeps the last
// image handed over until the program takes or drops it.
class Host : public standin::Application {
  public:
    bool m_showProgress = true;
    long m_stopAt = -1;  // the progress report that answers "stop", from 0
    std::unique_ptr<standin::Image> m_image;

    void ProgressMessage(const std::string& text) override {
        if (m_showProgress) std::fprintf(stderr, "%s\n", text.c_str());
    }
    bool ProgressProportion(double fraction) override {
        if (m_showProgress) std::fprintf(stderr, "\r%3d%%", static_cast<int>(fraction * 100));
        return m_reports++ != m_stopAt && g_interrupted == 0;  // false: stop
    }
    void ProgressEnd() override {
        if (m_showProgress) std::fprintf(stderr, "\n");
    }
    int Warning(tamb::IError::WarnStyle style, const std::string& text,
                const std::string&) override {
        const bool question = style == tamb::IError::WarnQuestion;
        std::fprintf(stderr, "%s: %s\n", question ? "question (answered yes)" : "warning",
                     text.c_str());
        return tamb::IError::AnswerYes;
    }
    bool ImageImported(std::unique_ptr<standin::Image> image) override {
        m_image = std::move(image);
        return m_image != nullptr;
    }

  private:
    long m_reports = 0;
};

void PrintError(std::FILE* out, const standin::IoException& e) {
    std::fprintf(out, "error: %s (%s:%d", e.what(), e.source.c_str(), e.line);
    if (e.hasCode) std::fprintf(out, ", code %d", static_cast<int>(e.code));
    std::fprintf(out, ")\n");
}

int Describe(const Module& module, standin::Manager& manager, const char* path) {
    std::unique_ptr<orix::IoImportFilter> filter(module.importBmp(manager));
    if (!filter) throw std::bad_alloc();
    std::printf("%s: %s\n", path, filter->IsFileSupported(path) ? "supported" : "not supported");
    std::string text;
    if (!filter->GetFileDescription(path, text)) {
        std::fprintf(stderr, "error: the module cannot describe %s\n", path);
        return 1;
    }
    for (const char c : text)
        if (c != '\r') std::putchar(c);  // the module ends its lines with CR LF
    return 0;
}

// A new file of that name, made here and now (a name no one else has), or
// false. Its mode is a new file's: 0666 less the umask.
bool CreateNew(const std::string& path) {
#if defined(_WIN32)
    const int fd =
        _open(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    return fd >= 0 && _close(fd) == 0;
#else
    const int fd = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    return fd >= 0 && close(fd) == 0;
#endif
}

std::string NewTemporaryBeside(const std::string& target) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = target + ".minimal-host-" + std::to_string(std::rand());
        if (CreateNew(name)) return name;
    }
    throw std::runtime_error("cannot write beside " + target);
}

bool ReplaceWith(const std::string& temporary, const std::string& target) {
#if defined(_WIN32)
    return MoveFileExA(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return std::rename(temporary.c_str(), target.c_str()) == 0;
#endif
}

// The module deletes its target after a failure or a stop, so it is never
// given the user's file: it writes a new one beside it, renamed when done.
// Its progress message names that temporary file.
int Export(const Module& module, standin::Manager& manager, orix::TrImage& image,
           const std::string& target) {
    const std::string temporary = NewTemporaryBeside(target);
    std::unique_ptr<orix::IoExportFilter> filter(module.exportBmp(manager));
    int status = -1;
    try {
        if (!filter) throw std::bad_alloc();
        filter->BeginExport(temporary.c_str(), false);
        status = filter->ExportObject(image);
        filter->EndExport();  // keeps the file only when the image was written
    } catch (...) {
        filter.reset();  // ends the display and deletes what was written
        std::remove(temporary.c_str());
        throw;
    }
    if (status != orix::ExportDone) {
        std::remove(temporary.c_str());
        return 3;
    }
    if (!ReplaceWith(temporary, target)) {
        std::remove(temporary.c_str());
        throw std::runtime_error("cannot replace " + target);
    }
    return 0;
}

int Convert(const Module& module, standin::Manager& manager, Host& host, const char* in,
            const std::string& out) {
    std::unique_ptr<orix::IoImportFilter> filter(module.importBmp(manager));
    if (!filter) throw std::bad_alloc();
    const orix::ImportStatus status = filter->ImportFile(in, true);
    std::unique_ptr<standin::Image> image = std::move(host.m_image);  // the host's now
    if (status != orix::ImportDone || !image) {
        std::fprintf(stderr, "%s: stopped, no image (status %d)\n", in, status);
        return 3;
    }
    const int result = Export(module, manager, *image, out);
    if (result == 0)
        std::printf("%s -> %s: %dx%d, colour format %d\n", in, out.c_str(), image->GetWidth(),
                    image->GetHeight(), image->GetColorFormat());
    else
        std::fprintf(stderr, "%s: export stopped; nothing written\n", out.c_str());
    return result;
}

// One filter for every file; a failure ends that file's import, not the run.
int ImportAll(const Module& module, standin::Manager& manager, Host& host, int count,
              char** paths) {
    host.m_showProgress = false;
    std::unique_ptr<orix::IoImportFilter> filter(module.importBmp(manager));
    if (!filter) throw std::bad_alloc();
    int failures = 0;
    for (int i = 0; i < count; ++i) {
        const char* path = paths[i];
        try {
            const orix::ImportStatus status = filter->ImportFile(path, false);
            const std::unique_ptr<standin::Image> image = std::move(host.m_image);
            if (status == orix::ImportDone && image) {
                std::printf("%s: %dx%d, colour format %d\n", path, image->GetWidth(),
                            image->GetHeight(), image->GetColorFormat());
                continue;
            }
            std::printf("%s: not imported (status %d)\n", path, status);
        } catch (const standin::IoException& e) {
            std::printf("%s: ", path);
            PrintError(stdout, e);
        }
        ++failures;
    }
    return failures == 0 ? 0 : 1;
}

bool Usable(const std::string& command, int argc) {
    return (command == "describe" && argc == 4) || (command == "convert" && argc >= 5) ||
           (command == "import" && argc >= 4);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 2 ? argv[2] : "";
    if (!Usable(command, argc)) {
        std::fprintf(stderr,
                     "usage: %s MODULE describe FILE | convert IN OUT.bmp [STOP-AT] | "
                     "import FILE...\n",
                     argv[0]);
        return 2;
    }
    std::signal(SIGINT, [](int) { g_interrupted = 1; });
    try {
        const Module module = Load(argv[1]);
        Host host;
        host.m_stopAt = argc > 5 && command == "convert" ? std::atol(argv[5]) : -1;
        standin::Manager manager(host);  // after host: it must outlive the manager
        manager.m_leadingFlag = 1;       // without it a successful import answers 1
        if (command == "describe") return Describe(module, manager, argv[3]);
        if (command == "convert") return Convert(module, manager, host, argv[3], argv[4]);
        return ImportAll(module, manager, host, argc - 3, argv + 3);
    } catch (const standin::IoException& e) {  // what the framework's ThrowError raises
        PrintError(stderr, e);
    } catch (const std::exception& e) {  // the host's own failures
        std::fprintf(stderr, "error: %s\n", e.what());
    }
    return 1;
}
