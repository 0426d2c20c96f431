#pragma once
// Helpers shared by the export tests: host images built from rows, the
// expected file of an image, error capture and runs under a file size limit.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "frame/HostInterfaces.h"
#include "support/BmpBuilder.h"

namespace exporttest {

using testsupport::Bytes;

// A host image with the given rows (top row first, each without padding).
std::unique_ptr<orix::TrImage> MakeImage(int width, tamb::ColorFormat format,
                                         const std::vector<Bytes>& topDownRows,
                                         const std::vector<tagRGBQUAD>& palette = {},
                                         int xPelsPerMeter = 2835, int yPelsPerMeter = 2835);

// What the exporter must write: the 40-byte header as the writer completes it
// (no compression, colour counts = table size), the table, then the rows in
// file order (bottom row first), each padded to the stored stride.
Bytes ExpectedExport(int width, int height, int bitCount, const std::vector<tagRGBQUAD>& table,
                     const std::vector<Bytes>& bottomUpRows, int xPelsPerMeter = 2835,
                     int yPelsPerMeter = 2835);

// A grey ramp of n entries: i * 255 / (n - 1) in blue, green and red.
std::vector<tagRGBQUAD> GreyRamp(int n);

// Runs `action` and returns the framework error it raised, if any.
std::optional<orix::IoException> CaptureError(const std::function<void()>& action);

// "line code [arg|arg]" or "line text: message", for comparing whole errors.
std::string Describe(const orix::IoException& error);

// Runs `action` in a child process whose files may not grow beyond `limit`
// bytes (writes past it fail with EFBIG instead of killing the child) and
// returns the text the action produced there.
std::string RunWithFileSizeLimit(long limit, const std::function<std::string()>& action);

// The system's text for an errno value, as the host formats it.
std::string SystemText(int code);

// A directory path longer than the 260 characters of older platforms.
std::string MakeLongDirectory(const std::string& base);

}  // namespace exporttest
