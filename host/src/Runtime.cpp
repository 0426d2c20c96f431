#include "hostcrt/Runtime.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {
thread_local unsigned long g_doserrno = 0;

int Fail(int code) {
    errno = code;
    g_doserrno = static_cast<unsigned long>(code);
    return -1;
}
}  // namespace

extern "C" {

int _unlink(const char* path) {
    if (path == nullptr) return Fail(EINVAL);
    // The platform keeps a read-only file (no owner write bit), whoever asks.
    struct stat info;
    if (::lstat(path, &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & S_IWUSR) == 0)
        return Fail(EACCES);
    return unlink(path) == 0 ? 0 : Fail(errno);
}

unsigned long* __doserrno(void) { return &g_doserrno; }

int vsprintf_s(char* buffer, std::size_t size, const char* format, va_list args) {
    if (buffer == nullptr || size == 0 || format == nullptr) return -1;
    const int written = std::vsnprintf(buffer, size, format, args);
    if (written < 0 || static_cast<std::size_t>(written) >= size) {
        buffer[0] = '\0';
        return -1;
    }
    return written;
}
}
