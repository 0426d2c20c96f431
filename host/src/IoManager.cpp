#include "orix/IoManager.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "Observers.h"
#include "standin/Manager.h"

namespace orix {

void IoManager::SetOption(const char* name, bool first, bool second) {
    standin::Manager::Of(*this).GetApplication().OptionRegistered(name != nullptr ? name : "",
                                                                  first, second);
}

}  // namespace orix

namespace standin {

namespace {

// The managers alive, and the addresses of the last few destroyed, so that a
// filter that outlives its manager is told so rather than called foreign.
// Both lists are bounded: by the managers a host keeps, and by kRemembered.
constexpr std::size_t kRemembered = 16;

struct Registry {
    std::mutex lock;
    std::vector<const orix::IoManager*> live;
    std::vector<const orix::IoManager*> destroyed;  // oldest first
};

Registry& Managers() {
    static Registry registry;
    return registry;
}

// Answers no, goes on, drops images: Application's own behaviour.
Application& Silent() {
    static Application silent;
    return silent;
}

}  // namespace

void Application::ProgressBegin(const std::string&) {}
void Application::ProgressMessage(const std::string&) {}
bool Application::ProgressProportion(double) { return true; }
void Application::ProgressEnd() {}
int Application::Warning(tamb::IError::WarnStyle, const std::string&, const std::string&) {
    return 0;
}
bool Application::ImageImported(std::unique_ptr<Image>) { return true; }
void Application::OptionRegistered(const std::string&, bool, bool) {}

Manager::Manager(Application& application) : m_application(application) {
    Registry& registry = Managers();
    std::lock_guard<std::mutex> hold(registry.lock);
    registry.live.push_back(this);
    auto& gone = registry.destroyed;
    gone.erase(std::remove(gone.begin(), gone.end(), this), gone.end());
}

Manager::Manager() : Manager(Silent()) {}

Manager::~Manager() {
    Registry& registry = Managers();
    std::lock_guard<std::mutex> hold(registry.lock);
    auto& live = registry.live;
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
    auto& gone = registry.destroyed;
    if (gone.size() == kRemembered) gone.erase(gone.begin());
    gone.push_back(this);
}

Manager& Manager::Of(orix::IoManager& manager) {
    Registry& registry = Managers();
    std::lock_guard<std::mutex> hold(registry.lock);
    const auto& live = registry.live;
    if (std::find(live.begin(), live.end(), &manager) != live.end())
        return static_cast<Manager&>(manager);
    const auto& gone = registry.destroyed;
    if (std::find(gone.begin(), gone.end(), &manager) != gone.end())
        throw std::logic_error(kDestroyedManager);
    throw std::logic_error(kForeignManager);
}

}  // namespace standin

namespace hostimpl {

void ReportMisuseOnce(const char* what) {
    static std::atomic<bool> reported{false};
    if (!reported.exchange(true)) std::fprintf(stderr, "standin: %s\n", what);
}

}  // namespace hostimpl
