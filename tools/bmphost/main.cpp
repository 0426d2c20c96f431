// bmphost: a small command-line host for the BMP filter module. It loads the
// module at run time, gets its filters only through ImportBMP and ExportBMP,
// and drives them through the host's libraries as any host would.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Module.h"
#include "Pixels.h"
#include "Png.h"
#include "Session.h"
#include "Terminal.h"

namespace bmphost {
namespace {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;         // the module raised an error, refused, or the host failed
constexpr int kExitUsage = 2;          // bad command line, or a target the host will not touch
constexpr int kExitStopped = 3;        // stopped through the progress answer; no image or file
constexpr int kExitInterrupted = 130;  // stopped by Ctrl-C

const char kUsage[] =
    "usage: bmphost [--module PATH] [--max-pixels N] COMMAND ...\n"
    "\n"
    "commands:\n"
    "  probe FILE...            one line per file: supported or not\n"
    "  describe FILE [--json]   the module's description of the file\n"
    "  import FILE [--png OUT.png] [--json] [--opaque yes|no|ask] [--no-prompt]\n"
    "              [--stop-at K]\n"
    "                           import through the module; --png writes what the host\n"
    "                           received, --json prints it\n"
    "  convert IN OUT.bmp [--format FORMAT] [--opaque yes|no|ask] [--no-prompt]\n"
    "              [--stop-at K] [--json] [--png OUT.png]\n"
    "                           import IN (BMP through the module, or PNG) and export it\n"
    "                           through the module\n"
    "\n"
    "options:\n"
    "  --module PATH     the module to load (default: libBmpFilter.so beside bmphost)\n"
    "  --max-pixels N    the host's limit on the pixels of one image\n"
    "  --opaque ANSWER   answer to the question whether a fully transparent 32-bit\n"
    "                    image is to be made opaque; 'ask' (the default) asks on the\n"
    "                    terminal, and answers no when stdin is not a terminal\n"
    "  --no-prompt       tell the module that it may not ask questions\n"
    "  --stop-at K       the host answers 'stop' to its K-th progress report (from 0,\n"
    "                    counted over the whole run)\n"
    "  --format FORMAT   colour format handed to the exporter: ";

struct Options {
    std::string command;
    std::vector<std::string> files;
    std::optional<std::string> module;
    std::optional<std::string> png;
    std::optional<std::string> format;
    OpaqueAnswer opaque = OpaqueAnswer::Ask;
    bool json = false;
    bool prompt = true;
    long stopAt = -1;
    std::optional<std::uint64_t> maxPixels;
};

struct UsageError {
    std::string message;
    bool help = false;  // asked for: usage on stdout, success
};

bool ParseNumber(const std::string& text, std::uint64_t& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long parsed = std::strtoull(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') return false;
    value = parsed;
    return true;
}

OpaqueAnswer ParseOpaque(const std::string& answer) {
    if (answer == "yes") return OpaqueAnswer::Yes;
    if (answer == "no") return OpaqueAnswer::No;
    if (answer == "ask") return OpaqueAnswer::Ask;
    throw UsageError{"--opaque takes yes, no or ask"};
}

std::uint64_t ParseCount(const std::string& option, const std::string& text, std::uint64_t most) {
    std::uint64_t value = 0;
    if (!ParseNumber(text, value) || value > most) throw UsageError{option + " takes a count"};
    return value;
}

// An option with a value at args[i], taking the value too; false for any
// other argument.
bool ParseValueOption(const std::vector<std::string>& args, std::size_t& i, Options& options) {
    const std::string& option = args[i];
    static const std::set<std::string> kWithValue = {"--module", "--png",     "--format",
                                                     "--opaque", "--stop-at", "--max-pixels"};
    if (kWithValue.count(option) == 0) return false;
    if (i + 1 >= args.size()) throw UsageError{option + " needs a value"};
    const std::string& value = args[++i];
    if (option == "--module")
        options.module = value;
    else if (option == "--png")
        options.png = value;
    else if (option == "--format")
        options.format = value;
    else if (option == "--opaque")
        options.opaque = ParseOpaque(value);
    else if (option == "--stop-at")
        options.stopAt = static_cast<long>(ParseCount(option, value, 0x7FFFFFFF));
    else
        options.maxPixels = ParseCount(option, value, UINT64_MAX);
    return true;
}

Options ParseArguments(int argc, char** argv) {
    Options options;
    const std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") throw UsageError{"", true};
        if (ParseValueOption(args, i, options)) continue;
        if (arg == "--json") {
            options.json = true;
        } else if (arg == "--no-prompt") {
            options.prompt = false;
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            throw UsageError{"unknown option " + arg};
        } else if (options.command.empty()) {
            options.command = arg;
        } else {
            options.files.push_back(arg);
        }
    }
    return options;
}

void PrintError(const std::string& message) {
    ClearProgressLine();
    std::fprintf(stderr, "error: %s\n", message.c_str());
}

// The module deletes a failed target by name, so only a regular file or a
// new path may be handed to it.
bool TargetAcceptable(const std::string& path, std::string& reason) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) return true;  // a new path
    if (S_ISREG(info.st_mode)) return true;
    reason = "refusing to export to " + path + ": it exists and is not a regular file";
    return false;
}

int StoppedStatus() { return InterruptRequested() ? kExitInterrupted : kExitStopped; }

int Probe(Session& session, const Options& options) {
    if (options.files.empty()) throw UsageError{"probe needs at least one file"};
    bool all = true;
    for (const auto& file : options.files) {
        const bool supported = session.Probe(file);
        all = all && supported;
        std::printf("%s: %s\n", file.c_str(), supported ? "supported" : "not supported");
    }
    return all ? kExitOk : kExitFailed;
}

int Describe(Session& session, const Options& options) {
    if (options.files.size() != 1) throw UsageError{"describe takes one file"};
    const auto text = session.Describe(options.files[0]);
    if (options.json) {
        PrintJson(Json{{"description", text ? JsonText(*text) : Json()}});
    } else if (text) {
        // The module ends its lines with CR LF; a terminal wants LF.
        std::string plain;
        for (const char c : *text)
            if (c != '\r') plain += c;
        std::fputs(plain.c_str(), stdout);
    }
    if (!text) {
        PrintError("the module cannot describe " + options.files[0]);
        return kExitFailed;
    }
    return kExitOk;
}

// An error as the user sees it: the JSON form first when asked for, then the
// one-line form on stderr.
int ReportError(const Options& options, const RaisedError& error, int status) {
    if (options.json) PrintJson(ErrorJson(error));
    PrintError(DescribeError(error));
    return status;
}

int ReportHostError(const Options& options, const std::string& message, int status) {
    RaisedError error;
    error.message = message;
    return ReportError(options, error, status);
}

const char kOutOfMemory[] = "out of memory: the image is larger than the host can hold";

bool WritePreview(const orix::TrImage& image, const std::string& path) {
    std::string error;
    if (WritePng(image, path, error)) return true;
    PrintError(error);
    return false;
}

// The import's result, whether the question was asked, and its messages and
// progress.
Json ImportJson(const Session& session, const ImportOutcome& outcome) {
    Json json{{"result", outcome.result}, {"question_asked", session.QuestionAsked(outcome.phase)}};
    json.update(PhaseJson(session, outcome.phase));
    return json;
}

int Import(Session& session, const Options& options) {
    if (options.files.size() != 1) throw UsageError{"import takes one file"};
    const std::string& file = options.files[0];
    const ImportOutcome outcome = session.Import(file, options.prompt);
    if (outcome.error) return ReportError(options, *outcome.error, kExitFailed);
    if (options.json) {
        Json json = ImportJson(session, outcome);
        if (outcome.image != nullptr) json["image"] = ImageJson(*outcome.image);
        PrintJson(json);
    }
    if (outcome.image == nullptr) {
        if (!options.json)
            std::printf("%s: stopped, no image was handed over (result %d)\n", file.c_str(),
                        outcome.result);
        return StoppedStatus();
    }
    if (!options.json) {
        const orix::TrImage& image = *outcome.image;
        std::printf("%s: %dx%d %s (result %d)\n", file.c_str(), image.GetWidth(), image.GetHeight(),
                    FormatName(image.GetColorFormat()).c_str(), outcome.result);
    }
    if (options.png && !WritePreview(*outcome.image, *options.png)) return kExitFailed;
    return kExitOk;
}

long FileSize(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 ? static_cast<long>(info.st_size) : -1;
}

// What convert has so far: the image to export and the report it prints.
struct Conversion {
    Conversion(const std::string& in, const std::string& out) : input(in), output(out) {}

    const std::string& input;
    const std::string& output;
    Json report = Json::object();
    orix::TrImage fromPng;
    orix::TrImage reencoded;
    orix::TrImage* image = nullptr;
};

// Each step of convert either moves it on or ends the run with an exit status.
using Step = std::optional<int>;

std::optional<tamb::ColorFormat> RequestedFormat(const Options& options) {
    if (!options.format) return std::nullopt;
    const auto format = ParseFormatName(*options.format);
    if (!format)
        throw UsageError{"unknown format " + *options.format + " (one of " + FormatNames() + ")"};
    return format;
}

// PNG is read on the host's side; the module never sees it.
Step ReadPngInput(const Options& options, Conversion& c) {
    std::string error;
    try {
        if (!ReadPng(c.input, c.fromPng, error))
            return ReportHostError(options, error, kExitFailed);
    } catch (const std::bad_alloc&) {
        return ReportHostError(options, kOutOfMemory, kExitFailed);
    }
    c.image = &c.fromPng;
    c.report["input"] = "png";
    return std::nullopt;
}

Step ImportInput(Session& session, const Options& options, Conversion& c) {
    const ImportOutcome imported = session.Import(c.input, options.prompt);
    if (imported.error) return ReportError(options, *imported.error, kExitFailed);
    c.report["input"] = "bmp";
    c.report["import"] = ImportJson(session, imported);
    if (imported.image == nullptr) {
        c.report["written"] = false;
        if (options.json) PrintJson(c.report);
        std::fprintf(stderr, "%s: import stopped; nothing written\n", c.input.c_str());
        return StoppedStatus();
    }
    c.image = imported.image;
    return std::nullopt;
}

// The preview shows what was read, before any re-encoding.
Step WriteInputPreview(const Options& options, Conversion& c) {
    if (options.png && !WritePreview(*c.image, *options.png)) return kExitFailed;
    if (InterruptRequested()) {
        std::fprintf(stderr, "%s: interrupted; nothing written\n", c.output.c_str());
        return kExitInterrupted;
    }
    return std::nullopt;
}

Step Reencode(const Options& options, std::optional<tamb::ColorFormat> format, Conversion& c) {
    if (format && *format != c.image->GetColorFormat()) {
        std::string error;
        try {
            if (!ConvertImage(*c.image, *format, c.reencoded, error))
                return ReportHostError(options, error, kExitUsage);
        } catch (const std::bad_alloc&) {
            return ReportHostError(options, kOutOfMemory, kExitFailed);
        }
        c.image = &c.reencoded;
    }
    c.report["format"] = static_cast<int>(c.image->GetColorFormat());
    return std::nullopt;
}

int ExportOutput(Session& session, const Options& options, Conversion& c) {
    const ExportOutcome exported = session.Export(*c.image, c.output);
    if (exported.error) return ReportError(options, *exported.error, kExitFailed);
    Json calls = Json::array();
    for (const auto& call : exported.calls) calls.push_back(Json::array({call.first, call.second}));
    Json warnings = Json::array();
    for (const auto& text : session.Notices(exported.phase)) warnings.push_back(JsonText(text));
    Json& report = c.report["export"] = Json{{"calls", calls}};
    report.update(PhaseJson(session, exported.phase));
    report["warnings"] = warnings;
    c.report["written"] = exported.written;
    const long bytes = exported.written ? FileSize(c.output) : -1;
    if (exported.written) c.report["bytes"] = bytes;
    if (options.json) PrintJson(c.report);
    if (!exported.written) {
        std::fprintf(stderr, "%s: export stopped; nothing written\n", c.output.c_str());
        return StoppedStatus();
    }
    if (!options.json)
        std::printf("%s -> %s: %dx%d %s, %ld bytes\n", c.input.c_str(), c.output.c_str(),
                    c.image->GetWidth(), c.image->GetHeight(),
                    FormatName(c.image->GetColorFormat()).c_str(), bytes);
    return kExitOk;
}

int Convert(Session& session, const Options& options) {
    if (options.files.size() != 2) throw UsageError{"convert takes an input and an output file"};
    Conversion c(options.files[0], options.files[1]);
    const auto format = RequestedFormat(options);
    std::string reason;
    if (!TargetAcceptable(c.output, reason)) {
        PrintError(reason);
        return kExitUsage;
    }
    Step step = LooksLikePng(c.input) ? ReadPngInput(options, c) : ImportInput(session, options, c);
    if (!step) step = WriteInputPreview(options, c);
    if (!step) step = Reencode(options, format, c);
    return step ? *step : ExportOutput(session, options, c);
}

int Run(int argc, char** argv) {
    Options options;
    try {
        options = ParseArguments(argc, argv);
        if (options.command.empty()) throw UsageError{"no command given"};
        static const std::map<std::string, int> kKnown = {
            {"probe", 0}, {"describe", 0}, {"import", 0}, {"convert", 0}};
        if (kKnown.count(options.command) == 0)
            throw UsageError{"unknown command " + options.command};
    } catch (const UsageError& e) {
        if (!e.help) PrintError(e.message);
        std::fprintf(e.help ? stdout : stderr, "%s%s\n", kUsage, FormatNames().c_str());
        return e.help ? kExitOk : kExitUsage;
    }

    if (options.maxPixels) orix::TrImage::SetPixelLimit(*options.maxPixels);
    try {
        const Module module(options.module ? *options.module : DefaultModulePath());
        Session session(module);
        AttachTerminal(session.Manager(), options.opaque);
        session.Manager().m_stopAtProportion = options.stopAt;
        InstallInterruptHandler();
        if (options.command == "probe") return Probe(session, options);
        if (options.command == "describe") return Describe(session, options);
        if (options.command == "import") return Import(session, options);
        return Convert(session, options);
    } catch (const UsageError& e) {
        PrintError(e.message);
        std::fprintf(stderr, "%s%s\n", kUsage, FormatNames().c_str());
        return kExitUsage;
    } catch (const std::exception& e) {
        PrintError(e.what());
        return kExitFailed;
    }
}

}  // namespace
}  // namespace bmphost

int main(int argc, char** argv) { return bmphost::Run(argc, argv); }
