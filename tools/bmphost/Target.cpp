#include "Target.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace bmphost {

namespace {

constexpr char kFolderPattern[] = ".bmphost-XXXXXX";

// The pending files and their folders, for a signal handler to remove.
constexpr int kSlots = 3;
char g_pendingPath[kSlots][4096];
char g_pendingFolder[kSlots][4096];
int g_standardOutput = STDOUT_FILENO;

std::runtime_error SystemError(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

void Discard(int slot) {
    if (g_pendingFolder[slot][0] == '\0') return;
    ::unlink(g_pendingPath[slot]);
    ::rmdir(g_pendingFolder[slot]);
    g_pendingPath[slot][0] = g_pendingFolder[slot][0] = '\0';
}

// Copies all of `from` to `to` and closes `from`; throws "WHAT: the reason"
// when it was not opened, or a read or a write failed.
void Copy(int from, int to, const std::string& what) {
    char buffer[1 << 16];
    ssize_t n = -1;
    while (from >= 0 && (n = ::read(from, buffer, sizeof buffer)) > 0 &&
           ::write(to, buffer, static_cast<std::size_t>(n)) == n) {
    }
    const std::runtime_error failure = SystemError(what);
    if (from >= 0) ::close(from);
    if (n != 0) throw failure;
}

// The path with its links followed, those to files not made yet too.
std::filesystem::path Resolved(std::filesystem::path path) {
    std::error_code ignored;
    for (int i = 0; i < 40 && std::filesystem::is_symlink(path, ignored); ++i)
        path = path.parent_path() / std::filesystem::read_symlink(path, ignored);
    return std::filesystem::weakly_canonical(path, ignored);
}

}  // namespace

void CheckTarget(const std::string& target, const std::string& ending) {
    std::string tail = target.substr(target.size() - std::min(target.size(), ending.size()));
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (tail != ending)
        throw Refusal("refusing to write " + target + ": its name does not end in " + ending, true);
    struct stat info;
    if (::stat(target.c_str(), &info) != 0) return;  // a new file
    if (!S_ISREG(info.st_mode))
        throw Refusal("refusing to write " + target + ": it exists and is not a regular file",
                      true);
    if ((info.st_mode & S_IWUSR) == 0)
        throw Refusal("cannot overwrite " + target + ": it is read-only", false);
    if (::access(target.c_str(), W_OK) != 0) throw SystemError("cannot overwrite " + target);
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat x, y;
    if (::stat(a.c_str(), &x) == 0 && ::stat(b.c_str(), &y) == 0)
        return x.st_dev == y.st_dev && x.st_ino == y.st_ino;
    return Resolved(a) == Resolved(b);
}

std::string ReadFailure(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    char byte;
    const std::string reason = fd < 0 || ::read(fd, &byte, 1) < 0 ? std::strerror(errno) : "";
    if (fd >= 0) ::close(fd);
    return reason;
}

void ReserveStandardOutput() {
    g_standardOutput = ::dup(STDOUT_FILENO);
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
}

PendingFile::PendingFile(const std::string& target) {
    const char* temporary = std::getenv("TMPDIR");
    // A link is followed: the file it names is replaced, the link stays.
    const std::filesystem::path where =
        target == "-" ? std::filesystem::path(temporary != nullptr ? temporary : "/tmp") / "-"
                      : Resolved(target);
    m_target = target == "-" ? target : where.string();
    while (m_slot < kSlots && g_pendingFolder[m_slot][0] != '\0') ++m_slot;
    const std::string name = where.filename().string();
    // The folder's name is short, so that any name the target may have fits
    // inside it, and says what made it.
    std::string folder = (where.parent_path() / kFolderPattern).string();
    if (m_slot == kSlots || folder.size() + name.size() + 2 > sizeof g_pendingPath[0])
        throw std::runtime_error("too long a name: " + target);
    if (::mkdtemp(folder.data()) == nullptr) throw SystemError("cannot write beside " + target);
    m_path = folder + "/" + name;
    std::memcpy(g_pendingFolder[m_slot], folder.c_str(), folder.size() + 1);
    std::memcpy(g_pendingPath[m_slot], m_path.c_str(), m_path.size() + 1);
}

PendingFile::~PendingFile() { Discard(m_slot); }

void PendingFile::Commit() {
    if (m_target == "-") {
        Copy(::open(m_path.c_str(), O_RDONLY), g_standardOutput,
             "cannot write the standard output");
        return Discard(m_slot);
    }
    struct stat old;
    if (::stat(m_target.c_str(), &old) == 0) ::chmod(m_path.c_str(), old.st_mode & 07777);
    if (std::rename(m_path.c_str(), m_target.c_str()) != 0)
        throw SystemError("cannot replace " + m_target);
    Discard(m_slot);
}

CommitLock::CommitLock(const std::vector<std::string>& targets) {
    std::vector<std::pair<std::pair<dev_t, ino_t>, int>> folders;
    for (const std::string& target : targets) {
        if (target.empty() || target == "-") continue;
        const int fd =
            ::open(Resolved(target).parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat info;
        if (fd < 0) continue;  // a folder it may not read: no lock to take
        if (::fstat(fd, &info) != 0) {
            ::close(fd);
            continue;
        }
        folders.push_back({{info.st_dev, info.st_ino}, fd});
    }
    // One order for every run, and each folder once, so that two runs never
    // wait for each other in a circle.
    std::sort(folders.begin(), folders.end());
    for (std::size_t i = 0; i < folders.size(); ++i) {
        if (i > 0 && folders[i].first == folders[i - 1].first) {
            ::close(folders[i].second);
            continue;
        }
        while (::flock(folders[i].second, LOCK_EX) != 0 && errno == EINTR) {
        }
        m_fds.push_back(folders[i].second);
    }
}

CommitLock::~CommitLock() {
    for (const int fd : m_fds) ::close(fd);  // closing releases the lock
}

void DiscardPendingFiles() {
    for (int slot = 0; slot < kSlots; ++slot) Discard(slot);
}

}  // namespace bmphost
