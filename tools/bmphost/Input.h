#pragma once
// The file the module opens for the user's input: the user's own, or a copy
// of standard input, a pipe or a device, which the module could not read
// (it opens files by name, and telling a PNG from a BMP reads ahead).
#include <cstdint>
#include <optional>
#include <string>

#include "Target.h"

namespace bmphost {

// What the command reads of its input: the probe's headers, the
// description's headers and tables, or all of it.
enum class InputUse { Probe, Describe, Import };

class Input {
  public:
    // Copies what `use` needs of "-" or of a file that is not a regular file
    // or a folder, at most `bound` bytes; throws std::runtime_error naming
    // the bound and its option when there is more, or the system's reason
    // when a read or a write fails. After Ctrl-C it stops early.
    Input(const std::string& name, InputUse use, std::uint64_t bound);

    const std::string& Name() const { return m_name; }
    const std::string& Path() const { return m_path; }

  private:
    std::string m_name, m_path;
    std::optional<PendingFile> m_copy;
};

// Room for any image within the host's pixel limit: 4 bytes a pixel, and
// 1 MiB for the headers and tables.
std::uint64_t DefaultInputBound();

}  // namespace bmphost
