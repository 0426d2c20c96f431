#include "orix/IoManager.h"

#include <algorithm>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "standin/Manager.h"

namespace orix {

void IoManager::SetOption(const char* name, bool first, bool second) {
    standin::Manager::Of(*this).m_options.push_back({name != nullptr ? name : "", first, second});
}

}  // namespace orix

namespace standin {

namespace {

// Every manager alive, oldest first, with the thread that made it. One list
// for the process rather than one per thread, so that a manager destroyed out
// of order or on another thread leaves nothing behind that points at it.
struct Live {
    Manager* manager;
    std::thread::id thread;
};

struct Registry {
    std::mutex lock;
    std::vector<Live> live;
};

Registry& Managers() {
    static Registry registry;
    return registry;
}

}  // namespace

Manager::Manager() {
    Registry& registry = Managers();
    std::lock_guard<std::mutex> hold(registry.lock);
    registry.live.push_back({this, std::this_thread::get_id()});
}

Manager::~Manager() {
    Registry& registry = Managers();
    std::lock_guard<std::mutex> hold(registry.lock);
    auto& live = registry.live;
    live.erase(std::remove_if(live.begin(), live.end(),
                              [this](const Live& entry) { return entry.manager == this; }),
               live.end());
}

Manager* Manager::Current() {
    Registry& registry = Managers();
    std::lock_guard<std::mutex> hold(registry.lock);
    const std::thread::id here = std::this_thread::get_id();
    for (auto entry = registry.live.rbegin(); entry != registry.live.rend(); ++entry)
        if (entry->thread == here) return entry->manager;
    return nullptr;
}

Manager& Manager::Of(orix::IoManager& manager) {
    Registry& registry = Managers();
    std::lock_guard<std::mutex> hold(registry.lock);
    for (const Live& entry : registry.live)
        if (static_cast<orix::IoManager*>(entry.manager) == &manager) return *entry.manager;
    throw std::logic_error(kForeignManager);
}

void Manager::RecordFileClosed(const std::string& name) {
    if (Manager* recorder = Current())
        recorder->m_progress.push_back({ProgressEvent::FileClosed, name});
}

void Manager::RecordSeek(long long offset, tamb::CBufferedFile::Origin origin) {
    if (Manager* recorder = Current()) recorder->m_seeks.push_back({offset, origin});
}

void Manager::ClearRecords() {
    m_options.clear();
    m_progress.clear();
    m_warnings.clear();
    m_seeks.clear();
    m_imported.clear();
    m_importObjectCalls = 0;
    m_proportionCalls = 0;
    m_activeProgress = 0;
    m_imageCalls = ImageCalls();
}

std::vector<double> Manager::Proportions() const {
    std::vector<double> out;
    for (const auto& event : m_progress)
        if (event.kind == ProgressEvent::Proportion) out.push_back(event.value);
    return out;
}

std::vector<std::string> Manager::Messages() const {
    std::vector<std::string> out;
    for (const auto& event : m_progress)
        if (event.kind == ProgressEvent::Message) out.push_back(event.text);
    return out;
}

}  // namespace standin
