#include "orix/IoManager.h"

#include "orix/TrImage.h"

namespace orix {

namespace {
thread_local IoManager* g_recorder = nullptr;
}

IoManager::IoManager() : m_previousRecorder(g_recorder) { g_recorder = this; }

IoManager::~IoManager() {
    if (g_recorder == this) g_recorder = m_previousRecorder;
}

void IoManager::RecordFileClosed(const std::string& name) {
    if (g_recorder != nullptr) g_recorder->m_progress.push_back({ProgressEvent::FileClosed, name});
}

void IoManager::SetOption(const char* name, bool first, bool second) {
    m_options.push_back({name != nullptr ? name : "", first, second});
}

void IoManager::ClearRecords() {
    m_options.clear();
    m_progress.clear();
    m_warnings.clear();
    m_imported.clear();
    m_importObjectCalls = 0;
    m_proportionCalls = 0;
    m_activeProgress = 0;
}

std::vector<double> IoManager::Proportions() const {
    std::vector<double> out;
    for (const auto& event : m_progress)
        if (event.kind == ProgressEvent::Proportion) out.push_back(event.value);
    return out;
}

std::vector<std::string> IoManager::Messages() const {
    std::vector<std::string> out;
    for (const auto& event : m_progress)
        if (event.kind == ProgressEvent::Message) out.push_back(event.text);
    return out;
}

}  // namespace orix
