#pragma once
// The plug-in loaded as a host loads it: LoadLibrary and GetProcAddress on
// Windows (where the factories are also found by ordinal), dlopen elsewhere.
#include <cstdint>
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
    // Null where the platform has no export ordinals.
    void* ByOrdinal(unsigned ordinal) const;
    // Where the image is mapped (Windows), so export RVAs can be checked.
    std::uintptr_t Base() const;
    // The bytes of a resource as the loader hands them out; false when absent.
    bool Resource(std::uint32_t type, std::uint32_t id, std::uint32_t language,
                  std::string& bytes) const;

    static bool HasOrdinals();

  private:
    void* m_handle;
    std::string m_error;
};

}  // namespace winhost
