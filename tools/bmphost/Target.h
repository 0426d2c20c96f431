#pragma once
// The files bmphost writes for the user. Each is written under its own name
// in a new folder beside its target and moved over the target only when
// complete, so a failure, a stop, a signal or a size limit leaves the target
// as it was.
#include <stdexcept>
#include <string>

namespace bmphost {

// What bmphost refuses to do; `usage` when the command line asked for it
// (a target that is not a regular file or has no BMP file's name, colours
// that do not fit a format).
struct Refusal : std::runtime_error {
    Refusal(const std::string& message, bool usage) : std::runtime_error(message), usage(usage) {}
    bool usage;
};

// Refuses a target that exists and is not a regular file, that the user may
// not write, or that is read-only (no owner write bit: root respects it too,
// as the platform respects its read-only attribute).
void CheckTarget(const std::string& target);

// One at a time: a signal handler removes it.
class PendingFile {
  public:
    // Checks the target and makes the folder beside it; throws when it cannot.
    explicit PendingFile(const std::string& target);
    ~PendingFile();  // removes what was not committed
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Where to write: the target's name in the new folder.
    const std::string& Path() const { return m_path; }
    // Moves the file over the target, with the replaced target's permissions.
    void Commit();

  private:
    std::string m_target;
    std::string m_path;
};

// Removes the pending file and its folder; safe inside a signal handler.
void DiscardPendingFile();

}  // namespace bmphost
