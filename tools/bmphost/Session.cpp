#include "Session.h"

#include <exception>
#include <iostream>
#include <new>

#include "orix/IoException.h"
#include "orix/TrInitGraphicsExp.h"
#include "tamb/IError.h"

namespace bmphost {

namespace {

RaisedError FromException(const orix::IoException& e) {
    RaisedError error;
    error.fromFilter = true;
    error.source = e.source;
    error.line = e.line;
    if (e.hasCode) error.code = static_cast<int>(e.code);
    error.args = e.args;
    error.message = e.message;
    return error;
}

RaisedError HostError(const std::string& message) {
    RaisedError error;
    error.message = message;
    return error;
}

// Runs one call into the module; an error it raises is kept, not thrown on.
template <typename Call>
std::optional<RaisedError> Guard(Call call) {
    try {
        call();
    } catch (const orix::IoException& e) {
        return FromException(e);
    } catch (const std::bad_alloc&) {
        return HostError("out of memory: the image is larger than the host can hold");
    } catch (const std::exception& e) {
        return HostError(e.what());
    }
    return std::nullopt;
}

}  // namespace

Session::Session(const Module& module) : m_module(module) {
    // Set: a finished import answers 0.
    m_manager.m_leadingFlag = 1;
}

Phase Session::Begin() const {
    Phase phase;
    phase.firstEvent = phase.lastEvent = m_manager.m_progress.size();
    phase.firstWarning = phase.lastWarning = m_manager.m_warnings.size();
    return phase;
}

void Session::End(Phase& phase) const {
    phase.lastEvent = m_manager.m_progress.size();
    phase.lastWarning = m_manager.m_warnings.size();
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
    outcome.phase = Begin();
    const long handedBefore = m_manager.m_importObjectCalls;
    outcome.error = Guard([&] {
        auto filter = m_module.MakeImportFilter(m_manager);
        outcome.result = filter->ImportFile(path.c_str(), promptAllowed);
    });
    End(outcome.phase);
    // The host keeps a copy of each image it took.
    if (!outcome.error && m_manager.m_importObjectCalls > handedBefore &&
        m_manager.m_importAnswer && !m_manager.m_imported.empty())
        outcome.image = m_manager.m_imported.back().get();
    return outcome;
}

ExportOutcome Session::Export(orix::TrImage& image, const std::string& path) {
    ExportOutcome outcome;
    outcome.phase = Begin();
    outcome.error = Guard([&] {
        // Destroying the filter after an error deletes an unfinished target.
        auto filter = m_module.MakeExportFilter(m_manager);
        outcome.calls.emplace_back("BeginExport", filter->BeginExport(path.c_str(), false));
        orix::TrInitGraphicsExp init;
        outcome.calls.emplace_back("ExportObject", filter->ExportObject(init));
        outcome.calls.emplace_back("ExportObject", filter->ExportObject(image));
        outcome.calls.emplace_back("EndExport", filter->EndExport());
    });
    End(outcome.phase);
    outcome.written = !outcome.error;
    for (const auto& call : outcome.calls)
        if (call.second != 0) outcome.written = false;
    return outcome;
}

std::vector<std::string> Session::Messages(const Phase& phase) const {
    std::vector<std::string> out;
    for (std::size_t i = phase.firstEvent; i < phase.lastEvent; ++i)
        if (m_manager.m_progress[i].kind == orix::ProgressEvent::Message)
            out.push_back(m_manager.m_progress[i].text);
    return out;
}

std::vector<double> Session::Proportions(const Phase& phase) const {
    std::vector<double> out;
    for (std::size_t i = phase.firstEvent; i < phase.lastEvent; ++i)
        if (m_manager.m_progress[i].kind == orix::ProgressEvent::Proportion)
            out.push_back(m_manager.m_progress[i].value);
    return out;
}

bool Session::QuestionAsked(const Phase& phase) const {
    for (std::size_t i = phase.firstWarning; i < phase.lastWarning; ++i)
        if (m_manager.m_warnings[i].style == tamb::IError::WarnQuestion) return true;
    return false;
}

std::vector<std::string> Session::Notices(const Phase& phase) const {
    std::vector<std::string> out;
    for (std::size_t i = phase.firstWarning; i < phase.lastWarning; ++i)
        if (m_manager.m_warnings[i].style != tamb::IError::WarnQuestion)
            out.push_back(m_manager.m_warnings[i].text);
    return out;
}

std::string DescribeError(const RaisedError& error) {
    if (!error.fromFilter) return error.message;
    std::string out = error.message + " (" + error.source + ":" + std::to_string(error.line);
    if (error.code) out += ", code " + std::to_string(*error.code);
    return out + ")";
}

Json JsonText(const std::string& text) {
    std::string utf8;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8 += c;
        } else {
            utf8 += static_cast<char>(0xC0 | (byte >> 6));
            utf8 += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return utf8;
}

void PrintJson(const Json& document) { std::cout << document.dump(-1, ' ', true) << std::endl; }

Json ErrorJson(const RaisedError& error) {
    Json args = Json::array();
    for (const auto& arg : error.args) args.push_back(JsonText(arg));
    Json details;
    details["source"] = error.fromFilter ? JsonText(error.source) : Json();
    details["line"] = error.fromFilter ? Json(error.line) : Json();
    details["code"] = error.code ? Json(*error.code) : Json();
    details["args"] = args;
    details["message"] = JsonText(error.message);
    return Json{{"error", details}};
}

Json PhaseJson(const Session& session, const Phase& phase) {
    Json messages = Json::array();
    for (const auto& m : session.Messages(phase)) messages.push_back(JsonText(m));
    return Json{{"messages", messages}, {"progress", session.Proportions(phase)}};
}

namespace {

std::string Hex(const unsigned char* bytes, std::size_t count) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 0xF];
    }
    return out;
}

}  // namespace

Json ImageJson(const orix::TrImage& image) {
    const auto* table = reinterpret_cast<const unsigned char*>(image.ColorTable());
    Json rows = Json::array();
    const std::vector<unsigned char> zeros(static_cast<std::size_t>(image.GetRowBytes()), 0);
    for (int y = 0; y < image.GetHeight(); ++y) {
        const unsigned char* row = image.Row(y);
        rows.push_back(Hex(row != nullptr ? row : zeros.data(), zeros.size()));
    }
    return Json{{"width", image.GetWidth()},
                {"height", image.GetHeight()},
                {"format", static_cast<int>(image.GetColorFormat())},
                {"xppm", image.GetXPelsPerMeter()},
                {"yppm", image.GetYPelsPerMeter()},
                {"color_table", Hex(table, 256 * sizeof(tagRGBQUAD))},
                {"rows", std::move(rows)}};
}

}  // namespace bmphost
