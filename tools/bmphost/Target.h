#pragma once
// The files bmphost writes for the user. Each is written under its own name
// in a new folder beside its target (.bmphost-XXXXXX) and moved over the
// target only when the whole run succeeded, so a failure, a stop, a signal or
// a size limit leaves every target as it was.
#include <stdexcept>
#include <string>
#include <vector>

namespace bmphost {

// What bmphost refuses to do; `usage` when the command line asked for it
// (a target that is not a regular file, has the wrong name or is the input,
// colours that do not fit a format).
struct Refusal : std::runtime_error {
    Refusal(const std::string& message, bool usage) : std::runtime_error(message), usage(usage) {}
    bool usage;
};

// Refuses a target whose name does not end in `ending` (.bmp, .png), that
// exists and is not a regular file, that the user may not write, or that is
// read-only (no owner write bit: root respects it too, as the platform
// respects its read-only attribute).
void CheckTarget(const std::string& target, const std::string& ending);

// The same file: by device and inode where both exist, else by path once
// links are resolved.
bool SameFile(const std::string& a, const std::string& b);

// Why the file cannot be read, in the system's words; "" when it can.
std::string ReadFailure(const std::string& path);

// From now on standard output carries only what a "-" target commits; the
// rest goes to stderr.
void ReserveStandardOutput();

// At most three at a time (a copy of the input, the preview, the BMP); a
// signal handler removes them. The target "-" is standard input or output:
// the file is made in the temporary folder.
class PendingFile {
  public:
    // Makes the folder beside the target; throws when it cannot.
    explicit PendingFile(const std::string& target);
    ~PendingFile();  // removes what was not committed
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Where to write: the target's name in the new folder.
    const std::string& Path() const { return m_path; }
    // Moves the file over the target, with the replaced target's permissions;
    // for "-", copies it to standard output.
    void Commit();

  private:
    std::string m_target, m_path;
    int m_slot = 0;
};

// Held while the targets of one run are moved into place: two runs onto the
// same targets commit one after the other, so that the BMP and the preview
// always come from the same run. It locks the targets' folders.
class CommitLock {
  public:
    explicit CommitLock(const std::vector<std::string>& targets);
    ~CommitLock();
    CommitLock(const CommitLock&) = delete;
    CommitLock& operator=(const CommitLock&) = delete;

  private:
    std::vector<int> m_fds;
};

// Removes every pending file and its folder; safe inside a signal handler.
void DiscardPendingFiles();

}  // namespace bmphost
