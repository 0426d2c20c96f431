#include "ModuleLoader.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace winhost {

#if defined(_WIN32)

ModuleLoader::ModuleLoader(const std::string& path)
    : m_handle(reinterpret_cast<void*>(LoadLibraryA(path.c_str()))) {
    if (m_handle == nullptr)
        m_error = "LoadLibrary failed with error " + std::to_string(GetLastError());
}

ModuleLoader::~ModuleLoader() {
    if (m_handle != nullptr) FreeLibrary(static_cast<HMODULE>(m_handle));
}

void* ModuleLoader::ByName(const char* name) const {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(m_handle), name));
}

#else

ModuleLoader::ModuleLoader(const std::string& path)
    : m_handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (m_handle == nullptr) m_error = dlerror();
}

ModuleLoader::~ModuleLoader() {
    if (m_handle != nullptr) dlclose(m_handle);
}

void* ModuleLoader::ByName(const char* name) const { return dlsym(m_handle, name); }

#endif

}  // namespace winhost
