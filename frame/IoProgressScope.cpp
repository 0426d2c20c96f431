#include "frame/IoProgressScope.h"

#include "orix/IoProgress.h"

IoProgressScope::IoProgressScope(orix::IoProgress* progress) : m_progress(progress) {
    if (m_progress != nullptr) m_progress->BeginProgress("", true, true);
}

IoProgressScope::~IoProgressScope() {
    if (m_progress != nullptr) m_progress->EndProgress();
}

void IoProgressScope::EndEarly() {
    if (m_progress == nullptr) return;
    m_progress->EndProgress();
    m_progress = nullptr;
}
