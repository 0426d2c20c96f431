#pragma once
// Files for tests: a temporary directory and whole-file reads.
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

// A temporary directory, removed with its contents when destroyed.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }
    // Writes the bytes to a file in the directory and returns its path.
    std::string Write(const std::string& name, const Bytes& bytes) const;

  private:
    std::string m_path;
};

Bytes ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);

}  // namespace testsupport
