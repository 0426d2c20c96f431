// bmphost: a small command-line host for the BMP filter module. It loads the
// module at run time, gets its filters only through ImportBMP and ExportBMP,
// and drives them through the host's libraries as any host would.
#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <cstdint>
#include <cstdio>
#include <filesystem>
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

constexpr int kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitStopped = 3,
              kExitInterrupted = 130;
const char kExitStatuses[] =
    "Exit status: 0 done; 1 the module raised an error or refused (probe: a file is not "
    "supported), the host failed, or a target may not be written; 2 bad command line, a target "
    "that is not a regular file, has the wrong name or is the input, or colours that do not fit "
    "the format; 3 stopped through the progress answer; 130 stopped by Ctrl-C. After 1, 3 and 130 "
    "no target has changed.";
const char kNoDescription[] = "its headers are not those of a BMP file";

struct Options {
    std::string module;
    std::uint64_t maxPixels = 0;
    std::vector<std::string> files;  // of probe
    std::string input, output, png, format, opaque = "ask";
    bool json = false, pixels = false, noPrompt = false;
    long stopAt = -1;
};

// The options of import and convert.
void AddImportOptions(CLI::App& command, Options& o) {
    command.add_option("--png", o.png,
                       "write what the host received as a PNG (OUT.png, or - for stdout)");
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
    app.footer(kExitStatuses);
    app.add_option("--module", o.module,
                   "the module to load (default: " BMPHOST_MODULE_NAME
                   " beside bmphost, else in ../lib)");
    app.add_option("--max-pixels", o.maxPixels,
                   "the host's limit on the pixels of one image (default " +
                       std::to_string(standin::Image::GetPixelLimit()) + ")")
        ->check([](const std::string& value) {
            return value.find_first_not_of("0123456789") == 0 ? value + " is no count of pixels"
                                                              : "";
        })
        ->check(CLI::Range(std::uint64_t{1}, std::uint64_t{1} << 62));
    CLI::App* probe = app.add_subcommand("probe", "one line per file: supported or not");
    probe->add_option("FILE", o.files)->required();
    CLI::App* describe = app.add_subcommand("describe", "the module's description of the file");
    describe->add_option("FILE", o.input, "the file, or - for stdin")->required();
    CLI::App* import = app.add_subcommand("import", "import a file through the module");
    import->add_option("FILE", o.input, "the file, or - for stdin")->required();
    AddImportOptions(*import, o);
    import->add_flag("--pixels", o.pixels, "with --json, the colour table and every row too");
    CLI::App* convert = app.add_subcommand(
        "convert", "import IN (BMP through the module, or PNG) and export it through the module");
    convert->add_option("IN", o.input, "the file, or - for stdin")->required();
    convert->add_option("OUT.bmp", o.output)->required();
    AddImportOptions(*convert, o);
    convert->add_option("--format", o.format, "re-encode on the host's side before the export")
        ->check(CLI::IsMember(FormatNames()));
    for (CLI::App* command : {probe, describe, import, convert})
        command->add_flag("--json", o.json, "print one JSON document on one line");
    // Words no command took come back to the top, unknown options among them.
    app.failure_message([](const CLI::App* top, const CLI::Error& e) {
        const auto chosen = top->get_subcommands();
        const std::string command = chosen.empty() ? "" : " " + chosen[0]->get_name();
        std::string what = e.what();
        for (const auto& word : top->remaining())
            if (what == e.what() && word != "-" && (word[0] == '-' || chosen.empty()))
                what = (word[0] == '-' ? "unknown option " : "unknown command ") + word;
        return "error: " + what + "\nrun 'bmphost" + command + " --help' for usage\n";
    });
}

// A stop through the progress answer or by Ctrl-C: no target has changed.
int Stopped(const std::string& file) {
    ClearProgressLine();
    std::fprintf(stderr, "%s: %s; nothing written\n", file.c_str(),
                 InterruptRequested() ? "interrupted" : "stopped");
    return InterruptRequested() ? kExitInterrupted : kExitStopped;
}

// The file the module opens: the user's own, or a copy of stdin or of a pipe
// (the module opens files by name, and telling a PNG reads ahead).
struct Input {
    explicit Input(const std::string& file) : name(file), path(file) {
        struct stat info;
        if (file != "-" &&
            (::stat(file.c_str(), &info) != 0 || S_ISREG(info.st_mode) || S_ISDIR(info.st_mode)))
            return;
        copy.emplace("-").Fill(file);
        path = copy->Path();
    }
    std::string name, path;
    std::optional<PendingFile> copy;
};

int Probe(Session& session, const Options& options) {
    bool all = true;
    Json report = Json::array();
    for (const auto& file : options.files) {
        const bool supported = session.Probe(file);
        const std::string reason = supported ? "" : ReadFailure(file);
        all = all && supported;
        report.push_back({{"file", file}, {"supported", supported}, {"reason", reason}});
        if (!options.json)
            std::printf("%s: %s%s\n", file.c_str(), supported ? "supported" : "not supported",
                        reason.empty() ? "" : (": " + reason).c_str());
    }
    if (options.json) PrintJson(report);
    return all ? kExitOk : kExitFailed;
}

// The description with its fields: width, height, bit depth, colour format.
Json DescriptionJson(const std::string& text) {
    int width = 0, height = 0, bits = 0;
    char format[64] = "";
    std::sscanf(text.c_str(),
                "%*[^\r]\r\nWidth: %d\r\nHeight: %d\r\nBit Depth: %d\r\nColor Format: %63[^\r]",
                &width, &height, &bits, format);
    Json json{{"description", text}, {"width", width}, {"height", height}};
    json.update({{"bit_depth", bits}, {"color_format", format}});
    return json;
}

int Describe(Session& session, const Options& options) {
    const Input in(options.input);
    const auto text = session.Describe(in.path);
    const std::string reason = text ? "" : ReadFailure(in.path);
    if (!text)
        throw std::runtime_error("the module cannot describe " + in.name + ": " +
                                 (reason.empty() ? kNoDescription : reason));
    if (options.json) PrintJson(DescriptionJson(*text));
    // The module ends its lines with CR LF; a terminal wants LF.
    for (const char c : *text)
        if (c != '\r' && !options.json) std::putchar(c);
    return kExitOk;
}

// An error as the user sees it: the JSON form first when asked for, then the
// one-line form on stderr.
int ReportError(const Options& options, const RaisedError& error, int status) {
    if (options.json) PrintJson(ErrorJson(error));
    ClearProgressLine();
    std::fprintf(stderr, "error: %s\n", DescribeError(error).c_str());
    return status;
}

// The module names the file it was given; the user named another.
void Retarget(RaisedError& error, const std::string& written, const std::string& target) {
    std::string& text = error.message;
    for (auto at = text.find(written); at != std::string::npos;
         at = text.find(written, at + target.size()))
        text.replace(at, written.size(), target);
    for (auto& arg : error.args)
        if (arg == written) arg = target;
}

// Nothing is read before the targets are known to be ones bmphost may write;
// the preview is neither the input nor the BMP target.
void CheckTargets(const Options& options) {
    if (!options.output.empty()) CheckTarget(options.output, ".bmp");
    if (options.png.empty() || options.png == "-") return;
    CheckTarget(options.png, ".png");
    for (const std::string* other : {&options.input, &options.output})
        if (!other->empty() && SameFile(options.png, *other))
            throw Refusal("refusing to write the preview " + options.png + ": it is " +
                              (other == &options.output ? "the BMP target" : "the input"),
                          true);
}

// What import and convert have so far: the image and the report they print.
struct Conversion {
    Json report = Json::object();
    standin::Image fromPng, reencoded;
    standin::Image* image = nullptr;  // none after a stop
};

// The image comes through the module (with a warning first when it reads the
// pixels otherwise than the file's masks say), or for convert from a PNG,
// from the host's side. A status when the module raised an error.
std::optional<int> ReadInput(Session& session, const Options& options, const Input& in,
                             Conversion& c) {
    if (!options.output.empty() && LooksLikePng(in.path)) {
        ReadPng(in.path, in.name, c.fromPng);
        c.image = &c.fromPng;
        c.report["input"] = "png";
        return std::nullopt;
    }
    const BmpHeader header = ReadBmpHeader(in.path, in.name);
    std::fputs(header.maskWarning.c_str(), stderr);
    ImportOutcome imported = session.Import(in.path, !options.noPrompt);
    if (imported.error) {
        Retarget(*imported.error, in.path, in.name);
        if (imported.error->message == kOutOfMemory &&
            header.width * header.height > standin::Image::GetPixelLimit())
            imported.error->message =
                "cannot import " + in.name + ": " + PixelLimitReason(header.width, header.height);
        return ReportError(options, *imported.error, kExitFailed);
    }
    c.report["input"] = "bmp";
    c.report["import"] = Json{{"result", imported.result}};
    c.report["import"].update(session.PhaseJson(imported.phase));
    c.image = imported.image;
    return std::nullopt;
}

// The preview goes to its pending file, committed only with the whole run.
void WritePreview(const Options& options, const standin::Image& image,
                  std::optional<PendingFile>& preview) {
    if (options.png.empty()) return;
    preview.emplace(options.png);
    ShowActivity("writing the preview " + options.png);
    WritePng(image, preview->Path(), options.png);
    ClearProgressLine();
}

// Re-encodes on the host's side, then exports into the pending target. A
// status when the module raised an error.
std::optional<int> Export(Session& session, const Options& options, Conversion& c,
                          const std::string& path) {
    const auto format = ParseFormatName(options.format);
    if (format && *format != c.image->GetColorFormat()) {
        ConvertImage(*c.image, *format, c.reencoded);
        c.image = &c.reencoded;
    }
    c.report["format"] = static_cast<int>(c.image->GetColorFormat());
    ExportOutcome exported = session.Export(*c.image, path);
    if (exported.error) {
        Retarget(*exported.error, path, options.output);
        return ReportError(options, *exported.error, kExitFailed);
    }
    Json calls = Json::array();
    for (const auto& call : exported.calls) calls.push_back(Json::array({call.first, call.second}));
    c.report["export"] = Json{{"calls", calls}};
    c.report["export"].update(session.PhaseJson(exported.phase));
    c.report["written"] = exported.written;
    return std::nullopt;
}

// The result line names the size and format received; for convert, the
// depth written and the format it came from when the module converted it.
void PrintResult(const Options& options, const Input& in, const Conversion& c) {
    const standin::Image& image = *c.image;
    const std::string size = std::to_string(image.GetWidth()) + "x" +
                             std::to_string(image.GetHeight()) + " ",
                      format = FormatName(image.GetColorFormat());
    if (options.output.empty())
        return (void)std::printf("%s: %s%s (result %d)\n", in.name.c_str(), size.c_str(),
                                 format.c_str(), c.report["import"]["result"].get<int>());
    const int bits = c.report["bits"];
    const std::string depth =
        std::to_string(bits) + "-bit" +
        (bits == standin::BitsPerPixel(image.GetColorFormat()) ? " " : ", converted from ");
    std::printf("%s -> %s: %s%s%s, %lu bytes\n", in.name.c_str(), options.output.c_str(),
                size.c_str(), depth.c_str(), format.c_str(),
                c.report["bytes"].get<unsigned long>());
}

// import and convert. The targets are committed together once all went well;
// after a stop, a failure or a signal none has changed.
int ImportOrConvert(Session& session, const Options& options) {
    const bool convert = !options.output.empty();
    CheckTargets(options);
    const Input in(options.input);
    Conversion c;
    if (const auto status = ReadInput(session, options, in, c)) return *status;
    std::optional<PendingFile> preview, target;
    // The preview shows what was read, before any re-encoding.
    if (c.image != nullptr) WritePreview(options, *c.image, preview);
    if (c.image != nullptr && convert && !InterruptRequested()) {
        target.emplace(options.output);
        if (const auto status = Export(session, options, c, target->Path())) return *status;
    }
    Json& json = convert ? c.report : c.report["import"];
    if (!convert && c.image != nullptr) json["image"] = ImageJson(*c.image, options.pixels);
    const bool done =
        c.image != nullptr && !InterruptRequested() && (!convert || c.report["written"] == true);
    if (convert) c.report["written"] = done;
    if (!done) {
        if (options.json) PrintJson(json);
        return Stopped(in.name);
    }
    // The written file's size and the depth its header names.
    if (convert)
        c.report.update({{"bytes", std::filesystem::file_size(target->Path())},
                         {"bits", ReadBmpHeader(target->Path(), "").bits}});
    if (preview) preview->Commit();
    if (target) target->Commit();
    options.json ? PrintJson(json) : PrintResult(options, in, c);
    return kExitOk;
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
    if (options.png == "-") ReserveStandardOutput();
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
        return ImportOrConvert(session, options);
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
