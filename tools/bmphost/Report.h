#pragma once
// The JSON documents bmphost prints with --json (tools/README.md describes
// every field). Each carries the schema version; fields keep their names and
// meaning within a version, and new ones may be added.
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "Session.h"
#include "standin/Image.h"

namespace bmphost {

// Members keep the order they were added in, as a reader of the output expects.
using Json = nlohmann::ordered_json;

inline constexpr int kSchemaVersion = 1;

// One document on stdout, one line, in UTF-8: texts as the module gave them,
// bytes that are not UTF-8 replaced. Throws when stdout refuses it.
void PrintJson(const Json& document);

// A phase's progress messages and proportions, whether it asked the
// transparency question, and the filter's notices.
Json PhaseJson(const Phase& phase);
// Size, format and resolution; with `pixels`, the colour table and the rows
// (top first) as hex.
Json ImageJson(const standin::Image& image, bool pixels);
// {"schema", "error": {source, line, code, args, message, cause}, "warnings"}
// (null where absent).
Json ErrorJson(const RaisedError& error, const std::vector<std::string>& warnings);

// What import and convert report, in one shape for both.
struct ConversionReport {
    std::string command;                             // "import" or "convert"
    std::string input;                               // "bmp" or "png"
    std::optional<int> result;                       // the import's status (BMP)
    std::optional<Phase> import, exported;           // the phases that ran
    const standin::Image* image = nullptr;           // as received; none after a stop
    bool pixels = false;                             // with the colour table and rows
    std::optional<int> format;                       // the colour format exported
    std::vector<std::pair<std::string, int>> calls;  // of the export
    bool written = false;                            // the BMP target
    std::optional<std::uint64_t> bytes;              // of the BMP written
    std::optional<int> bits;                         // the depth its header names
};
Json ConversionJson(const ConversionReport& report, const std::vector<std::string>& warnings);

}  // namespace bmphost
