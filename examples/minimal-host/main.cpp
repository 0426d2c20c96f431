// A minimal host for the BMP filter module, built on the installed kit alone
// (find_package(BmpFilter), BmpFilter::standin). It loads the module with
// dlopen, asks for its filters through ImportBMP and ExportBMP, and shows
// what a host does around them:
//
//   minimal-host MODULE describe FILE
//       probes the file and prints the module's description
//   minimal-host MODULE convert IN OUT.bmp [STOP-AT]
//       imports IN (answering yes to the transparency question), shows the
//       progress, and exports the image to OUT.bmp through a temporary file
//       in OUT's folder, renamed over OUT only when complete. STOP-AT answers
//       "stop" to that progress report (from 0, the import's reports first,
//       then the export's); Ctrl-C stops too.
//
// Exit status: 0 done, 1 an error (printed with its source, line and code),
// 2 bad command line, 3 stopped.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

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
    void* handle;
    ImportFactory importBmp;
    ExportFactory exportBmp;
};

Module Load(const char* path) {
    // RTLD_NOW: a missing symbol fails here, not in the middle of an import.
    // RTLD_LOCAL: the module's own symbols stay its own. libhost.so, which
    // this program links, is already loaded and serves the module too.
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) throw std::runtime_error(dlerror());
    Module module{handle, reinterpret_cast<ImportFactory>(dlsym(handle, "ImportBMP")),
                  reinterpret_cast<ExportFactory>(dlsym(handle, "ExportBMP"))};
    if (module.importBmp == nullptr || module.exportBmp == nullptr)
        throw std::runtime_error(std::string(path) + " lacks ImportBMP or ExportBMP");
    return module;
}

// The host's manager: the stand-in's, which records what the filters hand
// over and asks this program through its hooks.
void Prepare(standin::Manager& manager, long stopAt) {
    manager.m_leadingFlag = 1;  // without it a successful import answers 1
    manager.m_stopAtProportion = stopAt;
    manager.m_warningHook = [](int style, const std::string& text) {
        std::fprintf(stderr, "\n%s: %s\n", style == 2 ? "question (answered yes)" : "warning",
                     text.c_str());
        return 6;  // tamb::IError::AnswerYes
    };
    manager.m_progressHook = [](const standin::ProgressEvent& event) {
        if (event.kind == standin::ProgressEvent::Message)
            std::fprintf(stderr, "%s\n", event.text.c_str());
        if (event.kind == standin::ProgressEvent::Proportion)
            std::fprintf(stderr, "\r%3d%%", static_cast<int>(event.value * 100));
        if (event.kind == standin::ProgressEvent::End) std::fprintf(stderr, "\n");
        return g_interrupted == 0;  // false: stop
    };
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

// The module deletes its target after a failure or a stop, so it is never
// given the user's file: it writes a new one beside it, renamed when done.
// Its progress message names that temporary file.
int Export(const Module& module, standin::Manager& manager, orix::TrImage& image,
           const std::string& target) {
    std::string temporary = target + ".XXXXXX";
    const int fd = mkstemp(&temporary[0]);  // a name no one else has; the module truncates it
    if (fd < 0) throw std::runtime_error("cannot write beside " + target);
    close(fd);
    std::unique_ptr<orix::IoExportFilter> filter(module.exportBmp(manager));
    if (!filter) throw std::bad_alloc();
    int status = -1;
    try {
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
    const mode_t mask = umask(0);
    umask(mask);
    chmod(temporary.c_str(), 0666 & ~mask);  // a new file's mode: mkstemp made it 0600
    if (std::rename(temporary.c_str(), target.c_str()) != 0) {
        std::remove(temporary.c_str());
        throw std::runtime_error("cannot replace " + target);
    }
    return 0;
}

int Convert(const Module& module, standin::Manager& manager, const char* in,
            const std::string& out) {
    std::unique_ptr<orix::IoImportFilter> filter(module.importBmp(manager));
    if (!filter) throw std::bad_alloc();
    const orix::ImportStatus status = filter->ImportFile(in, true);
    if (status != orix::ImportDone || manager.m_imported.empty()) {
        std::fprintf(stderr, "%s: stopped, no image (status %d)\n", in, status);
        return 3;
    }
    standin::Image& image = *manager.m_imported.back();  // the host's copy
    const int result = Export(module, manager, image, out);
    if (result == 0)
        std::printf("%s -> %s: %dx%d, colour format %d\n", in, out.c_str(), image.GetWidth(),
                    image.GetHeight(), image.GetColorFormat());
    else
        std::fprintf(stderr, "%s: export stopped; nothing written\n", out.c_str());
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 2 ? argv[2] : "";
    if (!((command == "describe" && argc == 4) || (command == "convert" && argc >= 5))) {
        std::fprintf(stderr, "usage: %s MODULE describe FILE | convert IN OUT.bmp [STOP-AT]\n",
                     argv[0]);
        return 2;
    }
    std::signal(SIGINT, [](int) { g_interrupted = 1; });
    try {
        const Module module = Load(argv[1]);
        standin::Manager manager;
        Prepare(manager, argc > 5 ? std::atol(argv[5]) : -1);
        return command == "describe" ? Describe(module, manager, argv[3])
                                     : Convert(module, manager, argv[3], argv[4]);
    } catch (const standin::IoException& e) {  // what the framework's ThrowError raises
        std::fprintf(stderr, "error: %s (%s:%d", e.what(), e.source.c_str(), e.line);
        if (e.hasCode) std::fprintf(stderr, ", code %d", static_cast<int>(e.code));
        std::fprintf(stderr, ")\n");
    } catch (const std::exception& e) {  // the host's own failures
        std::fprintf(stderr, "error: %s\n", e.what());
    }
    return 1;
}
