#pragma once
// The platform runtime calls the module uses. Windows' runtime has them all;
// elsewhere the stand-in host supplies them.
#include <cstdarg>
#include <cstddef>

#if defined(_WIN32)
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#else

extern "C" {
// Deletes a file by name; 0 on success, -1 on failure. A read-only file (no
// owner write permission) is kept, with EACCES as the error code.
int _unlink(const char* path);
// The runtime's last operating-system error code (per thread).
unsigned long* __doserrno(void);
// Bounded formatting: at most `size` bytes, terminator included. On overflow the
// buffer holds the empty string and the result is -1.
int vsprintf_s(char* buffer, std::size_t size, const char* format, va_list args);
}

#define _doserrno (*__doserrno())
#endif
