#pragma once
// bmphost's commands: probe, describe, import and convert, each as the user
// asked for it on the command line.
#include <cstdint>
#include <string>
#include <vector>

#include "Session.h"

namespace bmphost {

inline constexpr int kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitStopped = 3,
                     kExitInterrupted = 130;

struct Options {
    std::string command;
    std::string module;
    std::uint64_t maxPixels = 0, maxInputBytes = 0;  // 0: the defaults
    std::vector<std::string> files;                  // of probe
    std::string input, output, png, format, opaque = "ask";
    bool json = false, pixels = false, noPrompt = false;
    long stopAt = -1;
};

int Probe(Session& session, const Options& options);
int Describe(Session& session, const Options& options);
// import and convert. The targets are committed together once all went
// well; after a stop, a failure or a signal none has changed.
int ImportOrConvert(Session& session, const Options& options);

// An error as the user sees it: the JSON form first when asked for, then the
// one-line form on stderr, with its cause on a line of its own.
int ReportError(const Options& options, const std::vector<std::string>& warnings,
                const RaisedError& error, int status);

}  // namespace bmphost
