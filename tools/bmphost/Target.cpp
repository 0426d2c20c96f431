#include "Target.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace bmphost {

namespace {

// The pending file and its folder, for a signal handler to remove.
char g_pendingPath[4096];
char g_pendingFolder[4096];

std::runtime_error SystemError(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

void CheckTarget(const std::string& target) {
    struct stat info;
    if (::stat(target.c_str(), &info) != 0) return;  // a new file
    if (!S_ISREG(info.st_mode))
        throw Refusal("refusing to export to " + target + ": it exists and is not a regular file",
                      true);
    if ((info.st_mode & S_IWUSR) == 0)
        throw Refusal("cannot overwrite " + target + ": it is read-only", false);
    if (::access(target.c_str(), W_OK) != 0) throw SystemError("cannot overwrite " + target);
}

PendingFile::PendingFile(const std::string& target) {
    CheckTarget(target);
    // A link is followed: the file it names is replaced, the link stays.
    std::error_code unresolved;
    const std::filesystem::path real = std::filesystem::canonical(target, unresolved);
    const std::filesystem::path where = unresolved ? std::filesystem::path(target) : real;
    m_target = where.string();
    const std::string name = where.filename().string();
    std::string folder = (where.parent_path() / ("." + name + ".XXXXXX")).string();
    if (folder.size() + name.size() + 2 > sizeof g_pendingPath)
        throw std::runtime_error("too long a name: " + target);
    if (::mkdtemp(folder.data()) == nullptr) throw SystemError("cannot write beside " + target);
    m_path = folder + "/" + name;
    std::memcpy(g_pendingFolder, folder.c_str(), folder.size() + 1);
    std::memcpy(g_pendingPath, m_path.c_str(), m_path.size() + 1);
}

PendingFile::~PendingFile() { DiscardPendingFile(); }

void PendingFile::Commit() {
    struct stat old;
    if (::stat(m_target.c_str(), &old) == 0) ::chmod(m_path.c_str(), old.st_mode & 07777);
    if (std::rename(m_path.c_str(), m_target.c_str()) != 0)
        throw SystemError("cannot replace " + m_target);
    DiscardPendingFile();
}

void DiscardPendingFile() {
    if (g_pendingFolder[0] == '\0') return;
    ::unlink(g_pendingPath);
    ::rmdir(g_pendingFolder);
    g_pendingPath[0] = g_pendingFolder[0] = '\0';
}

}  // namespace bmphost
