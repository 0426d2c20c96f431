// bmphost: a small command-line host for the BMP filter module. It loads the
// module at run time, gets its filters only through ImportBMP and ExportBMP,
// and drives them through the host's libraries as any host would.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "Commands.h"
#include "Input.h"
#include "Module.h"
#include "Pixels.h"
#include "Session.h"
#include "Target.h"
#include "Terminal.h"

namespace bmphost {
namespace {

const char kExitStatuses[] =
    "Exit status: 0 done; 1 the module raised an error or refused (probe: a file is not "
    "supported), the host failed, a target may not be written, or output could not be written; 2 "
    "bad command line, a target that is not a regular file, has the wrong name or is the input, or "
    "colours that do not fit the format; 3 stopped through the progress answer; 130 stopped by "
    "Ctrl-C. After 1, 3 and 130 no target has changed.";
const char kNoFile[] = "an empty name names no file";
const char kPixelsWithoutJson[] = "--pixels has no effect without --json";
const char kOpaqueWithoutPrompt[] =
    "--opaque has no effect with --no-prompt: the module may not ask, so a fully transparent "
    "image stays as it is";

std::string NamesAFile(const std::string& value) { return value.empty() ? kNoFile : ""; }

// A count from 1 to 2^62, as --max-pixels and --max-input-bytes take it.
CLI::Option* CountOption(CLI::App& app, const std::string& name, std::uint64_t& value,
                         const std::string& what, const std::string& help) {
    return app.add_option(name, value, help)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
        ->check([what](const std::string& text) {
            return text.find_first_not_of("0123456789") == 0 ? text + " is no count of " + what
                                                             : "";
        })
        ->check(CLI::Range(std::uint64_t{1}, std::uint64_t{1} << 62));
}

// The options of import and convert.
void AddImportOptions(CLI::App& command, Options& o) {
    command
        .add_option("--png", o.png,
                    "write what the host received as a PNG (OUT.png, or - for stdout)")
        ->check(NamesAFile);
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
    // The module is loaded once the command line is read (Version).
    app.set_version_flag("-v,--version", [&app, &o] {
        const CLI::Option* module = app.get_option("--module");
        if (module->count() > 0) o.module = module->as<std::string>();
        return std::string();
    });
    app.require_subcommand(1);
    app.fallthrough();
    app.footer(kExitStatuses);
    // Of an option given twice, the last one counts.
    app.add_option("--module", o.module,
                   "the module to load (default: " BMPHOST_MODULE_NAME
                   " beside bmphost, else in ../lib)")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    CountOption(app, "--max-pixels", o.maxPixels, "pixels",
                "the host's limit on the pixels of one image (default " +
                    std::to_string(standin::Image::GetPixelLimit()) + ")");
    CountOption(app, "--max-input-bytes", o.maxInputBytes, "bytes",
                "the most bmphost copies from standard input, a pipe or a device (default: 4 "
                "bytes a pixel of the pixel limit, and 1 MiB)");
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
    convert->add_option("OUT.bmp", o.output)->required()->check(NamesAFile);
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

// The version, and the module bmphost loads: an error when it cannot.
int Version(const Options& options) {
    PrintOut("bmphost " BMPHOST_VERSION "\n");
    const Module module(options.module.empty() ? DefaultModulePath() : options.module);
    PrintOut("module: " + module.Path() + "\n");
    return kExitOk;
}

// Options the user gave that change nothing together, said before the work.
void WarnOfNoEffect(Host& host, const Options& options, const CLI::App& command) {
    if (options.pixels && !options.json) host.Warn(kPixelsWithoutJson);
    const CLI::Option* opaque = command.get_option_no_throw("--opaque");
    if (options.noPrompt && opaque != nullptr && opaque->count() > 0)
        host.Warn(kOpaqueWithoutPrompt);
}

OpaqueAnswer AnswerOf(const std::string& opaque) {
    return opaque == "yes"  ? OpaqueAnswer::Yes
           : opaque == "no" ? OpaqueAnswer::No
                            : OpaqueAnswer::Ask;
}

int RunCommand(const CLI::App& app, Options& options, std::optional<Module>& module,
               std::optional<Session>& session) {
    const CLI::App& command = *app.get_subcommands()[0];
    options.command = command.get_name();
    if (options.maxPixels != 0) standin::Image::SetPixelLimit(options.maxPixels);
    if (options.png == "-") ReserveStandardOutput();
    module.emplace(options.module.empty() ? DefaultModulePath() : options.module);
    session.emplace(*module, AnswerOf(options.opaque), options.stopAt);
    WarnOfNoEffect(session->GetHost(), options, command);
    InstallSignalHandlers();
    if (options.command == "probe") return Probe(*session, options);
    if (options.command == "describe") return Describe(*session, options);
    return ImportOrConvert(*session, options);
}

// What CLI11 printed (help, a usage error) reached its stream, or the run
// fails; so does a run whose messages could not be written.
int Checked(int status) {
    std::cout.flush();
    if (!std::cout || std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        PrintErr("error", std::string("cannot write the standard output: ") +
                              std::strerror(errno != 0 ? errno : EIO));
        return kExitFailed;
    }
    return StandardErrorFailed() && status == kExitOk ? kExitFailed : status;
}

int Run(int argc, char** argv) {
    Options options;
    CLI::App app("A host for the BMP filter module: it loads the module and drives its filters.",
                 "bmphost");
    DefineCommandLine(app, options);
    std::optional<Module> module;
    std::optional<Session> session;
    const auto warnings = [&session] {
        return session ? session->GetHost().Warnings() : std::vector<std::string>();
    };
    try {
        try {
            app.parse(argc, argv);
        } catch (const CLI::CallForVersion&) {
            return Version(options);
        } catch (const CLI::ParseError& e) {
            return app.exit(e) == 0 ? kExitOk : kExitUsage;
        }
        return RunCommand(app, options, module, session);
    } catch (const Refusal& e) {
        return ReportError(options, warnings(), HostError(e.what()),
                           e.usage ? kExitUsage : kExitFailed);
    } catch (const std::bad_alloc&) {
        return ReportError(options, warnings(), HostError(kOutOfMemory), kExitFailed);
    } catch (const std::exception& e) {
        return ReportError(options, warnings(), HostError(e.what()), kExitFailed);
    }
}

}  // namespace
}  // namespace bmphost

int main(int argc, char** argv) { return bmphost::Checked(bmphost::Run(argc, argv)); }
