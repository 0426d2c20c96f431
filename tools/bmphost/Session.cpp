#include "Session.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iostream>
#include <new>

#include "orix/TrInitGraphicsExp.h"
#include "standin/IoException.h"
#include "tamb/IError.h"

namespace bmphost {

namespace {

constexpr char kMaskWarning[] =
    "warning: %s: a %d-bit file with bit-field masks red 0x%X, green 0x%X, blue 0x%X; the module "
    "reads the pixels as %s\n";

// Runs one call into the module; an error it raises is kept, not thrown on.
template <typename Call>
std::optional<RaisedError> Guard(Call call) {
    try {
        call();
    } catch (const standin::IoException& e) {
        const auto code = e.hasCode ? std::optional<int>(static_cast<int>(e.code)) : std::nullopt;
        return RaisedError{true, e.source, e.line, code, e.args, e.message};
    } catch (const std::bad_alloc&) {
        return HostError(kOutOfMemory);
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

Json Session::PhaseJson(const Phase& phase) const {
    Json messages = Json::array(), progress = Json::array(), notices = Json::array();
    for (std::size_t i = phase.firstEvent; i < phase.lastEvent; ++i) {
        const standin::ProgressEvent& event = m_manager.m_progress[i];
        if (event.kind == standin::ProgressEvent::Message) messages.push_back(event.text);
        if (event.kind == standin::ProgressEvent::Proportion) progress.push_back(event.value);
    }
    bool asked = false;
    for (std::size_t i = phase.firstWarning; i < phase.lastWarning; ++i) {
        const bool question = m_manager.m_warnings[i].style == tamb::IError::WarnQuestion;
        asked = asked || question;
        if (!question) notices.push_back(m_manager.m_warnings[i].text);
    }
    return Json{{"messages", messages},
                {"progress", progress},
                {"question_asked", asked},
                {"warnings", notices}};
}

std::string DescribeError(const RaisedError& error) {
    if (!error.fromFilter) return error.message;
    std::string out = error.message + " (" + error.source + ":" + std::to_string(error.line);
    if (error.code) out += ", code " + std::to_string(*error.code);
    return out + ")";
}

void PrintJson(const Json& document) {
    std::cout << document.dump(-1, ' ', false, Json::error_handler_t::replace) << std::endl;
}

Json ErrorJson(const RaisedError& error) {
    Json details;
    details["source"] = error.fromFilter ? Json(error.source) : Json();
    details["line"] = error.fromFilter ? Json(error.line) : Json();
    details["code"] = error.code ? Json(*error.code) : Json();
    details["args"] = error.args;
    details["message"] = error.message;
    return Json{{"error", details}};
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

Json ImageJson(const standin::Image& image, bool pixels) {
    Json json{{"width", image.GetWidth()},
              {"height", image.GetHeight()},
              {"format", static_cast<int>(image.GetColorFormat())},
              {"xppm", image.GetXPelsPerMeter()},
              {"yppm", image.GetYPelsPerMeter()}};
    if (!pixels) return json;
    const auto* table = reinterpret_cast<const unsigned char*>(image.ColorTable());
    Json rows = Json::array();
    const std::vector<unsigned char> zeros(static_cast<std::size_t>(image.GetRowBytes()), 0);
    for (int y = 0; y < image.GetHeight(); ++y) {
        const unsigned char* row = image.Row(y);
        rows.push_back(Hex(row != nullptr ? row : zeros.data(), zeros.size()));
    }
    json["color_table"] = Hex(table, 256 * sizeof(tagRGBQUAD));
    json["rows"] = std::move(rows);
    return json;
}

namespace {

std::uint32_t Le(const unsigned char* bytes, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[i];
    return value;
}

// How the module reads the pixels of a BI_BITFIELDS file of `bits`, when
// that is not what the file's masks (red, green, blue) say: 16 bits as 5-6-5
// when the masks it reads name 0xF800 for red or blue, else as 5-5-5; 32 bits
// as bytes; fewer as plain rows.
std::string ReadOtherwise(int bits, const unsigned char* file, const unsigned char* read) {
    const auto says = [file](std::uint32_t r, std::uint32_t g, std::uint32_t b) {
        return Le(file, 4) == r && Le(file + 4, 4) == g && Le(file + 8, 4) == b;
    };
    if (bits <= 8) return "plain rows of colour indices";
    if (bits == 32) return says(0xFF0000, 0xFF00, 0xFF) ? "" : "blue, green, red, alpha bytes";
    if (bits != 16) return "";
    if (Le(read, 4) == 0xF800 || Le(read + 8, 4) == 0xF800)
        return says(0xF800, 0x7E0, 0x1F) ? "" : "5-6-5 (red in bits 11-15, green 5-10, blue 0-4)";
    return says(0x7C00, 0x3E0, 0x1F) ? "" : "5-5-5 (red in bits 10-14, green 5-9, blue 0-4)";
}

}  // namespace

BmpHeader ReadBmpHeader(const std::string& path, const std::string& name) {
    std::ifstream in(path, std::ios::binary);
    unsigned char bytes[66] = {}, read[12] = {};
    in.read(reinterpret_cast<char*>(bytes), sizeof bytes);
    const std::uint32_t size = Le(bytes + 14, 4);
    const bool core = size == 12;  // 16-bit sizes, no compression
    BmpHeader header;
    header.width = core ? Le(bytes + 18, 2) : Le(bytes + 18, 4);
    const auto height = core ? static_cast<std::int16_t>(Le(bytes + 20, 2))
                             : static_cast<std::int32_t>(Le(bytes + 22, 4));
    header.height = static_cast<std::uint64_t>(std::abs(static_cast<std::int64_t>(height)));
    const int bits = header.bits = static_cast<int>(Le(bytes + (core ? 24 : 28), 2));
    if (core || Le(bytes + 30, 4) != 3) return header;
    // The file's masks follow a 40-byte header or stand in a larger one; the
    // module reads the 12 bytes after the whole header.
    in.clear();
    in.seekg(14 + static_cast<std::streamoff>(size));
    in.read(reinterpret_cast<char*>(read), sizeof read);
    const std::string as = ReadOtherwise(bits, bytes + 54, read);
    std::vector<char> line(name.size() + 256);
    std::snprintf(line.data(), line.size(), kMaskWarning, name.c_str(), bits, Le(bytes + 54, 4),
                  Le(bytes + 58, 4), Le(bytes + 62, 4), as.c_str());
    header.maskWarning = as.empty() ? "" : line.data();
    return header;
}

}  // namespace bmphost
