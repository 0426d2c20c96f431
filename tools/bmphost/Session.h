#pragma once
// Drives the module's filters as a host does, and keeps what it saw.
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "Module.h"
#include "standin/Image.h"
#include "standin/Recorder.h"

namespace bmphost {

// Members keep the order they were added in, as a reader of the output expects.
using Json = nlohmann::ordered_json;

inline constexpr char kOutOfMemory[] = "out of memory: the image is larger than the host can hold";

// An error a filter raised (or another failure on the host's side).
struct RaisedError {
    bool fromFilter = false;  // raised through the framework by a filter
    std::string source;
    int line = 0;
    std::optional<int> code;  // absent for the text form
    std::vector<std::string> args;
    std::string message;
};

// A failure on the host's side: only its text.
inline RaisedError HostError(const std::string& message) {
    return RaisedError{false, {}, 0, {}, {}, message};
}

// What happened in one part of the run: the records the manager kept from
// `firstEvent` on.
struct Phase {
    std::size_t firstEvent = 0, lastEvent = 0;  // one past the last
    std::size_t firstWarning = 0, lastWarning = 0;
};

struct ImportOutcome {
    std::optional<RaisedError> error;
    int result = -1;  // the ImportFile status
    Phase phase;
    standin::Image* image = nullptr;  // the host's copy, when one was handed over
};

struct ExportOutcome {
    std::optional<RaisedError> error;
    std::vector<std::pair<std::string, int>> calls;  // slot name and status, in order
    Phase phase;
    bool written = false;  // every call answered 0
};

class Session {
  public:
    explicit Session(const Module& module);

    standin::RecordingManager& Manager() { return m_manager; }

    bool Probe(const std::string& path);
    // Nullopt when the module refuses to describe the file.
    std::optional<std::string> Describe(const std::string& path);
    ImportOutcome Import(const std::string& path, bool promptAllowed);
    ExportOutcome Export(orix::TrImage& image, const std::string& path);

    // The progress messages and proportions of a phase, whether it asked the
    // transparency question, and the notices it showed.
    Json PhaseJson(const Phase& phase) const;

  private:
    Phase Begin() const;
    void End(Phase& phase) const;

    const Module& m_module;
    standin::RecordingManager m_manager;
};

// The one-line form: "MESSAGE (SOURCE:LINE, code N)".
std::string DescribeError(const RaisedError& error);

// One document on stdout, one line, in UTF-8: texts as the module gave them,
// bytes that are not UTF-8 replaced.
void PrintJson(const Json& document);

// {"error": {...}}: source, line, code, args, message (null where absent).
Json ErrorJson(const RaisedError& error);
// Size, format and resolution; with `pixels`, the colour table and the rows
// (top first) as hex.
Json ImageJson(const standin::Image& image, bool pixels);

// What a BMP file's headers say, read by the host itself: the picture's size
// and bit count, and a warning line when the module reads its pixels otherwise than its
// bit-field masks say ("" when it reads them as such, or has none).
struct BmpHeader {
    std::uint64_t width = 0, height = 0;
    int bits = 0;
    std::string maskWarning;
};
BmpHeader ReadBmpHeader(const std::string& path, const std::string& name);

}  // namespace bmphost
