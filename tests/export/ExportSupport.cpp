#include "ExportSupport.h"

#if !defined(_WIN32)
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstring>
#include <stdexcept>

namespace exporttest {

using testsupport::BmpFields;

std::unique_ptr<orix::TrImage> MakeImage(int width, tamb::ColorFormat format,
                                         const std::vector<Bytes>& topDownRows,
                                         const std::vector<tagRGBQUAD>& palette, int xPelsPerMeter,
                                         int yPelsPerMeter) {
    auto image = std::make_unique<orix::TrImage>();
    tagRGBQUAD table[256] = {};
    for (std::size_t i = 0; i < palette.size() && i < 256; ++i) table[i] = palette[i];
    const int height = static_cast<int>(topDownRows.size());
    image->SetScanlineStart(width, height, format, xPelsPerMeter, yPelsPerMeter, table,
                            orix::TrImage::RowsByIndex, 0);
    std::vector<unsigned char> row(static_cast<std::size_t>(image->GetRowBytes()) + 1, 0);
    for (int y = 0; y < height; ++y) {
        const Bytes& given = topDownRows[static_cast<std::size_t>(y)];
        if (given.size() > static_cast<std::size_t>(image->GetRowBytes()))
            throw std::invalid_argument("row longer than the image's rows");
        std::fill(row.begin(), row.end(), 0);
        std::copy(given.begin(), given.end(), row.begin());
        image->SetScanline(row.data(), y);
    }
    return image;
}

Bytes ExpectedExport(int width, int height, int bitCount, const std::vector<tagRGBQUAD>& table,
                     const std::vector<Bytes>& bottomUpRows, int xPelsPerMeter, int yPelsPerMeter) {
    BmpFields fields;
    fields.width = width;
    fields.height = height;
    fields.bitCount = static_cast<std::uint16_t>(bitCount);
    const std::size_t stride = testsupport::StrideFor(width, bitCount);
    fields.sizeImage = static_cast<std::uint32_t>(stride * static_cast<std::size_t>(height));
    fields.xPelsPerMeter = xPelsPerMeter;
    fields.yPelsPerMeter = yPelsPerMeter;
    fields.clrUsed = static_cast<std::uint32_t>(table.size());
    fields.clrImportant = static_cast<std::uint32_t>(table.size());
    fields.palette = table;
    fields.pixels = testsupport::PadRows(bottomUpRows, stride);
    return testsupport::BuildBmp(fields);
}

std::vector<tagRGBQUAD> GreyRamp(int n) {
    std::vector<tagRGBQUAD> table;
    for (int i = 0; i < n; ++i) {
        const auto v = static_cast<std::uint8_t>(i * 255 / (n - 1));
        table.push_back({v, v, v, 0});
    }
    return table;
}

std::optional<orix::IoException> CaptureError(const std::function<void()>& action) {
    try {
        action();
    } catch (const orix::IoException& error) {
        return error;
    }
    return std::nullopt;
}

std::string Describe(const orix::IoException& error) {
    std::string out = error.source + " " + std::to_string(error.line);
    if (!error.hasCode) return out + " text: " + error.message;
    out += " code " + std::to_string(static_cast<int>(error.code)) + " [";
    for (std::size_t i = 0; i < error.args.size(); ++i) out += (i ? "|" : "") + error.args[i];
    return out + "]";
}

#if !defined(_WIN32)
// Linux only: the tests that use it are not built for Windows.
std::string RunWithFileSizeLimit(long limit, const std::function<std::string()>& action) {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
    const pid_t child = ::fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        ::close(fds[0]);
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit cap{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
        std::string result;
        if (::setrlimit(RLIMIT_FSIZE, &cap) != 0) {
            result = "setrlimit failed";
        } else {
            try {
                result = action();
            } catch (const std::exception& error) {
                result = std::string("unexpected exception: ") + error.what();
            }
        }
        std::size_t done = 0;
        while (done < result.size()) {
            const ssize_t put = ::write(fds[1], result.data() + done, result.size() - done);
            if (put <= 0) break;
            done += static_cast<std::size_t>(put);
        }
        ::close(fds[1]);
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string result;
    char buffer[512];
    for (;;) {
        const ssize_t got = ::read(fds[0], buffer, sizeof buffer);
        if (got <= 0) break;
        result.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child failed: " + result;
    return result;
}
#endif

std::string SystemText(int code) { return tamb::FormatSystemErrorMsg(code); }

std::string MakeLongDirectory(const std::string& base) {
    std::string path = base;
    for (int i = 0; i < 4; ++i) {
        path += "/" + std::string(90, static_cast<char>('a' + i));
        if (!testsupport::MakeDirectory(path)) throw std::runtime_error("mkdir failed: " + path);
    }
    return path;
}

}  // namespace exporttest
