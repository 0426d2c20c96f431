#pragma once
// The module as a host meets it: loaded at run time, asked for filters
// through its two exports, and driven through the stand-in host.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BmpBytes.h"
#include "orix/IoExportFilter.h"
#include "orix/IoImportFilter.h"
#include "standin/Image.h"
#include "standin/IoException.h"
#include "standin/Recorder.h"
#include "tamb/SystemError.h"

namespace testsupport {

using bmpbytes::BmpFields;
using bmpbytes::BuildBmp;
using bmpbytes::Bytes;

// A temporary directory, removed with its contents when destroyed.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }
    // Writes the bytes to a file in the directory and returns its path.
    std::string Write(const std::string& name, const Bytes& bytes) const;

  private:
    std::string m_path;
};

Bytes ReadFileBytes(const std::string& path);

// The loaded module; null factories when it did not load.
struct Module {
    orix::IoImportFilter* (*importBmp)(orix::IoManager&) = nullptr;
    orix::IoExportFilter* (*exportBmp)(orix::IoManager&) = nullptr;
    std::string error;
};
const Module& LoadedModule();
// The names the module file exports; empty where they cannot be listed.
std::vector<std::string> ExportedNames();

std::unique_ptr<orix::IoImportFilter> NewImportFilter(orix::IoManager& manager);
std::unique_ptr<orix::IoExportFilter> NewExportFilter(orix::IoManager& manager);

// The error a slot raised, as the host received it.
struct Raised {
    bool raised = false;
    std::string source;
    int line = 0;
    int code = 0;  // 0 for a finished message
    std::vector<std::string> args;
    std::string message;
    std::string format;  // the format of a finished message
};
Raised Catch(const std::function<void()>& slot);

// The rows of an image, top first, GetRowBytes() bytes each.
std::vector<Bytes> ImageRows(const standin::Image& image);

// The code the runtime records for a path whose directory does not exist.
unsigned long MissingDirectoryCode();

// An image of the host, rows top first, each GetRowBytes() long (shorter
// rows are padded with zeros).
std::unique_ptr<standin::Image> MakeImage(int width, int height, tamb::ColorFormat format,
                                          const std::vector<Bytes>& rows,
                                          const std::vector<tagRGBQUAD>& table = {},
                                          int colorsUsed = 0);

}  // namespace testsupport
