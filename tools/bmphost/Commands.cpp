#include "Commands.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>

#include "Header.h"
#include "Input.h"
#include "Pixels.h"
#include "Png.h"
#include "Report.h"
#include "Target.h"
#include "Terminal.h"

namespace bmphost {

namespace {

const char kNoDescription[] = "its headers are not those of a BMP file";

// The import's refusals whose text names no cause: a header cut short (the
// generic failure) and the end of the file inside the headers or tables.
constexpr int kLineHeaderCutShort = 225, kLineEndOfFile = 215;

// A stop through the progress answer or by Ctrl-C: no target has changed.
int Stopped(const std::string& file) {
    PrintErr(file,
             InterruptRequested() ? "interrupted; nothing written" : "stopped; nothing written");
    return InterruptRequested() ? kExitInterrupted : kExitStopped;
}

std::uint64_t InputBound(const Options& options) {
    return options.maxInputBytes != 0 ? options.maxInputBytes : DefaultInputBound();
}

}  // namespace

int ReportError(const Options& options, const std::vector<std::string>& warnings,
                const RaisedError& error, int status) {
    try {
        if (options.json) PrintJson(ErrorJson(error, warnings));
    } catch (const std::runtime_error&) {
        // Standard output is what failed; the line on stderr says so.
    }
    PrintErr("error", DescribeError(error));
    if (!error.cause.empty()) PrintErr("cause", error.cause);
    return status;
}

int Probe(Session& session, const Options& options) {
    bool all = true;
    Json report = Json::array();
    for (const auto& file : options.files) {
        const Input in(file, InputUse::Probe, InputBound(options));
        const bool supported = session.Probe(in.Path());
        const std::string reason = supported ? "" : ReadFailure(in.Path());
        all = all && supported;
        report.push_back({{"schema", kSchemaVersion},
                          {"file", file},
                          {"supported", supported},
                          {"reason", reason}});
        if (!options.json)
            PrintOut(file + ": " + (supported ? "supported" : "not supported") +
                     (reason.empty() ? "" : ": " + reason) + "\n");
    }
    if (options.json) PrintJson(report);
    return all ? kExitOk : kExitFailed;
}

namespace {

// The description with its fields: width, height, bit depth, colour format.
Json DescriptionJson(const std::string& text, const std::vector<std::string>& warnings) {
    int width = 0, height = 0, bits = 0;
    char format[64] = "";
    std::sscanf(text.c_str(),
                "%*[^\r]\r\nWidth: %d\r\nHeight: %d\r\nBit Depth: %d\r\nColor Format: %63[^\r]",
                &width, &height, &bits, format);
    Json json{{"schema", kSchemaVersion}, {"description", text}, {"width", width}};
    json.update({{"height", height}, {"bit_depth", bits}, {"color_format", format}});
    json["warnings"] = warnings;
    return json;
}

}  // namespace

int Describe(Session& session, const Options& options) {
    const Input in(options.input, InputUse::Describe, InputBound(options));
    const auto text = session.Describe(in.Path());
    const BmpHeaders headers = ReadBmpHeaders(in.Path());
    if (!text) {
        std::string reason = ReadFailure(in.Path());
        if (reason.empty()) reason = CutShortText(headers, "it");
        throw std::runtime_error("the module cannot describe " + in.Name() + ": " +
                                 (reason.empty() ? kNoDescription : reason));
    }
    const std::string masks = MaskWarning(headers, in.Name());
    if (!masks.empty()) session.GetHost().Warn(masks);
    if (options.json) {
        PrintJson(DescriptionJson(*text, session.GetHost().Warnings()));
        return kExitOk;
    }
    // The module ends its lines with CR LF; a terminal wants LF.
    std::string lines;
    for (const char c : *text)
        if (c != '\r') lines += c;
    PrintOut(lines);
    return kExitOk;
}

namespace {

// The module names the file it was given; the user named another.
void Retarget(RaisedError& error, const std::string& written, const std::string& target) {
    if (written.empty() || written == target) return;
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

// What import and convert have so far: the images and the report.
struct Conversion {
    ConversionReport report;
    std::unique_ptr<standin::Image> imported;
    standin::Image fromPng, reencoded;
    standin::Image* image = nullptr;  // none after a stop
    bool exported = false;
};

// What bmphost can tell of an import error from the file's headers: the
// size against the host's limit, and where the file ends inside them.
void Explain(RaisedError& error, const BmpHeaders& headers, const Input& in) {
    Retarget(error, in.Path(), in.Name());
    if (error.message == kOutOfMemory &&
        headers.Width() * headers.Height() > standin::Image::GetPixelLimit())
        error.message = "cannot import " + in.Name() + ": " +
                        PixelLimitReason(headers.Width(), headers.Height());
    if (error.fromFilter && (error.line == kLineHeaderCutShort || error.line == kLineEndOfFile))
        error.cause = CutShortText(headers, in.Name());
}

// The image comes through the module (with a warning first when it reads the
// pixels otherwise than the file's masks say), or for convert from a PNG,
// from the host's side. A status when the module raised an error.
std::optional<int> ReadInput(Session& session, const Options& options, const Input& in,
                             Conversion& c) {
    if (options.command == "convert" && LooksLikePng(in.Path())) {
        ReadPng(in.Path(), in.Name(), c.fromPng);
        c.image = &c.fromPng;
        c.report.input = "png";
        return std::nullopt;
    }
    const BmpHeaders headers = ReadBmpHeaders(in.Path());
    const std::string masks = MaskWarning(headers, in.Name());
    if (!masks.empty()) session.GetHost().Warn(masks);
    ImportOutcome imported = session.Import(in.Path(), !options.noPrompt);
    c.report.input = "bmp";
    c.report.result = imported.result;
    c.report.import = std::move(imported.phase);
    if (imported.error) {
        Explain(*imported.error, headers, in);
        return ReportError(options, session.GetHost().Warnings(), *imported.error, kExitFailed);
    }
    c.imported = std::move(imported.image);
    c.image = c.imported.get();
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
    c.report.format = static_cast<int>(c.image->GetColorFormat());
    ExportOutcome exported = session.Export(*c.image, path);
    c.report.exported = std::move(exported.phase);
    c.report.calls = exported.calls;
    if (exported.error) {
        Retarget(*exported.error, path, options.output);
        return ReportError(options, session.GetHost().Warnings(), *exported.error, kExitFailed);
    }
    c.exported = exported.written;
    return std::nullopt;
}

// The result line names the size and format received; for convert, the
// depth written and the format it came from when the module converted it.
void PrintResult(const Options& options, const Input& in, const Conversion& c) {
    const standin::Image& image = *c.image;
    const std::string size = std::to_string(image.GetWidth()) + "x" +
                             std::to_string(image.GetHeight()) + " ",
                      format = FormatName(image.GetColorFormat());
    if (options.command == "import")
        return PrintOut(in.Name() + ": " + size + format + " (result " +
                        std::to_string(c.report.result.value_or(-1)) + ")\n");
    const int bits = c.report.bits.value_or(0);
    const std::string depth =
        std::to_string(bits) + "-bit" +
        (bits == standin::BitsPerPixel(image.GetColorFormat()) ? " " : ", converted from ");
    PrintOut(in.Name() + " -> " + options.output + ": " + size + depth + format + ", " +
             std::to_string(c.report.bytes.value_or(0)) + " bytes\n");
}

}  // namespace

int ImportOrConvert(Session& session, const Options& options) {
    const bool convert = options.command == "convert";
    CheckTargets(options);
    const Input in(options.input, InputUse::Import, InputBound(options));
    Conversion c;
    c.report.command = options.command;
    c.report.pixels = options.pixels;
    if (InterruptRequested()) return Stopped(in.Name());
    if (const auto status = ReadInput(session, options, in, c)) return *status;
    std::optional<PendingFile> preview, target;
    // The preview shows what was read, before any re-encoding.
    if (c.image != nullptr && !InterruptRequested()) WritePreview(options, *c.image, preview);
    if (c.image != nullptr && convert && !InterruptRequested()) {
        target.emplace(options.output);
        if (const auto status = Export(session, options, c, target->Path())) return *status;
    }
    c.report.image = c.image;
    const bool done = c.image != nullptr && !InterruptRequested() && (!convert || c.exported);
    c.report.written = convert && done;
    const auto& warnings = session.GetHost().Warnings();
    if (!done) {
        if (options.json) PrintJson(ConversionJson(c.report, warnings));
        return Stopped(in.Name());
    }
    // The written file's size and the depth its header names.
    if (convert) {
        c.report.bytes = std::filesystem::file_size(target->Path());
        c.report.bits = ReadBmpHeaders(target->Path()).info.biBitCount;
    }
    // A preview for standard output goes first, then the report: when
    // standard output fails, no target has changed.
    if (preview && options.png == "-") {
        preview->Commit();
        preview.reset();
    }
    options.json ? PrintJson(ConversionJson(c.report, warnings)) : PrintResult(options, in, c);
    const CommitLock lock({options.png, options.output});
    if (preview) preview->Commit();
    if (target) target->Commit();
    return kExitOk;
}

}  // namespace bmphost
