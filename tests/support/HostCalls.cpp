// The host calls whose arguments the stand-in does not record, recorded here.
// On Linux the module binds these calls to the definitions below, which the
// test program exports ahead of the host's library; each records what it was
// given and passes the call on to the library.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "orix/IoFilter.h"
#include "support/Plugin.h"
#include "tamb/CBufferedFile.h"

#if !defined(_WIN32)
#include <dlfcn.h>
#endif

namespace testsupport {

HostCallLog& HostCalls() {
#if defined(_WIN32)
    static HostCallLog log;
#else
    static HostCallLog log{true, {}, {}};
#endif
    return log;
}

}  // namespace testsupport

#if !defined(_WIN32)
namespace {

// The host library's own definition, by its symbol name.
template <class Function>
Function Next(const char* symbol) {
    void* next = dlsym(RTLD_NEXT, symbol);
    if (next == nullptr) std::abort();
    return reinterpret_cast<Function>(next);
}

// The text a format and its arguments make, passed on as the argument of
// "%s" so that the library shows the same text.
std::string Formatted(const char* format, va_list args) {
    char text[4096];
    std::vsnprintf(text, sizeof text, format, args);
    return text;
}

}  // namespace

int orix::IoFilter::Warning(tamb::IError::WarnStyle style, const char* format, ...) const {
    va_list args;
    va_start(args, format);
    const std::string text = Formatted(format, args);
    va_end(args);
    testsupport::HostCalls().formats.push_back(format);
    using Call = int (*)(const IoFilter*, tamb::IError::WarnStyle, const char*, ...);
    static const Call next = Next<Call>("_ZNK4orix8IoFilter7WarningEN4tamb6IError9WarnStyleEPKcz");
    return next(this, style, "%s", text.c_str());
}

void orix::IoFilter::ThrowError(const char* sourceFile, int line, const char* format, ...) const {
    va_list args;
    va_start(args, format);
    const std::string text = Formatted(format, args);
    va_end(args);
    testsupport::HostCalls().formats.push_back(format);
    using Call = void (*)(const IoFilter*, const char*, int, const char*, ...);
    static const Call next = Next<Call>("_ZNK4orix8IoFilter10ThrowErrorEPKciS2_z");
    next(this, sourceFile, line, "%s", text.c_str());
    std::abort();  // the library's call raises
}

void tamb::CBufferedFile::Seek(long long offset, Origin origin) {
    testsupport::HostCalls().seekOrigins.push_back(origin);
    using Call = void (*)(CBufferedFile*, long long, Origin);
    static const Call next = Next<Call>("_ZN4tamb13CBufferedFile4SeekExNS0_6OriginE");
    next(this, offset, origin);
}
#endif
