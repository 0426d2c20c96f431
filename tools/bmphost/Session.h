#pragma once
// Drives the module's filters as a host does. bmphost is the stand-in's
// application: it shows progress and questions on the terminal and keeps,
// for its report, only what the current command gave.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Module.h"
#include "standin/Application.h"
#include "standin/Image.h"
#include "standin/Manager.h"

namespace bmphost {

inline constexpr char kOutOfMemory[] = "out of memory: the image is larger than the host can hold";

// An error a filter raised (or another failure on the host's side), with the
// cause bmphost can see where the message names none.
struct RaisedError {
    bool fromFilter = false;  // raised through the framework by a filter
    std::string source;
    int line = 0;
    std::optional<int> code;  // absent for the text form
    std::vector<std::string> args;
    std::string message;
    std::string cause;
};

// A failure on the host's side: only its text.
inline RaisedError HostError(const std::string& message) {
    RaisedError error;
    error.message = message;
    return error;
}

// What one filter call showed the host.
struct Phase {
    std::vector<std::string> messages;  // progress messages
    std::vector<double> progress;       // proportions reported
    bool questionAsked = false;         // the transparency question
    std::vector<std::string> notices;   // the filter's warnings
};

enum class OpaqueAnswer { Yes, No, Ask };

// The host's side of the framework: the bar and the question on the
// terminal, the answer "stop" at the K-th progress report (from 0) or after
// Ctrl-C, and every warning on stderr, kept for the report.
class Host : public standin::Application {
  public:
    Host(OpaqueAnswer opaque, long stopAt) : m_opaque(opaque), m_stopAt(stopAt) {}

    void ProgressBegin(const std::string& text) override;
    void ProgressMessage(const std::string& text) override;
    bool ProgressProportion(double fraction) override;
    void ProgressEnd() override;
    int Warning(tamb::IError::WarnStyle style, const std::string& text,
                const std::string& format) override;
    bool ImageImported(std::unique_ptr<standin::Image> image) override;

    // A warning of bmphost's own: "warning: TEXT" on stderr, and kept.
    void Warn(const std::string& text);
    const std::vector<std::string>& Warnings() const { return m_warnings; }

    // What the filters showed since the last call; the image handed over.
    Phase TakePhase();
    std::unique_ptr<standin::Image> TakeImage() { return std::move(m_image); }

  private:
    int Answer(const std::string& question);

    OpaqueAnswer m_opaque;
    long m_stopAt;
    long m_proportionCalls = 0;
    Phase m_phase;
    std::vector<std::string> m_warnings;
    std::unique_ptr<standin::Image> m_image;
};

struct ImportOutcome {
    std::optional<RaisedError> error;
    int result = -1;  // the ImportFile status
    Phase phase;
    std::unique_ptr<standin::Image> image;  // when one was handed over
};

struct ExportOutcome {
    std::optional<RaisedError> error;
    std::vector<std::pair<std::string, int>> calls;  // slot name and status, in order
    Phase phase;
    bool written = false;  // every call answered 0
};

class Session {
  public:
    Session(const Module& module, OpaqueAnswer opaque, long stopAt);

    Host& GetHost() { return m_host; }

    bool Probe(const std::string& path);
    // Nullopt when the module refuses to describe the file.
    std::optional<std::string> Describe(const std::string& path);
    ImportOutcome Import(const std::string& path, bool promptAllowed);
    // A write error the module names without its reason gets the system's
    // as its cause.
    ExportOutcome Export(orix::TrImage& image, const std::string& path);

  private:
    const Module& m_module;
    Host m_host;
    standin::Manager m_manager;
};

// The one-line form: "MESSAGE (SOURCE:LINE, code N)".
std::string DescribeError(const RaisedError& error);

}  // namespace bmphost
