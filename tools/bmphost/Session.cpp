#include "Session.h"

#include <unistd.h>

#include <exception>
#include <new>
#include <utility>

#include "Terminal.h"
#include "hostcrt/Runtime.h"
#include "orix/TrInitGraphicsExp.h"
#include "standin/IoException.h"
#include "tamb/IError.h"
#include "tamb/SystemError.h"

namespace bmphost {

namespace {

const char kNotAsked[] =
    "not asked whether to make the fully transparent image opaque (stdin is not a terminal): "
    "answered no; --opaque yes makes it opaque";

// The export's row write error, whose text is fixed: the system's reason is
// the runtime's error code.
constexpr int kExportWriteErrorLine = 278;

// Runs one call into the module; an error it raises is kept, not thrown on.
template <typename Call>
std::optional<RaisedError> Guard(Call call) {
    try {
        call();
    } catch (const standin::IoException& e) {
        RaisedError error{true, e.source, e.line, std::nullopt, e.args, e.message, ""};
        if (e.hasCode) error.code = static_cast<int>(e.code);
        return error;
    } catch (const std::bad_alloc&) {
        return HostError(kOutOfMemory);
    } catch (const std::exception& e) {
        return HostError(e.what());
    }
    return std::nullopt;
}

}  // namespace

void Host::ProgressBegin(const std::string&) { BeginBar(); }

void Host::ProgressMessage(const std::string& text) {
    m_phase.messages.push_back(text);
    LabelBar(text);
}

bool Host::ProgressProportion(double fraction) {
    m_phase.progress.push_back(fraction);
    const bool stop = m_proportionCalls++ == m_stopAt || InterruptRequested();
    if (!stop) ShowBar(fraction);
    return !stop;
}

void Host::ProgressEnd() { ClearProgressLine(); }

int Host::Warning(tamb::IError::WarnStyle style, const std::string& text, const std::string&) {
    if (style != tamb::IError::WarnQuestion) {
        m_phase.notices.push_back(text);
        Warn(text);
        return tamb::IError::AnswerOk;
    }
    m_phase.questionAsked = true;
    return Answer(text);
}

int Host::Answer(const std::string& question) {
    bool yes = m_opaque == OpaqueAnswer::Yes;
    if (m_opaque == OpaqueAnswer::Ask && ::isatty(STDIN_FILENO) != 0) {
        yes = AskOnTerminal(question);
    } else if (m_opaque == OpaqueAnswer::Ask) {
        Warn(kNotAsked);
    }
    return yes ? tamb::IError::AnswerYes : tamb::IError::AnswerNo;
}

bool Host::ImageImported(std::unique_ptr<standin::Image> image) {
    m_image = std::move(image);
    return true;
}

void Host::Warn(const std::string& text) {
    m_warnings.push_back(text);
    PrintErr("warning", text);
}

Phase Host::TakePhase() { return std::exchange(m_phase, Phase()); }

Session::Session(const Module& module, OpaqueAnswer opaque, long stopAt)
    : m_module(module), m_host(opaque, stopAt), m_manager(m_host) {
    // Set: a finished import answers 0.
    m_manager.m_leadingFlag = 1;
}

bool Session::Probe(const std::string& path) {
    auto filter = m_module.MakeImportFilter(m_manager);
    return filter->IsFileSupported(path.c_str());
}

std::optional<std::string> Session::Describe(const std::string& path) {
    auto filter = m_module.MakeImportFilter(m_manager);
    std::string text;
    if (!filter->GetFileDescription(path.c_str(), text)) return std::nullopt;
    return text;
}

ImportOutcome Session::Import(const std::string& path, bool promptAllowed) {
    ImportOutcome outcome;
    m_host.TakePhase();
    outcome.error = Guard([&] {
        auto filter = m_module.MakeImportFilter(m_manager);
        outcome.result = filter->ImportFile(path.c_str(), promptAllowed);
    });
    outcome.phase = m_host.TakePhase();
    outcome.image = m_host.TakeImage();
    if (outcome.error) outcome.image.reset();
    return outcome;
}

ExportOutcome Session::Export(orix::TrImage& image, const std::string& path) {
    ExportOutcome outcome;
    m_host.TakePhase();
    _doserrno = 0;
    std::unique_ptr<orix::IoExportFilter> filter;
    outcome.error = Guard([&] {
        filter = m_module.MakeExportFilter(m_manager);
        outcome.calls.emplace_back("BeginExport", filter->BeginExport(path.c_str(), false));
        orix::TrInitGraphicsExp init;
        outcome.calls.emplace_back("ExportObject", filter->ExportObject(init));
        outcome.calls.emplace_back("ExportObject", filter->ExportObject(image));
        outcome.calls.emplace_back("EndExport", filter->EndExport());
    });
    // Read before the filter goes: destroying it after an error deletes the
    // unfinished target, which the writer has deleted already.
    const unsigned long systemError = _doserrno;
    Guard([&] { filter.reset(); });
    if (outcome.error && outcome.error->line == kExportWriteErrorLine && systemError != 0)
        outcome.error->cause = tamb::FormatSystemErrorMsg(systemError);
    outcome.phase = m_host.TakePhase();
    outcome.written = !outcome.error;
    for (const auto& call : outcome.calls)
        if (call.second != 0) outcome.written = false;
    return outcome;
}

std::string DescribeError(const RaisedError& error) {
    if (!error.fromFilter) return error.message;
    std::string out = error.message + " (" + error.source + ":" + std::to_string(error.line);
    if (error.code) out += ", code " + std::to_string(*error.code);
    return out + ")";
}

}  // namespace bmphost
