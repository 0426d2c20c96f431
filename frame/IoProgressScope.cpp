#include "frame/IoProgressScope.h"

#include <utility>

#include "orix/IoProgress.h"

IoProgressScope::IoProgressScope(orix::IoProgress* progress) : m_progress(progress) {
    if (m_progress != nullptr) m_progress->BeginProgress("", true, true);
}

IoProgressScope::~IoProgressScope() {
    if (m_progress != nullptr) m_progress->EndProgress();
}

void IoProgressScope::EndEarly() {
    orix::IoProgress* progress = std::exchange(m_progress, nullptr);
    if (progress != nullptr) progress->EndProgress();
}
