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
#include <string>
#include <vector>

#include "Json.h"
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

Options ParseArguments(int argc, char** argv) {
    Options options;
    std::vector<std::string> args(argv + 1, argv + argc);
    auto value = [&](std::size_t& i) -> const std::string& {
        if (i + 1 >= args.size()) throw UsageError{args[i] + " needs a value"};
        return args[++i];
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            throw UsageError{"", true};
        } else if (arg == "--module") {
            options.module = value(i);
        } else if (arg == "--png") {
            options.png = value(i);
        } else if (arg == "--format") {
            options.format = value(i);
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--no-prompt") {
            options.prompt = false;
        } else if (arg == "--opaque") {
            const std::string& answer = value(i);
            if (answer == "yes")
                options.opaque = OpaqueAnswer::Yes;
            else if (answer == "no")
                options.opaque = OpaqueAnswer::No;
            else if (answer == "ask")
                options.opaque = OpaqueAnswer::Ask;
            else
                throw UsageError{"--opaque takes yes, no or ask"};
        } else if (arg == "--stop-at") {
            std::uint64_t k = 0;
            if (!ParseNumber(value(i), k) || k > 0x7FFFFFFF)
                throw UsageError{"--stop-at takes a count"};
            options.stopAt = static_cast<long>(k);
        } else if (arg == "--max-pixels") {
            std::uint64_t n = 0;
            if (!ParseNumber(value(i), n)) throw UsageError{"--max-pixels takes a count"};
            options.maxPixels = n;
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
        std::printf("{\"description\": %s}\n", text ? JsonString(*text).c_str() : "null");
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

std::string PhaseJson(const Session& session, const Phase& phase) {
    std::vector<std::string> messages;
    for (const auto& m : session.Messages(phase)) messages.push_back(JsonString(m));
    std::vector<std::string> progress;
    for (const double p : session.Proportions(phase)) progress.push_back(JsonNumber(p));
    return "\"messages\": " + JsonList(messages) + ", \"progress\": " + JsonList(progress);
}

bool WritePreview(const orix::TrImage& image, const std::string& path) {
    std::string error;
    if (WritePng(image, path, error)) return true;
    PrintError(error);
    return false;
}

int Import(Session& session, const Options& options) {
    if (options.files.size() != 1) throw UsageError{"import takes one file"};
    const std::string& file = options.files[0];
    const ImportOutcome outcome = session.Import(file, options.prompt);
    if (outcome.error) {
        if (options.json) std::cout << ErrorJson(*outcome.error) << std::endl;
        PrintError(DescribeError(*outcome.error));
        return kExitFailed;
    }
    if (options.json) {
        std::cout << "{\"result\": " << outcome.result << ", \"question_asked\": "
                  << (session.QuestionAsked(outcome.phase) ? "true" : "false") << ", "
                  << PhaseJson(session, outcome.phase);
        if (outcome.image != nullptr) {
            std::cout << ", \"image\": ";
            WriteImageJson(std::cout, *outcome.image);
        }
        std::cout << "}" << std::endl;
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

int Convert(Session& session, const Options& options) {
    if (options.files.size() != 2) throw UsageError{"convert takes an input and an output file"};
    const std::string& input = options.files[0];
    const std::string& output = options.files[1];
    std::optional<tamb::ColorFormat> format;
    if (options.format) {
        format = ParseFormatName(*options.format);
        if (!format)
            throw UsageError{"unknown format " + *options.format + " (one of " + FormatNames() +
                             ")"};
    }
    std::string reason;
    if (!TargetAcceptable(output, reason)) {
        PrintError(reason);
        return kExitUsage;
    }

    std::string json = "{";
    auto fail = [&](const std::string& message, int status) {
        if (options.json) {
            RaisedError error;
            error.message = message;
            std::cout << ErrorJson(error) << std::endl;
        }
        PrintError(message);
        return status;
    };

    // Import: PNG on the host's side, anything else through the module.
    orix::TrImage fromPng;
    orix::TrImage* image = nullptr;
    if (LooksLikePng(input)) {
        std::string error;
        try {
            if (!ReadPng(input, fromPng, error)) return fail(error, kExitFailed);
        } catch (const std::bad_alloc&) {
            return fail("out of memory: the image is larger than the host can hold", kExitFailed);
        }
        image = &fromPng;
        json += "\"input\": \"png\"";
    } else {
        const ImportOutcome imported = session.Import(input, options.prompt);
        if (imported.error) {
            if (options.json) std::cout << ErrorJson(*imported.error) << std::endl;
            PrintError(DescribeError(*imported.error));
            return kExitFailed;
        }
        json +=
            "\"input\": \"bmp\", \"import\": {\"result\": " + std::to_string(imported.result) +
            ", \"question_asked\": " + (session.QuestionAsked(imported.phase) ? "true" : "false") +
            ", " + PhaseJson(session, imported.phase) + "}";
        if (imported.image == nullptr) {
            if (options.json) std::cout << json << ", \"written\": false}" << std::endl;
            std::fprintf(stderr, "%s: import stopped; nothing written\n", input.c_str());
            return StoppedStatus();
        }
        image = imported.image;
    }
    if (options.png && !WritePreview(*image, *options.png)) return kExitFailed;
    if (InterruptRequested()) {
        std::fprintf(stderr, "%s: interrupted; nothing written\n", output.c_str());
        return kExitInterrupted;
    }

    orix::TrImage converted;
    if (format && *format != image->GetColorFormat()) {
        std::string error;
        try {
            if (!ConvertImage(*image, *format, converted, error)) return fail(error, kExitUsage);
        } catch (const std::bad_alloc&) {
            return fail("out of memory: the image is larger than the host can hold", kExitFailed);
        }
        image = &converted;
    }
    json += ", \"format\": " + std::to_string(static_cast<int>(image->GetColorFormat()));

    const ExportOutcome exported = session.Export(*image, output);
    std::vector<std::string> calls;
    for (const auto& call : exported.calls)
        calls.push_back("[" + JsonString(call.first) + ", " + std::to_string(call.second) + "]");
    std::vector<std::string> notices;
    for (const auto& text : session.Notices(exported.phase)) notices.push_back(JsonString(text));
    if (exported.error) {
        if (options.json) std::cout << ErrorJson(*exported.error) << std::endl;
        PrintError(DescribeError(*exported.error));
        return kExitFailed;
    }
    const long bytes = exported.written ? FileSize(output) : -1;
    json += ", \"export\": {\"calls\": " + JsonList(calls) + ", " +
            PhaseJson(session, exported.phase) + ", \"warnings\": " + JsonList(notices) + "}";
    json += std::string(", \"written\": ") + (exported.written ? "true" : "false");
    if (exported.written) json += ", \"bytes\": " + std::to_string(bytes);
    json += "}";
    if (options.json) std::cout << json << std::endl;
    if (!exported.written) {
        std::fprintf(stderr, "%s: export stopped; nothing written\n", output.c_str());
        return StoppedStatus();
    }
    if (!options.json)
        std::printf("%s -> %s: %dx%d %s, %ld bytes\n", input.c_str(), output.c_str(),
                    image->GetWidth(), image->GetHeight(),
                    FormatName(image->GetColorFormat()).c_str(), bytes);
    return kExitOk;
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
