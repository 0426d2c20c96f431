#pragma once
// A dynamic library loaded as a host loads it (dlopen on Linux, LoadLibrary on
// Windows), and the names a library exports.
#include <set>
#include <string>

namespace testsupport {

class DynamicLibrary {
  public:
    explicit DynamicLibrary(const std::string& path);
    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    bool Loaded() const { return m_handle != nullptr; }
    // The address of an exported function, or null.
    void* Symbol(const char* name) const;
    // Why loading failed.
    const std::string& Error() const { return m_error; }

  private:
    void* m_handle;
    std::string m_error;
};

// The names a library exports: its defined dynamic symbols on Linux, the names
// in its export directory on Windows. Empty when it cannot be read.
std::set<std::string> ExportedNames(const std::string& path);

}  // namespace testsupport
