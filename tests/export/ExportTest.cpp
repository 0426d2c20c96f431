// The export filter as a host drives it: images of the stand-in host
// exported through ExportBMP, and the file, the errors, the progress and the
// warnings compared with what the image means.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "orix/TrInitGraphicsExp.h"
#include "support/Plugin.h"

#if !defined(_WIN32)
#include <signal.h>
#include <sys/resource.h>
#endif

namespace {

using namespace testsupport;

// n entries of a made-up table, then zeros up to `size`.
std::vector<tagRGBQUAD> Table(int n, int size = 0) {
    std::vector<tagRGBQUAD> table(static_cast<std::size_t>(std::max(n, size)));
    for (int i = 0; i < n; ++i)
        table[i] = {static_cast<std::uint8_t>(i + 1), static_cast<std::uint8_t>(i * 3),
                    static_cast<std::uint8_t>(200 - i), static_cast<std::uint8_t>(i % 7)};
    return table;
}

// One export of a document, as the host drives it.
struct Export {
    standin::RecordingManager manager;
    TempDir dir;
    std::string path;
    Raised raised;
    std::vector<int> statuses;  // of each ExportObject
    std::unique_ptr<orix::IoExportFilter> filter;

    explicit Export(const std::function<void(standin::RecordingManager&)>& script = nullptr) {
        path = dir.File("out.bmp");
        if (script) script(manager);
        filter = NewExportFilter(manager);
    }
    // BeginExport, each object, EndExport; stops at the first error.
    Export& Run(const std::vector<orix::TrBase*>& objects, bool end = true) {
        raised = Catch([&] {
            filter->BeginExport(path.c_str(), false);
            for (orix::TrBase* object : objects) statuses.push_back(filter->ExportObject(*object));
            if (end) filter->EndExport();
        });
        return *this;
    }
    Bytes File() const { return ReadFileBytes(path); }
    bool Exists() const { return std::filesystem::exists(path); }
};

// The file the writer must produce for an image.
Bytes Expected(int width, int height, std::uint16_t bits, const std::vector<Bytes>& rowsTopFirst,
               const std::vector<tagRGBQUAD>& table) {
    BmpFields f;
    f.width = width;
    f.height = height;
    f.bitCount = bits;
    f.xPelsPerMeter = 0x01020304;  // as MakeImage sets them
    f.yPelsPerMeter = 0x05060708;
    f.palette = table;
    if (bits <= 8) f.clrUsed = f.clrImportant = 1u << bits;
    const std::size_t stride = bmpbytes::StrideFor(width, bits);
    std::vector<Bytes> stored(rowsTopFirst.rbegin(), rowsTopFirst.rend());
    f.pixels = bmpbytes::PadRows(stored, stride);
    f.sizeImage = static_cast<std::uint32_t>(f.pixels.size());
    return BuildBmp(f);
}

struct FileCase {
    const char* name;
    tamb::ColorFormat format;
    int width;
    std::vector<Bytes> rows;  // top first, as the host image holds them
    std::uint16_t bits;       // stored
    std::vector<tagRGBQUAD> table;
    std::vector<Bytes> stored = {};  // top first, unpadded; empty: the rows as they are
    int colorsUsed = 0;              // 0: the host's own count
};

std::vector<FileCase> FileCases() {
    const std::vector<Bytes> bgr = {{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}, {13, 14, 15, 6}};
    const std::vector<Bytes> eight = {{1, 2, 3, 4, 5}, {6, 7, 8, 9, 0}};
    return {
        {"4-bit, 3 colours", tamb::ColorIndexed4, 3, {{0x12, 0}}, 4, Table(3, 16), {}, 3},
        {"8-bit, 10 colours", tamb::ColorIndexed8, 5, eight, 8, Table(10, 256), {}, 10},
        {"24 bits", tamb::ColorBgr24, 2, bgr, 24, {}},
        // Layouts without a BMP form go through the host's converter to 24 bits.
        {"5-6-5", tamb::ColorRgb565, 2, {{0, 0xF8, 0x1F, 0}}, 24, {}, {{0, 0, 255, 255, 0, 0}}},
        {"red-green-blue-alpha", tamb::ColorRgba32, 1, {{10, 20, 30, 40}}, 24, {}, {{30, 20, 10}}},
        {"format never set", tamb::ColorNone, 1, {{10, 20, 30, 40}}, 24, {}, {{10, 20, 30}}},
    };
}

TEST(Export, FilesByteForByte) {
    for (const FileCase& c : FileCases()) {
        SCOPED_TRACE(c.name);
        const bool indexed = c.format >= tamb::ColorIndexed1 && c.format <= tamb::ColorIndexed8;
        const int height = static_cast<int>(c.rows.size());
        auto image = MakeImage(c.width, height, c.format, c.rows,
                               indexed ? Table(256) : std::vector<tagRGBQUAD>{}, c.colorsUsed);
        Export run;
        run.Run({image.get()});
        ASSERT_FALSE(run.raised.raised) << run.raised.message;
        EXPECT_EQ(run.statuses, std::vector<int>{0});
        const std::vector<Bytes>& stored = c.stored.empty() ? c.rows : c.stored;
        EXPECT_EQ(run.File(), Expected(c.width, height, c.bits, stored, c.table));
        EXPECT_EQ(run.manager.m_imageCalls.getScanlineStart, 1);
        EXPECT_EQ(run.manager.m_imageCalls.getScanlineEnd, 1);
    }
}

TEST(Export, OptionsProgressAndObjects) {
    Export run;
    std::vector<std::string> names;
    for (const auto& option : run.manager.m_options) {
        names.push_back(option.name);
        EXPECT_TRUE(option.first && option.second);
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"ExportImageFormatBGRA32", "ExportImageFormatBGR24",
                                        "ExportImageFormatIndexed8", "ExportImageFormatIndexed4",
                                        "ExportImageFormatIndexed1"}));
    auto image = MakeImage(1, 100, tamb::ColorBgr24, {});
    orix::TrInitGraphicsExp init;
    init.m_originX = init.m_originY = 5;
    init.m_rasterOutput = false;
    orix::TrImage* images[] = {image.get(), image.get(), image.get()};
    run.Run({&init, images[0], images[1], images[2]});
    ASSERT_FALSE(run.raised.raised) << run.raised.message;
    EXPECT_EQ(run.statuses, (std::vector<int>{0, 0, 3, 3}));
    EXPECT_EQ(init.m_originX, 0);
    EXPECT_EQ(init.m_originY, 0);
    EXPECT_TRUE(init.m_rasterOutput);
    EXPECT_EQ(run.manager.Messages(),
              std::vector<std::string>{"Exporting BMP data to file out.bmp"});
    // The written file is closed with its last row, before the display ends.
    std::vector<standin::ProgressEvent::Kind> order;
    for (const auto& e : run.manager.m_progress)
        if (e.kind == standin::ProgressEvent::End || e.kind == standin::ProgressEvent::FileClosed)
            order.push_back(e.kind);
    EXPECT_EQ(order, (std::vector<standin::ProgressEvent::Kind>{standin::ProgressEvent::FileClosed,
                                                                standin::ProgressEvent::End}));
    // Further images draw one warning in the filter's whole life, the text
    // itself its format: it holds no per-cent sign.
    ASSERT_EQ(run.manager.m_warnings.size(), 1u);
    EXPECT_EQ(run.manager.m_warnings[0].style, 0);
    EXPECT_EQ(run.manager.m_warnings[0].text,
              "An attempt was made to export a document containing more than one image.  The BMP "
              "file format only supports one image (one bitmap) per file.  Ignoring additional "
              "images.");
    EXPECT_EQ(run.manager.m_warnings[0].format, run.manager.m_warnings[0].text);
    run.Run({image.get(), image.get()});
    EXPECT_EQ(run.statuses, (std::vector<int>{0, 0, 3, 3, 0, 3}));
    EXPECT_EQ(run.manager.m_warnings.size(), 1u);
    EXPECT_TRUE(run.Exists());
}

TEST(Export, NoImageNoFile) {
    // Without an image and after a stop at any report, nothing is left at the
    // target.
    auto image = MakeImage(2, 40, tamb::ColorBgr24, {});
    orix::TrInitGraphicsExp init;
    {
        Export run;
        run.Run({&init});
        EXPECT_FALSE(run.Exists());
    }
    // Reports after rows 0, 32 and 39, then the last one, at 1.0, once the
    // rows are all read.
    for (long stopAt = 0; stopAt < 4; ++stopAt) {
        SCOPED_TRACE(stopAt);
        Export run([stopAt](standin::RecordingManager& m) { m.m_stopAtProportion = stopAt; });
        run.Run({image.get()}, false);
        EXPECT_EQ(run.statuses, std::vector<int>{2});
        EXPECT_EQ(run.manager.m_activeProgress, 0);  // a stop ends the display at once
        EXPECT_EQ(run.manager.m_imageCalls.getScanlineEnd, stopAt == 3 ? 1 : 0);
        run.filter->EndExport();
        EXPECT_FALSE(run.Exists());
    }
    {
        // A new export ends the display of one left open before it names its file.
        Export run;
        run.filter->BeginExport(run.path.c_str(), false);
        run.manager.m_progress.clear();
        run.filter->BeginExport(run.path.c_str(), false);
        std::vector<standin::ProgressEvent::Kind> kinds;
        for (const auto& e : run.manager.m_progress) kinds.push_back(e.kind);
        EXPECT_EQ(kinds, (std::vector<standin::ProgressEvent::Kind>{
                             standin::ProgressEvent::Begin, standin::ProgressEvent::End,
                             standin::ProgressEvent::Message}));
    }
}

// One refused image, its parts named; what is not named is a 1 x 1 24-bit
// image exported to a folder that exists.
struct Refusal {
    const char* name;
    int width = 1, height = 1;
    tamb::ColorFormat format = tamb::ColorBgr24;
    std::string folder;           // of the target
    bool afterAStop = false;      // the export stopped an image first, then moves on
    bool readOnlyTarget = false;  // a read-only file is there before
    int line = 0;
    int code = 0;
    std::vector<std::string> args;
    std::string text;  // a finished text instead of a code

    explicit Refusal(const char* caseName) : name(caseName) {}
    Refusal& Size(int w, int h) { return width = w, height = h, *this; }
    Refusal& Format(tamb::ColorFormat f) { return format = f, *this; }
    Refusal& InFolder(const char* f) { return folder = f, *this; }
    Refusal& AfterAStop() { return afterAStop = true, *this; }
    Refusal& OntoAReadOnlyFile() { return readOnlyTarget = true, *this; }
    Refusal& Raises(int l, orix::ErrCode c, std::vector<std::string> a = {}) {
        return line = l, code = c, args = std::move(a), *this;
    }
    Refusal& RaisesText(int l, const char* t) { return line = l, text = t, *this; }
};

const std::string kTargetPath = "(the target's path)";

TEST(Export, Refusals) {
    const std::string depth =
        "exporting of color formats other than 1, 4, 8, 24, or 32 bits per pixel.";
    const std::string system = tamb::FormatSystemErrorMsg(MissingDirectoryCode());
    const std::vector<std::string> headerRefused = {"BMP", depth, kTargetPath};
    const Refusal cases[] = {
        Refusal("width 0 onto a read-only file")
            .Size(0, 3)
            .OntoAReadOnlyFile()
            .Raises(213, orix::ErrFormatNotExportable, headerRefused),
        Refusal("height 0").Size(3, 0).Raises(213, orix::ErrFormatNotExportable, headerRefused),
        Refusal("no such folder")
            .InFolder("none/")
            .Raises(247, orix::ErrCannotOpen, {kTargetPath, system}),
        Refusal("a format the host cannot convert")
            .Size(2, 2)
            .Format(tamb::ColorFormat(11))
            .RaisesText(273,
                        "Image color format incompatible with BMP file format.  Can't export."),
        // The writer still holds the stopped image's file: it goes when the
        // writer closes, the new target when the export ends.
        Refusal("after a stop, then on to another target")
            .AfterAStop()
            .Size(0, 3)
            .Raises(213, orix::ErrFormatNotExportable, headerRefused),
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.name);
        Export run(
            [&c](standin::RecordingManager& m) { m.m_stopAtProportion = c.afterAStop ? 0 : -1; });
        run.path = run.dir.File(c.folder + "out.bmp");
        const Bytes before = {'k', 'e', 'e', 'p'};
        if (c.readOnlyTarget) run.dir.Write("out.bmp", before);
        if (c.readOnlyTarget)
            std::filesystem::permissions(run.path, std::filesystem::perms::owner_read);
        auto stopped = MakeImage(2, 2, tamb::ColorBgr24, {});
        auto image = MakeImage(c.width, c.height, c.format, {});
        run.Run(c.afterAStop ? std::vector<orix::TrBase*>{stopped.get(), image.get()}
                             : std::vector<orix::TrBase*>{image.get()},
                false);
        EXPECT_EQ(run.statuses, std::vector<int>(c.afterAStop ? 1 : 0, 2));
        EXPECT_EQ(run.raised.source, ".\\BmpExportFilter");
        EXPECT_EQ(run.raised.line, c.line);
        EXPECT_EQ(run.raised.code, c.code);
        std::vector<std::string> args = c.args;
        for (auto& arg : args) arg = arg == kTargetPath ? run.path : arg;
        EXPECT_EQ(run.raised.args, args);
        if (!c.text.empty()) {  // the text itself the format: it holds no per-cent sign
            EXPECT_EQ(run.raised.message, c.text);
            EXPECT_EQ(run.raised.format, c.text);
        }
        const std::string first = run.path;
        if (c.afterAStop) {
            run.path = run.dir.File("other.bmp");
            run.filter->BeginExport(run.path.c_str(), false);
        }
        run.filter->EndExport();
        // The filter deletes its targets; the runtime keeps a read-only file.
        EXPECT_EQ(run.Exists(), c.readOnlyTarget);
        EXPECT_TRUE(first == run.path || !std::filesystem::exists(first));
        if (c.readOnlyTarget) {
            EXPECT_EQ(run.File(), before);
            std::filesystem::permissions(run.path, std::filesystem::perms::owner_all);
        }
    }
    Export run;
    const Raised r = Catch([&] { run.filter->EndExport(); });
    EXPECT_EQ(r.line, 357);
    EXPECT_EQ(r.code, orix::ErrExportNotBegun);
}

TEST(Export, AWriteFailingAtAnyByteLeavesNoFile) {
#if defined(_WIN32)
    GTEST_SKIP() << "file size limits are a POSIX facility";
#else
    // Files this process writes cannot grow past the limit: a write beyond it
    // fails with EFBIG, as a full disk fails with ENOSPC.
    signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const std::pair<tamb::ColorFormat, std::size_t> cases[] = {{tamb::ColorIndexed4, 14 + 40 + 64},
                                                               {tamb::ColorBgr24, 14 + 40},
                                                               {tamb::ColorRgb565, 14 + 40}};
    for (const auto& [format, headerBytes] : cases) {
        auto image = MakeImage(5, 3, format, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, Table(16));
        const std::size_t size = Export().Run({image.get()}).File().size();
        for (std::size_t limit = 0; limit < size; ++limit) {
            SCOPED_TRACE(testing::Message() << format << " limited to " << limit);
            Export run;
            rlimit cap = saved;
            cap.rlim_cur = limit;
            setrlimit(RLIMIT_FSIZE, &cap);
            run.Run({image.get()}, false);
            setrlimit(RLIMIT_FSIZE, &saved);
            const bool inHeaders = limit < headerBytes;
            EXPECT_EQ(run.raised.line, inHeaders ? 249 : 278);
            EXPECT_EQ(run.raised.code, 9);
            const std::string reason =
                inHeaders ? tamb::FormatSystemErrorMsg(EFBIG) : "File write error";
            EXPECT_EQ(run.raised.args, (std::vector<std::string>{run.path, reason}));
            EXPECT_FALSE(run.Exists());
        }
    }
#endif
}

}  // namespace
