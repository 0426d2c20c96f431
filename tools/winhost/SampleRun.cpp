#include "SampleRun.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <memory>
#include <sstream>

#include "ModuleLoader.h"
#include "orix/TrInitGraphicsExp.h"
#include "standin/Image.h"
#include "standin/IoException.h"
#include "standin/Recorder.h"
#include "tamb/CPath.h"

namespace winhost {

namespace {

constexpr int kAnswerYes = 6;

// Texts may hold the sample's or the output's full path, which differ between
// runs; they are reported with the name part only.
std::string Portable(std::string text, const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        if (path.empty()) continue;
        const std::string name = tamb::CPath::GetNamePtr(path.c_str());
        for (std::size_t at = text.find(path); at != std::string::npos;
             at = text.find(path, at + name.size()))
            text.replace(at, path.size(), name);
    }
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::string DescribeError(const standin::IoException& e) {
    std::ostringstream out;
    out << "error " << e.source << " line " << e.line;
    if (e.hasCode)
        out << " code " << static_cast<int>(e.code) << " args " << e.args.size();
    else
        out << " text";
    return out.str();
}

// Runs one filter call, reporting its result or what it raised.
template <typename Call>
void Report(std::ostream& report, const char* what, Call call) {
    try {
        const auto result = call();
        report << what << ": " << result << "\n";
    } catch (const standin::IoException& e) {
        report << what << ": " << DescribeError(e) << "\n";
    } catch (const std::bad_alloc&) {
        report << what << ": out of memory\n";
    } catch (const std::exception& e) {
        report << what << ": exception " << e.what() << "\n";
    }
}

void ReportRecords(std::ostream& report, standin::RecordingManager& manager,
                   const std::vector<std::string>& paths) {
    for (const auto& event : manager.m_progress) {
        if (event.kind == standin::ProgressEvent::Message)
            report << "  message: " << Portable(event.text, paths) << "\n";
    }
    report << "  proportions:";
    for (double value : manager.Proportions()) {
        char text[32];
        std::snprintf(text, sizeof text, " %.17g", value);
        report << text;
    }
    report << "\n";
    for (const auto& w : manager.m_warnings)
        report << "  warning: style " << w.style << " answer " << w.answer << " "
               << Portable(w.text, paths) << "\n";
    report << "  progress left open: " << manager.m_activeProgress << "\n";
    manager.ClearRecords();
}

bool WriteImage(const std::string& path, const standin::Image& image, std::ostream& report) {
    report << "image: " << image.GetWidth() << "x" << image.GetHeight() << " format "
           << static_cast<int>(image.GetColorFormat()) << " resolution " << image.GetXPelsPerMeter()
           << "," << image.GetYPelsPerMeter() << " colours " << image.GetNumColorTableEntriesUsed()
           << " row bytes " << image.GetRowBytes() << "\n";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.ColorTable()), 256 * sizeof(tagRGBQUAD));
    const std::string zeros(static_cast<std::size_t>(image.GetRowBytes()), '\0');
    for (int y = 0; y < image.GetHeight(); ++y) {
        const unsigned char* row = image.Row(y);
        out.write(row != nullptr ? reinterpret_cast<const char*>(row) : zeros.data(),
                  image.GetRowBytes());
    }
    return static_cast<bool>(out);
}

// Exports `image` to `target` as a host does: begin, the graphics opener,
// the image, end.
void ExportImage(ExportFactory factory, standin::RecordingManager& manager, standin::Image& image,
                 const std::string& target, std::ostream& report,
                 const std::vector<std::string>& paths) {
    std::remove(target.c_str());
    std::unique_ptr<orix::IoExportFilter> filter(factory(manager));
    if (!filter) {
        report << "export: no filter\n";
        return;
    }
    orix::TrInitGraphicsExp opener;
    Report(report, "export begin", [&] { return filter->BeginExport(target.c_str(), false); });
    Report(report, "export opener", [&] { return filter->ExportObject(opener); });
    report << "  opener: origin " << opener.m_originX << "," << opener.m_originY << " raster "
           << opener.m_rasterOutput << "\n";
    Report(report, "export image", [&] { return filter->ExportObject(image); });
    Report(report, "export end", [&] { return filter->EndExport(); });
    filter.reset();
    ReportRecords(report, manager, paths);
    std::ifstream written(target, std::ios::binary);
    report << "export file: " << (written ? "written" : "none") << "\n";
}

// A small image in `format` whose every row and palette entry differ.
standin::Image MakeImage(tamb::ColorFormat format) {
    constexpr int kWidth = 13, kHeight = 7;
    tagRGBQUAD palette[256];
    for (int i = 0; i < 256; ++i)
        palette[i] = {static_cast<unsigned char>(i), static_cast<unsigned char>(255 - i),
                      static_cast<unsigned char>(i * 5), 0};
    standin::Image image;
    image.SetScanlineStart(kWidth, kHeight, format, 3780, 2835, palette, orix::TrImage::RowsByIndex,
                           0);
    std::vector<unsigned char> row(static_cast<std::size_t>(image.GetRowBytes()));
    for (int y = 0; y < kHeight; ++y) {
        for (std::size_t i = 0; i < row.size(); ++i)
            row[i] = static_cast<unsigned char>(i * 37 + y * 101 + 11);
        image.SetScanline(row.data(), y);
    }
    image.SetScanlineEnd(nullptr, 0);
    return image;
}

std::string Join(const std::string& dir, const std::string& name) {
    return dir.empty() ? name : dir + "/" + name;
}

}  // namespace

bool RunSamples(const std::string& modulePath, const std::string& outDir,
                const std::vector<std::string>& samples, std::ostream& log) {
    ModuleLoader module(modulePath);
    if (!module.Loaded()) {
        log << "cannot load " << modulePath << ": " << module.Error() << "\n";
        return false;
    }
    const auto importFactory = reinterpret_cast<ImportFactory>(module.ByName("ImportBMP"));
    const auto exportFactory = reinterpret_cast<ExportFactory>(module.ByName("ExportBMP"));
    if (importFactory == nullptr || exportFactory == nullptr) {
        log << modulePath << " lacks a factory\n";
        return false;
    }
    bool ok = true;
    standin::RecordingManager manager;
    manager.m_warningAnswer = kAnswerYes;
    for (const std::string& sample : samples) {
        const std::string name = tamb::CPath::GetNamePtr(sample.c_str());
        const std::string exported = Join(outDir, name + ".exported.bmp");
        const std::vector<std::string> paths = {sample, exported};
        std::ofstream report(Join(outDir, name + ".txt"), std::ios::binary | std::ios::trunc);
        report << "sample: " << name << "\n";
        std::unique_ptr<orix::IoImportFilter> filter(importFactory(manager));
        if (!filter) {
            report << "import: no filter\n";
            continue;
        }
        Report(report, "supported", [&] { return filter->IsFileSupported(sample.c_str()); });
        Report(report, "description", [&] {
            std::string text;
            const bool described = filter->GetFileDescription(sample.c_str(), text);
            return std::to_string(described) + " " + Portable(text, paths);
        });
        Report(report, "import", [&] { return filter->ImportFile(sample.c_str(), true); });
        filter.reset();
        std::unique_ptr<standin::Image> image;
        if (!manager.m_imported.empty()) image = std::move(manager.m_imported.back());
        report << "  images handed over: " << manager.m_importObjectCalls << "\n";
        ReportRecords(report, manager, paths);
        if (image) {
            ok = WriteImage(Join(outDir, name + ".pixels"), *image, report) && ok;
            ExportImage(exportFactory, manager, *image, exported, report, paths);
        }
        ok = static_cast<bool>(report) && ok;
        log << name << ": done\n";
    }
    // Exports of images in every colour format, and in one no filter knows.
    for (int format = tamb::ColorNone; format <= tamb::ColorBgra32 + 1; ++format) {
        const std::string name = "format" + std::to_string(format);
        const std::string exported = Join(outDir, name + ".exported.bmp");
        std::ofstream report(Join(outDir, name + ".txt"), std::ios::binary | std::ios::trunc);
        report << "made image: format " << format << "\n";
        standin::Image image = MakeImage(static_cast<tamb::ColorFormat>(format));
        ExportImage(exportFactory, manager, image, exported, report, {exported});
        ok = static_cast<bool>(report) && ok;
        log << name << ": done\n";
    }
    return ok;
}

}  // namespace winhost
