#include "Module.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

namespace bmphost {

namespace {

std::string LoaderError() {
    const char* text = dlerror();
    return text != nullptr ? text : "unknown reason";
}

bool IsFile(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string ProgramDirectory() {
    std::vector<char> buffer(4096);
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) return std::string();
    const std::string path(buffer.data(), static_cast<std::size_t>(length));
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

Module::Module(const std::string& path) : m_path(path) {
    // A bare name would make the loader search the library path; the host
    // names its module by path.
    const std::string loadPath = path.find('/') == std::string::npos ? "./" + path : path;
    m_handle = dlopen(loadPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_handle == nullptr)
        throw std::runtime_error("cannot load the module " + path + ": " + LoaderError());
    m_import = reinterpret_cast<ImportFactory>(dlsym(m_handle, "ImportBMP"));
    m_export = reinterpret_cast<ExportFactory>(dlsym(m_handle, "ExportBMP"));
    if (m_import == nullptr || m_export == nullptr) {
        const std::string reason = LoaderError();
        dlclose(m_handle);
        m_handle = nullptr;
        throw std::runtime_error("the module " + path + " lacks ImportBMP or ExportBMP: " + reason);
    }
}

Module::~Module() {
    if (m_handle != nullptr) dlclose(m_handle);
}

std::unique_ptr<orix::IoImportFilter> Module::MakeImportFilter(orix::IoManager& manager) const {
    std::unique_ptr<orix::IoImportFilter> filter(m_import(manager));
    if (!filter) throw std::runtime_error("the module made no import filter");
    return filter;
}

std::unique_ptr<orix::IoExportFilter> Module::MakeExportFilter(orix::IoManager& manager) const {
    std::unique_ptr<orix::IoExportFilter> filter(m_export(manager));
    if (!filter) throw std::runtime_error("the module made no export filter");
    return filter;
}

std::string DefaultModulePath() {
    const std::string directory = ProgramDirectory();
    if (!directory.empty()) {
        const std::string beside = directory + "/" + BMPHOST_MODULE_NAME;
        if (IsFile(beside)) return beside;
    }
    return BMPHOST_BUILT_MODULE;
}

}  // namespace bmphost
