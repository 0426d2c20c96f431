#include "frame/IoProgressScope.h"

#include <exception>
#include <utility>

#include "orix/IoProgress.h"

IoProgressScope::IoProgressScope(orix::IoProgress* progress)
    : m_progress(progress), m_failuresPassing(std::uncaught_exceptions()) {
    if (m_progress != nullptr) m_progress->BeginProgress("", true, true);
}

IoProgressScope::~IoProgressScope() noexcept(false) {
    if (m_progress == nullptr) return;
    if (std::uncaught_exceptions() == m_failuresPassing) {
        m_progress->EndProgress();
        return;
    }
    // The scope ends while a failure is passing: a second one from the host
    // would end the process, so the first goes on alone.
    try {
        m_progress->EndProgress();
    } catch (...) {
    }
}

void IoProgressScope::EndEarly() {
    orix::IoProgress* progress = std::exchange(m_progress, nullptr);
    if (progress != nullptr) progress->EndProgress();
}
