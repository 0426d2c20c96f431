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

void* ModuleLoader::ByOrdinal(unsigned ordinal) const {
    return reinterpret_cast<void*>(
        GetProcAddress(static_cast<HMODULE>(m_handle), MAKEINTRESOURCEA(ordinal)));
}

std::uintptr_t ModuleLoader::Base() const { return reinterpret_cast<std::uintptr_t>(m_handle); }

bool ModuleLoader::Resource(std::uint32_t type, std::uint32_t id, std::uint32_t language,
                            std::string& bytes) const {
    const HMODULE module = static_cast<HMODULE>(m_handle);
    const HRSRC found = FindResourceExA(module, MAKEINTRESOURCEA(type), MAKEINTRESOURCEA(id),
                                        static_cast<WORD>(language));
    if (found == nullptr) return false;
    const HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr) return false;
    bytes.assign(static_cast<const char*>(data), SizeofResource(module, found));
    return true;
}

bool ModuleLoader::HasOrdinals() { return true; }

#else

ModuleLoader::ModuleLoader(const std::string& path)
    : m_handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (m_handle == nullptr) m_error = dlerror();
}

ModuleLoader::~ModuleLoader() {
    if (m_handle != nullptr) dlclose(m_handle);
}

void* ModuleLoader::ByName(const char* name) const { return dlsym(m_handle, name); }
void* ModuleLoader::ByOrdinal(unsigned) const { return nullptr; }
std::uintptr_t ModuleLoader::Base() const { return 0; }
bool ModuleLoader::Resource(std::uint32_t, std::uint32_t, std::uint32_t, std::string&) const {
    return false;
}
bool ModuleLoader::HasOrdinals() { return false; }

#endif

}  // namespace winhost
