#include "support/DynamicLibrary.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstdio>
#include <memory>
#include <sstream>

namespace testsupport {

#if defined(_WIN32)

DynamicLibrary::DynamicLibrary(const std::string& path)
    : m_handle(reinterpret_cast<void*>(LoadLibraryA(path.c_str()))) {
    if (m_handle == nullptr)
        m_error = "LoadLibrary(" + path + ") failed with error " + std::to_string(GetLastError());
}

DynamicLibrary::~DynamicLibrary() {
    if (m_handle != nullptr) FreeLibrary(static_cast<HMODULE>(m_handle));
}

void* DynamicLibrary::Symbol(const char* name) const {
    if (m_handle == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(m_handle), name));
}

std::set<std::string> ExportedNames(const std::string& path) {
    std::set<std::string> names;
    // Mapped as an image but not run: the export directory is at its RVA.
    const HMODULE module = LoadLibraryExA(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (module == nullptr) return names;
    const auto* base = reinterpret_cast<const unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (entry.VirtualAddress != 0 && entry.Size != 0) {
        const auto* exports =
            reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
        const auto* nameOffsets = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
        for (DWORD i = 0; i < exports->NumberOfNames; ++i)
            names.insert(reinterpret_cast<const char*>(base + nameOffsets[i]));
    }
    FreeLibrary(module);
    return names;
}

#else

DynamicLibrary::DynamicLibrary(const std::string& path)
    : m_handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (m_handle == nullptr) m_error = dlerror();
}

DynamicLibrary::~DynamicLibrary() {
    if (m_handle != nullptr) dlclose(m_handle);
}

void* DynamicLibrary::Symbol(const char* name) const {
    return m_handle != nullptr ? dlsym(m_handle, name) : nullptr;
}

std::set<std::string> ExportedNames(const std::string& path) {
    const std::string command = "nm -D --defined-only '" + path + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::set<std::string> names;
    if (!pipe) return names;
    char line[512];
    while (fgets(line, sizeof line, pipe.get()) != nullptr) {
        std::istringstream fields(line);
        std::string address, kind, name;
        if (fields >> address >> kind >> name) names.insert(name);
    }
    return names;
}

#endif

}  // namespace testsupport
