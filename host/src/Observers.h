#pragma once
// The stand-in's delivery of calls that reach no manager (standin::CallObserver),
// and its one report of a misuse it can name but must not throw for.
#include <atomic>

#include "standin/Application.h"

namespace hostimpl {

// Observers installed, on any thread: while it is 0 nothing is looked up.
extern std::atomic<int> g_observerCount;

// The calling thread's newest observer; null when it has none.
standin::CallObserver* ObserverSlow();
inline standin::CallObserver* Observer() {
    return g_observerCount.load(std::memory_order_relaxed) == 0 ? nullptr : ObserverSlow();
}

// Writes "standin: WHAT" on stderr, the first time only.
void ReportMisuseOnce(const char* what);

}  // namespace hostimpl
