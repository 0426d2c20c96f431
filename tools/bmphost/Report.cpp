#include "Report.h"

#include "Terminal.h"

namespace bmphost {

namespace {

template <typename T>
Json OrNull(const std::optional<T>& value) {
    return value ? Json(*value) : Json();
}

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

void PrintJson(const Json& document) {
    PrintOut(document.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n");
}

Json PhaseJson(const Phase& phase) {
    return Json{{"messages", phase.messages},
                {"progress", phase.progress},
                {"question_asked", phase.questionAsked},
                {"warnings", phase.notices}};
}

Json ErrorJson(const RaisedError& error, const std::vector<std::string>& warnings) {
    Json details;
    details["source"] = error.fromFilter ? Json(error.source) : Json();
    details["line"] = error.fromFilter ? Json(error.line) : Json();
    details["code"] = OrNull(error.code);
    details["args"] = error.args;
    details["message"] = error.message;
    details["cause"] = error.cause.empty() ? Json() : Json(error.cause);
    return Json{{"schema", kSchemaVersion}, {"error", details}, {"warnings", warnings}};
}

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

Json ConversionJson(const ConversionReport& r, const std::vector<std::string>& warnings) {
    const Phase none;
    const Json importPhase = PhaseJson(r.import ? *r.import : none);
    Json json{{"schema", kSchemaVersion}, {"command", r.command}, {"input", r.input}};
    // The import's fields stand at the top too, where import has always
    // printed them.
    json["result"] = OrNull(r.result);
    for (const char* field : {"messages", "progress", "question_asked"})
        json[field] = importPhase[field];
    json["import"] = Json();
    if (r.import) json["import"] = Json{{"result", OrNull(r.result)}};
    if (r.import) json["import"].update(importPhase);
    json["image"] = r.image != nullptr ? ImageJson(*r.image, r.pixels) : Json();
    json["format"] = OrNull(r.format);
    json["export"] = Json();
    if (r.exported) {
        Json calls = Json::array();
        for (const auto& call : r.calls) calls.push_back(Json::array({call.first, call.second}));
        json["export"] = Json{{"calls", calls}};
        json["export"].update(PhaseJson(*r.exported));
    }
    json.update({{"written", r.written}, {"bytes", OrNull(r.bytes)}, {"bits", OrNull(r.bits)}});
    json["warnings"] = warnings;
    return json;
}

}  // namespace bmphost
