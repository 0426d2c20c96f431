// The host calls whose arguments the stand-in does not record. On Linux the
// module binds them to the definitions below, which the test program exports
// ahead of the host's library: each records what it was given and passes the
// call on to the library, a formatted text as the argument of "%s".
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "orix/IoFilter.h"
#include "support/Plugin.h"
#include "tamb/CBufferedFile.h"

#if !defined(_WIN32)
#include <dlfcn.h>
#endif

testsupport::HostCallLog& testsupport::HostCalls() {
#if defined(_WIN32)
    static HostCallLog log;
#else
    static HostCallLog log{true, {}, {}};
#endif
    return log;
}

#if !defined(_WIN32)
namespace {

// The host library's own definition, by its symbol name.
template <class Function>
Function Next(const char* symbol) {
    void* next = dlsym(RTLD_NEXT, symbol);
    if (next == nullptr) std::abort();
    return reinterpret_cast<Function>(next);
}

// Records the format and answers the text it makes.
std::string Record(const char* format, va_list args) {
    testsupport::HostCalls().formats.push_back(format);
    char text[4096];
    std::vsnprintf(text, sizeof text, format, args);
    return text;
}

}  // namespace

int orix::IoFilter::Warning(tamb::IError::WarnStyle style, const char* format, ...) const {
    va_list args;
    va_start(args, format);
    const std::string text = Record(format, args);
    va_end(args);
    using Call = int (*)(const IoFilter*, tamb::IError::WarnStyle, const char*, ...);
    static const Call next = Next<Call>("_ZNK4orix8IoFilter7WarningEN4tamb6IError9WarnStyleEPKcz");
    return next(this, style, "%s", text.c_str());
}

void orix::IoFilter::ThrowError(const char* sourceFile, int line, const char* format, ...) const {
    va_list args;
    va_start(args, format);
    const std::string text = Record(format, args);
    va_end(args);
    using Call = void (*)(const IoFilter*, const char*, int, const char*, ...);
    Next<Call>("_ZNK4orix8IoFilter10ThrowErrorEPKciS2_z")(this, sourceFile, line, "%s",
                                                          text.c_str());
    std::abort();  // the library's call raises
}

void tamb::CBufferedFile::Seek(long long offset, Origin origin) {
    testsupport::HostCalls().seekOrigins.push_back(origin);
    using Call = void (*)(CBufferedFile*, long long, Origin);
    static const Call next = Next<Call>("_ZN4tamb13CBufferedFile4SeekExNS0_6OriginE");
    next(this, offset, origin);
}
#endif
