#include "orix/IoManager.h"

#include "standin/Manager.h"

namespace orix {

void IoManager::SetOption(const char* name, bool first, bool second) {
    standin::Manager::Of(*this).m_options.push_back({name != nullptr ? name : "", first, second});
}

}  // namespace orix

namespace standin {

namespace {
thread_local Manager* g_recorder = nullptr;
}

Manager::Manager() : m_previousRecorder(g_recorder) { g_recorder = this; }

Manager::~Manager() {
    if (g_recorder == this) g_recorder = m_previousRecorder;
}

Manager* Manager::Current() { return g_recorder; }

void Manager::RecordFileClosed(const std::string& name) {
    if (g_recorder != nullptr) g_recorder->m_progress.push_back({ProgressEvent::FileClosed, name});
}

void Manager::ClearRecords() {
    m_options.clear();
    m_progress.clear();
    m_warnings.clear();
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
