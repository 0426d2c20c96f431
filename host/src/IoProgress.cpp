#include "orix/IoProgress.h"

#include <cstdarg>
#include <stdexcept>

#include "Format.h"
#include "Observers.h"
#include "standin/Manager.h"

namespace orix {

IoProgress::IoProgress(IoManager& manager) : m_manager(manager) {}
IoProgress::~IoProgress() = default;

void IoProgress::BeginProgress(const char* text, bool, bool) {
    standin::Manager::Of(m_manager).GetApplication().ProgressBegin(text != nullptr ? text : "");
}

// Filters end their displays in their destructors, so a misuse is reported
// here, never thrown.
void IoProgress::EndProgress() {
    standin::Manager* manager = nullptr;
    try {
        manager = &standin::Manager::Of(m_manager);
    } catch (const std::logic_error& misuse) {
        hostimpl::ReportMisuseOnce(misuse.what());
        return;
    }
    manager->GetApplication().ProgressEnd();
}

bool IoProgress::ProgressProportion(double fraction) {
    return standin::Manager::Of(m_manager).GetApplication().ProgressProportion(fraction);
}

bool IoProgress::MessageVA(const char* format, ...) {
    standin::Manager& manager = standin::Manager::Of(m_manager);
    va_list args;
    va_start(args, format);
    const std::string text = hostimpl::FormatV(format, args);
    va_end(args);
    manager.GetApplication().ProgressMessage(text);
    return true;
}

}  // namespace orix
