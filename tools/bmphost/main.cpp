// bmphost: a small command-line host for the BMP filter module. It loads the
// module at run time, gets its filters only through ImportBMP and ExportBMP,
// and drives them through the host's libraries as any host would.
#include <CLI/CLI.hpp>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Module.h"
#include "Pixels.h"
#include "Png.h"
#include "Session.h"
#include "Target.h"
#include "Terminal.h"

namespace bmphost {
namespace {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;         // the module raised an error, refused, or the host failed
constexpr int kExitUsage = 2;          // bad command line, or a target the host will not touch
constexpr int kExitStopped = 3;        // stopped through the progress answer; no image or file
constexpr int kExitInterrupted = 130;  // stopped by Ctrl-C

struct Options {
    std::string module;
    std::uint64_t maxPixels = 0;
    std::vector<std::string> files;  // of probe
    std::string input, output;
    std::string png, format;
    std::string opaque = "ask";
    bool json = false, noPrompt = false;
    long stopAt = -1;
};

const char kPngHelp[] = "write what the host received as a PNG";
const char kJsonHelp[] = "print one JSON document on one line";

// The options of import and convert.
void AddImportOptions(CLI::App& command, Options& o) {
    command.add_option("--png", o.png, kPngHelp);
    command.add_flag("--json", o.json, kJsonHelp);
    command
        .add_option("--opaque", o.opaque,
                    "make a fully transparent 32-bit image opaque: yes, no, or ask (the default) "
                    "on the terminal, which answers no when stdin is not one")
        ->check(CLI::IsMember({"yes", "no", "ask"}));
    command.add_flag("--no-prompt", o.noPrompt, "tell the module that it may not ask questions");
    command
        .add_option("--stop-at", o.stopAt,
                    "answer 'stop' to the K-th progress report of the run (from 0)")
        ->check(CLI::Range(0L, 0x7FFFFFFFL));
}

// Each command a subcommand with its own help; options of the whole program
// may come after the command too.
void DefineCommandLine(CLI::App& app, Options& o) {
    app.set_version_flag("-v,--version", [&app] {
        const CLI::Option* module = app.get_option("--module");
        std::string path;
        try {
            path = module->count() > 0 ? module->as<std::string>() : DefaultModulePath();
        } catch (const std::exception& e) {
            path = e.what();
        }
        return "bmphost " BMPHOST_VERSION "\nmodule: " + path;
    });
    app.require_subcommand(1);
    app.fallthrough();
    app.add_option("--module", o.module,
                   "the module to load (default: " BMPHOST_MODULE_NAME
                   " beside bmphost, else in ../lib)");
    app.add_option("--max-pixels", o.maxPixels, "the host's limit on the pixels of one image");
    app.add_subcommand("probe", "one line per file: supported or not")
        ->add_option("FILE", o.files)
        ->required();
    CLI::App* describe = app.add_subcommand("describe", "the module's description of the file");
    describe->add_option("FILE", o.input)->required();
    describe->add_flag("--json", o.json, kJsonHelp);
    CLI::App* import = app.add_subcommand("import", "import a file through the module");
    import->add_option("FILE", o.input)->required();
    AddImportOptions(*import, o);
    CLI::App* convert = app.add_subcommand(
        "convert", "import IN (BMP through the module, or PNG) and export it through the module");
    convert->add_option("IN", o.input)->required();
    convert->add_option("OUT.bmp", o.output)->required();
    AddImportOptions(*convert, o);
    convert->add_option("--format", o.format, "re-encode on the host's side before the export")
        ->check(CLI::IsMember(FormatNames()));
    app.failure_message([](const CLI::App* top, const CLI::Error& e) {
        const auto chosen = top->get_subcommands();
        const auto left = top->remaining();
        const std::string command = chosen.empty() ? "" : " " + chosen[0]->get_name();
        const std::string what = chosen.empty() && !left.empty() && left[0][0] != '-'
                                     ? "unknown command " + left[0]
                                     : e.what();
        return "error: " + what + "\nrun 'bmphost" + command + " --help' for usage\n";
    });
}

void PrintError(const std::string& message) {
    ClearProgressLine();
    std::fprintf(stderr, "error: %s\n", message.c_str());
}

int StoppedStatus() { return InterruptRequested() ? kExitInterrupted : kExitStopped; }

int Probe(Session& session, const Options& options) {
    bool all = true;
    for (const auto& file : options.files) {
        const bool supported = session.Probe(file);
        all = all && supported;
        std::printf("%s: %s\n", file.c_str(), supported ? "supported" : "not supported");
    }
    return all ? kExitOk : kExitFailed;
}

int Describe(Session& session, const Options& options) {
    const auto text = session.Describe(options.input);
    if (options.json) {
        PrintJson(Json{{"description", text ? Json(*text) : Json()}});
    } else if (text) {
        // The module ends its lines with CR LF; a terminal wants LF.
        for (const char c : *text)
            if (c != '\r') std::putchar(c);
    }
    if (!text) PrintError("the module cannot describe " + options.input);
    return text ? kExitOk : kExitFailed;
}

// An error as the user sees it: the JSON form first when asked for, then the
// one-line form on stderr.
int ReportError(const Options& options, const RaisedError& error, int status) {
    if (options.json) PrintJson(ErrorJson(error));
    PrintError(DescribeError(error));
    return status;
}

// The one way bmphost writes a file: beside the target, then over it.
template <typename Write>
int WriteTarget(const std::string& target, Write write) {
    PendingFile pending(target);
    const int status = write(pending.Path());
    if (status == kExitOk) pending.Commit();
    return status;
}

int WritePreview(const Options& options, const standin::Image& image) {
    return WriteTarget(options.png, [&](const std::string& path) {
        std::string error;
        if (!WritePng(image, path, error)) throw std::runtime_error(error);
        return kExitOk;
    });
}

Json ImportJson(const Session& session, const ImportOutcome& outcome) {
    Json json{{"result", outcome.result}};
    json.update(session.PhaseJson(outcome.phase));
    return json;
}

int Import(Session& session, const Options& options) {
    const std::string& file = options.input;
    const ImportOutcome outcome = session.Import(file, !options.noPrompt);
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
        const standin::Image& image = *outcome.image;
        std::printf("%s: %dx%d %s (result %d)\n", file.c_str(), image.GetWidth(), image.GetHeight(),
                    FormatName(image.GetColorFormat()).c_str(), outcome.result);
    }
    return options.png.empty() ? kExitOk : WritePreview(options, *outcome.image);
}

// The size of a written BMP file and the depth its header names.
std::pair<long, int> WrittenFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const long size = static_cast<long>(in.tellg());
    unsigned char bits[2] = {};
    in.seekg(28);
    in.read(reinterpret_cast<char*>(bits), 2);
    return {size, bits[0] | bits[1] << 8};
}

// The module names the file it was given; the user named the target.
void Retarget(RaisedError& error, const std::string& written, const std::string& target) {
    std::string& text = error.message;
    for (auto at = text.find(written); at != std::string::npos;
         at = text.find(written, at + target.size()))
        text.replace(at, written.size(), target);
    for (auto& arg : error.args)
        if (arg == written) arg = target;
}

// What convert has so far: the image to export and the report it prints.
struct Conversion {
    Conversion(const std::string& in, const std::string& out) : input(in), output(out) {}

    const std::string& input;
    const std::string& output;
    Json report = Json::object();
    standin::Image fromPng;
    standin::Image reencoded;
    standin::Image* image = nullptr;
};

// Nothing is read before the targets are known to be ones convert may write.
void CheckTargets(const Options& options, const std::string& target) {
    std::string ending = target.size() < 4 ? "" : target.substr(target.size() - 4);
    for (char& c : ending) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ending != ".bmp")
        throw Refusal("refusing to export to " + target + ": its name does not end in .bmp", true);
    CheckTarget(target);
    if (!options.png.empty()) CheckTarget(options.png);
}

// The image comes through the module, or, from a PNG, from the host's side.
std::optional<int> ReadInput(Session& session, const Options& options, Conversion& c) {
    std::string error;
    if (LooksLikePng(c.input)) {
        if (!ReadPng(c.input, c.fromPng, error)) throw std::runtime_error(error);
        c.image = &c.fromPng;
        c.report["input"] = "png";
        return std::nullopt;
    }
    const ImportOutcome imported = session.Import(c.input, !options.noPrompt);
    if (imported.error) return ReportError(options, *imported.error, kExitFailed);
    c.report["input"] = "bmp";
    c.report["import"] = ImportJson(session, imported);
    c.image = imported.image;
    if (c.image != nullptr) return std::nullopt;
    c.report["written"] = false;
    if (options.json) PrintJson(c.report);
    std::fprintf(stderr, "%s: import stopped; nothing written\n", c.input.c_str());
    return StoppedStatus();
}

void Reencode(const Options& options, Conversion& c) {
    const auto format = ParseFormatName(options.format);
    std::string error;
    if (format && *format != c.image->GetColorFormat()) {
        if (!ConvertImage(*c.image, *format, c.reencoded, error)) throw Refusal(error, true);
        c.image = &c.reencoded;
    }
    c.report["format"] = static_cast<int>(c.image->GetColorFormat());
}

// The result line names the depth written, and the format it came from when
// the module converted it.
void PrintResult(const Conversion& c, long bytes, int bits) {
    const tamb::ColorFormat format = c.image->GetColorFormat();
    const std::string depth = std::to_string(bits) + "-bit" +
                              (bits == standin::BitsPerPixel(format) ? " " : ", converted from ") +
                              FormatName(format);
    std::printf("%s -> %s: %dx%d %s, %ld bytes\n", c.input.c_str(), c.output.c_str(),
                c.image->GetWidth(), c.image->GetHeight(), depth.c_str(), bytes);
}

int ExportOutput(Session& session, const Options& options, Conversion& c) {
    ExportOutcome exported;
    const int status = WriteTarget(c.output, [&](const std::string& path) {
        exported = session.Export(*c.image, path);
        if (!exported.error) return exported.written ? kExitOk : kExitStopped;
        Retarget(*exported.error, path, c.output);
        return ReportError(options, *exported.error, kExitFailed);
    });
    if (status != kExitOk && status != kExitStopped) return status;
    Json calls = Json::array();
    for (const auto& call : exported.calls) calls.push_back(Json::array({call.first, call.second}));
    Json& report = c.report["export"] = Json{{"calls", calls}};
    report.update(session.PhaseJson(exported.phase));
    c.report["written"] = exported.written;
    const auto [bytes, bits] = exported.written ? WrittenFile(c.output) : std::make_pair(-1L, 0);
    if (exported.written) c.report.update({{"bytes", bytes}, {"bits", bits}});
    if (options.json) PrintJson(c.report);
    if (!exported.written) {
        std::fprintf(stderr, "%s: export stopped; nothing written\n", c.output.c_str());
        return StoppedStatus();
    }
    if (!options.json) PrintResult(c, bytes, bits);
    return kExitOk;
}

int Convert(Session& session, const Options& options) {
    Conversion c(options.input, options.output);
    CheckTargets(options, c.output);
    if (const auto status = ReadInput(session, options, c)) return *status;
    // The preview shows what was read, before any re-encoding.
    if (!options.png.empty()) WritePreview(options, *c.image);
    if (InterruptRequested()) {
        std::fprintf(stderr, "%s: interrupted; nothing written\n", c.output.c_str());
        return kExitInterrupted;
    }
    Reencode(options, c);
    return ExportOutput(session, options, c);
}

int Run(int argc, char** argv) {
    Options options;
    CLI::App app("A host for the BMP filter module: it loads the module and drives its filters.",
                 "bmphost");
    DefineCommandLine(app, options);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? kExitOk : kExitUsage;
    }
    if (options.maxPixels != 0) standin::Image::SetPixelLimit(options.maxPixels);
    try {
        const Module module(options.module.empty() ? DefaultModulePath() : options.module);
        Session session(module);
        AttachTerminal(session.Manager(), options.opaque == "yes"  ? OpaqueAnswer::Yes
                                          : options.opaque == "no" ? OpaqueAnswer::No
                                                                   : OpaqueAnswer::Ask);
        session.Manager().m_stopAtProportion = options.stopAt;
        InstallSignalHandlers();
        const std::string command = app.get_subcommands()[0]->get_name();
        if (command == "probe") return Probe(session, options);
        if (command == "describe") return Describe(session, options);
        if (command == "import") return Import(session, options);
        return Convert(session, options);
    } catch (const Refusal& e) {
        return ReportError(options, HostError(e.what()), e.usage ? kExitUsage : kExitFailed);
    } catch (const std::bad_alloc&) {
        return ReportError(options, HostError(kOutOfMemory), kExitFailed);
    } catch (const std::exception& e) {
        return ReportError(options, HostError(e.what()), kExitFailed);
    }
}

}  // namespace
}  // namespace bmphost

int main(int argc, char** argv) { return bmphost::Run(argc, argv); }
