#pragma once
// Stand-ins for the platform runtime calls the module uses. On Windows the
// runtime's own are used instead.
#include <cstdarg>
#include <cstddef>

extern "C" {
// Deletes a file by name; 0 on success, -1 on failure.
int _unlink(const char* path);
// The runtime's last operating-system error code (per thread).
unsigned long* __doserrno(void);
// Bounded formatting: at most `size` bytes, terminator included. On overflow the
// buffer holds the empty string and the result is -1.
int vsprintf_s(char* buffer, std::size_t size, const char* format, va_list args);
}

#define _doserrno (*__doserrno())
