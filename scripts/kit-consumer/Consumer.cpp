// Compiled at the standard the kit's targets ask for, not the project's
// C++11; prints the kit's version as its header gives it.
#include <cstdio>
#include <string_view>

#include "bmpfilter/Version.h"
#include "orix/IoManager.h"

static_assert(__cplusplus >= 201703L, "the kit's imported targets must carry C++17");
static_assert(BMPFILTER_VERSION_NUMBER == BMPFILTER_MAKE_VERSION(BMPFILTER_VERSION_MAJOR,
                                                                 BMPFILTER_VERSION_MINOR,
                                                                 BMPFILTER_VERSION_PATCH),
              "one number for the three parts");
#if BMPFILTER_VERSION_NUMBER < BMPFILTER_MAKE_VERSION(0, 0, 1)
#error "the version macro cannot be tested by the preprocessor"
#endif

int main() {
    constexpr std::string_view version = BMPFILTER_VERSION_STRING;
    std::printf("%.*s %d.%d.%d\n", static_cast<int>(version.size()), version.data(),
                BMPFILTER_VERSION_MAJOR, BMPFILTER_VERSION_MINOR, BMPFILTER_VERSION_PATCH);
    return 0;
}
