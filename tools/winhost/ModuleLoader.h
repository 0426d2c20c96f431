#pragma once
// The plug-in loaded as a host loads it: LoadLibrary and GetProcAddress on
// Windows, dlopen and dlsym elsewhere.
#include <string>

#include "orix/IoExportFilter.h"
#include "orix/IoImportFilter.h"
#include "orix/IoManager.h"

namespace winhost {

using ExportFactory = orix::IoExportFilter* (*)(orix::IoManager&);
using ImportFactory = orix::IoImportFilter* (*)(orix::IoManager&);

class ModuleLoader {
  public:
    explicit ModuleLoader(const std::string& path);
    ~ModuleLoader();
    ModuleLoader(const ModuleLoader&) = delete;
    ModuleLoader& operator=(const ModuleLoader&) = delete;

    bool Loaded() const { return m_handle != nullptr; }
    const std::string& Error() const { return m_error; }

    void* ByName(const char* name) const;

  private:
    void* m_handle;
    std::string m_error;
};

}  // namespace winhost
