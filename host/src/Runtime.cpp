#include "hostcrt/Runtime.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {
thread_local unsigned long g_doserrno = 0;
}

extern "C" {

int _unlink(const char* path) {
    if (path == nullptr || unlink(path) != 0) {
        g_doserrno = static_cast<unsigned long>(errno);
        return -1;
    }
    return 0;
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
