#pragma once
// The plug-in module, loaded at run time as a host loads it: by path, with its
// two factories looked up by name.
#include <memory>
#include <string>

#include "orix/IoExportFilter.h"
#include "orix/IoImportFilter.h"
#include "orix/IoManager.h"

namespace bmphost {

class Module {
  public:
    using ImportFactory = orix::IoImportFilter* (*)(orix::IoManager&);
    using ExportFactory = orix::IoExportFilter* (*)(orix::IoManager&);

    // Loads the module at `path`; throws std::runtime_error with the loader's
    // reason when it cannot be loaded or lacks a factory.
    explicit Module(const std::string& path);
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    // The filters are the host's to own and delete once made.
    std::unique_ptr<orix::IoImportFilter> MakeImportFilter(orix::IoManager& manager) const;
    std::unique_ptr<orix::IoExportFilter> MakeExportFilter(orix::IoManager& manager) const;

    const std::string& Path() const { return m_path; }

  private:
    std::string m_path;
    void* m_handle = nullptr;
    ImportFactory m_import = nullptr;
    ExportFactory m_export = nullptr;
};

// Where the module is looked for when no path is given: beside this program
// (as in the build tree), then in the installed tree's library folder, found
// relative to this program. Throws std::runtime_error naming both places
// when neither holds it.
std::string DefaultModulePath();

}  // namespace bmphost
