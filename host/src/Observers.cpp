#include "Observers.h"

#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

namespace hostimpl {

std::atomic<int> g_observerCount{0};

namespace {

// One list for the process rather than one per thread, so that an observer
// removed from another thread leaves nothing behind that points at it.
struct Installed {
    standin::CallObserver* observer;
    std::thread::id thread;
};

struct ObserverList {
    std::mutex lock;
    std::vector<Installed> installed;  // oldest first
};

ObserverList& Observers() {
    static ObserverList list;
    return list;
}

}  // namespace

standin::CallObserver* ObserverSlow() {
    ObserverList& list = Observers();
    std::lock_guard<std::mutex> hold(list.lock);
    const std::thread::id here = std::this_thread::get_id();
    for (auto entry = list.installed.rbegin(); entry != list.installed.rend(); ++entry)
        if (entry->thread == here) return entry->observer;
    return nullptr;
}

}  // namespace hostimpl

namespace standin {

void CallObserver::FileClosed(const std::string&) {}
void CallObserver::FileSeek(long long, tamb::CBufferedFile::Origin) {}
void CallObserver::ImageCalled(const ImageCall&) {}

void InstallObserver(CallObserver& observer) {
    auto& list = hostimpl::Observers();
    std::lock_guard<std::mutex> hold(list.lock);
    list.installed.push_back({&observer, std::this_thread::get_id()});
    hostimpl::g_observerCount.fetch_add(1, std::memory_order_relaxed);
}

void RemoveObserver(CallObserver& observer) {
    auto& list = hostimpl::Observers();
    std::lock_guard<std::mutex> hold(list.lock);
    auto& installed = list.installed;
    const auto end = std::remove_if(installed.begin(), installed.end(),
                                    [&](const auto& entry) { return entry.observer == &observer; });
    hostimpl::g_observerCount.fetch_sub(static_cast<int>(installed.end() - end),
                                        std::memory_order_relaxed);
    installed.erase(end, installed.end());
}

}  // namespace standin
