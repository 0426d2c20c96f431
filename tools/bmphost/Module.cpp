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
    std::error_code error;
    const auto beside =
        std::filesystem::read_symlink("/proc/self/exe", error).parent_path() / BMPHOST_MODULE_NAME;
    return !error && std::filesystem::is_regular_file(beside, error) ? beside.string()
                                                                     : BMPHOST_BUILT_MODULE;
}

}  // namespace bmphost
