#include "orix/IoProgress.h"

#include <cstdarg>

#include "Format.h"
#include "standin/Manager.h"

namespace orix {

namespace {
using standin::ProgressEvent;

bool Notify(standin::Manager& manager, const ProgressEvent& event) {
    bool answer = true;
    if (manager.m_progressHook) answer = manager.m_progressHook(event);
    return answer;
}
}  // namespace

IoProgress::IoProgress(IoManager& manager) : m_manager(manager) {}
IoProgress::~IoProgress() = default;

void IoProgress::BeginProgress(const char* text, bool, bool) {
    standin::Manager& manager = standin::Manager::Of(m_manager);
    ProgressEvent event{ProgressEvent::Begin, text != nullptr ? text : "", 0, true};
    ++manager.m_activeProgress;
    manager.m_progress.push_back(event);
    Notify(manager, event);
}

void IoProgress::EndProgress() {
    standin::Manager& manager = standin::Manager::Of(m_manager);
    ProgressEvent event{ProgressEvent::End, "", 0, true};
    --manager.m_activeProgress;
    manager.m_progress.push_back(event);
    Notify(manager, event);
}

bool IoProgress::ProgressProportion(double fraction) {
    standin::Manager& manager = standin::Manager::Of(m_manager);
    ProgressEvent event{ProgressEvent::Proportion, "", fraction, true};
    const long call = manager.m_proportionCalls++;
    if (!Notify(manager, event)) event.answer = false;
    if (call == manager.m_stopAtProportion) event.answer = false;
    manager.m_progress.push_back(event);
    return event.answer;
}

bool IoProgress::MessageVA(const char* format, ...) {
    standin::Manager& manager = standin::Manager::Of(m_manager);
    va_list args;
    va_start(args, format);
    ProgressEvent event{ProgressEvent::Message, hostimpl::FormatV(format, args), 0, true};
    va_end(args);
    manager.m_progress.push_back(event);
    Notify(manager, event);
    return true;
}

}  // namespace orix
