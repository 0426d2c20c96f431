#include "orix/IoProgress.h"

#include <cstdarg>

#include "Format.h"
#include "orix/IoManager.h"

namespace orix {

namespace {
bool Notify(IoManager& manager, ProgressEvent event) {
    bool answer = true;
    if (manager.m_progressHook) answer = manager.m_progressHook(event);
    return answer;
}
}  // namespace

IoProgress::IoProgress(IoManager& manager) : m_manager(manager) {}
IoProgress::~IoProgress() = default;

void IoProgress::BeginProgress(const char* text, bool, bool) {
    ProgressEvent event{ProgressEvent::Begin, text != nullptr ? text : "", 0, true};
    ++m_manager.m_activeProgress;
    m_manager.m_progress.push_back(event);
    Notify(m_manager, event);
}

void IoProgress::EndProgress() {
    ProgressEvent event{ProgressEvent::End, "", 0, true};
    --m_manager.m_activeProgress;
    m_manager.m_progress.push_back(event);
    Notify(m_manager, event);
}

bool IoProgress::ProgressProportion(double fraction) {
    ProgressEvent event{ProgressEvent::Proportion, "", fraction, true};
    const long call = m_manager.m_proportionCalls++;
    if (!Notify(m_manager, event)) event.answer = false;
    if (call == m_manager.m_stopAtProportion) event.answer = false;
    m_manager.m_progress.push_back(event);
    return event.answer;
}

bool IoProgress::MessageVA(const char* format, ...) {
    va_list args;
    va_start(args, format);
    ProgressEvent event{ProgressEvent::Message, hostimpl::FormatV(format, args), 0, true};
    va_end(args);
    m_manager.m_progress.push_back(event);
    Notify(m_manager, event);
    return true;
}

}  // namespace orix
