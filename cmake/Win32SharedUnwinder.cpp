// Linked into BmpFilter.dll only (see Win32.cmake), which carries libgcc and
// libstdc++ statically.
//
// Exceptions cross between the host and the plug-in: the host's ThrowError
// unwinds through the module's frames, and what the module throws (out of
// memory) unwinds through the host's. With DWARF-2 unwinding (i686) that
// works only inside one unwinder, the one that holds every module's unwind
// tables. At load, the start-up code registers the module's tables with
// libgcc_s_dw2-1.dll when the host has it loaded, and with the static copy
// otherwise. The linker's --wrap sends every unwinder call that the module
// makes (its landing pads, libstdc++'s throw, catch and personality routine)
// here, and these forward each call to the unwinder that holds the tables.
#include <unwind.h>
#include <windows.h>

#include <atomic>

namespace {

// The shared unwinder when it holds this module's unwind tables; else null.
HMODULE SharedUnwinder() {
    const HMODULE shared = GetModuleHandleA("libgcc_s_dw2-1.dll");
    if (shared == nullptr) return nullptr;
    using FindFde = const void* (*)(void* pc, void* bases);
    const auto find = reinterpret_cast<FindFde>(
        reinterpret_cast<void (*)()>(GetProcAddress(shared, "_Unwind_Find_FDE")));
    // Room for the three base addresses the search fills in, and to spare.
    void* bases[8] = {};
    void* here = reinterpret_cast<void*>(&SharedUnwinder);
    return find != nullptr && find(here, bases) != nullptr ? shared : nullptr;
}

// The function to call for `name`: the shared unwinder's or the static `real`.
template <typename Function>
Function Target(std::atomic<Function>& cache, const char* name, Function real) {
    Function target = cache.load(std::memory_order_relaxed);
    if (target != nullptr) return target;
    target = real;
    if (const HMODULE shared = SharedUnwinder()) {
        if (const FARPROC found = GetProcAddress(shared, name))
            target = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
    }
    cache.store(target, std::memory_order_relaxed);
    return target;
}

}  // namespace

// Defines __wrap_NAME, which calls NAME in the unwinder that holds the tables;
// __real_NAME is the static copy's.
#define BMP_FORWARD(Result, Name, Params, Args)                             \
    extern "C" Result __real_##Name Params;                                 \
    extern "C" Result __wrap_##Name Params {                                \
        static std::atomic<Result(*) Params> cache{nullptr};                \
        return Target<Result(*) Params>(cache, #Name, &__real_##Name) Args; \
    }

// What the module's code and libstdc++'s exception support call.
BMP_FORWARD(_Unwind_Reason_Code, _Unwind_RaiseException, (_Unwind_Exception * e), (e))
BMP_FORWARD(_Unwind_Reason_Code, _Unwind_Resume_or_Rethrow, (_Unwind_Exception * e), (e))
BMP_FORWARD(void, _Unwind_Resume, (_Unwind_Exception * e), (e))
BMP_FORWARD(void, _Unwind_DeleteException, (_Unwind_Exception * e), (e))
BMP_FORWARD(void*, _Unwind_GetLanguageSpecificData, (_Unwind_Context * c), (c))
BMP_FORWARD(_Unwind_Ptr, _Unwind_GetRegionStart, (_Unwind_Context * c), (c))
BMP_FORWARD(_Unwind_Ptr, _Unwind_GetDataRelBase, (_Unwind_Context * c), (c))
BMP_FORWARD(_Unwind_Ptr, _Unwind_GetTextRelBase, (_Unwind_Context * c), (c))
BMP_FORWARD(_Unwind_Ptr, _Unwind_GetIPInfo, (_Unwind_Context * c, int* before), (c, before))
BMP_FORWARD(void, _Unwind_SetGR, (_Unwind_Context * c, int index, _Unwind_Word value),
            (c, index, value))
BMP_FORWARD(void, _Unwind_SetIP, (_Unwind_Context * c, _Unwind_Ptr ip), (c, ip))
