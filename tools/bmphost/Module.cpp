#include "Module.h"

#include <dlfcn.h>

#include <filesystem>
#include <stdexcept>

namespace bmphost {

namespace {

std::string LoaderError() {
    const char* text = dlerror();
    return text != nullptr ? text : "unknown reason";
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
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path here = fs::read_symlink("/proc/self/exe", error).parent_path();
    const fs::path places[] = {here, (here / BMPHOST_LIBRARY_DIR).lexically_normal()};
    for (const fs::path& place : places)
        if (fs::is_regular_file(place / BMPHOST_MODULE_NAME, error))
            return (place / BMPHOST_MODULE_NAME).string();
    throw std::runtime_error("no module " BMPHOST_MODULE_NAME " beside bmphost (" +
                             places[0].string() + ") or in " + places[1].string() +
                             "; name one with --module");
}

}  // namespace bmphost
