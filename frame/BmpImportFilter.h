#pragma once
#include <string>

#include "frame/HostInterfaces.h"
#include "import/BmpReader.h"

// The import filter. Its virtual slots, numbered in the order the
// framework's headers declare them:
//   0 destructor, 1 GetPropertyPages (framework's), 2 ResetOptions,
//   3 GetDefaultOptions, 4 CanHandleType, 5 GetStringOption,
//   6 IsFileSupported, 7 GetFileDescription, 8 ImportFile,
//   9 ImportFromMemory (framework's).
// (Slot numbers count declarations: see frame/HostInterfaces.h.)
class BmpImportFilter : public orix::IoImportFilter {
  public:
    explicit BmpImportFilter(orix::IoManager& manager);
    ~BmpImportFilter() override;

    bool IsFileSupported(const char* path) override;
    bool GetFileDescription(const char* path, std::string& text) override;
    orix::ImportStatus ImportFile(const char* path, bool promptAllowed) override;

    // The slots both filters share.
    void ResetOptions(int value) override;
    std::string GetDefaultOptions() override;
    bool CanHandleType(const tamb::CTypeInfo* type) override;
    bool GetStringOption(const char* text1, const char* text2, std::string& value) override;

  private:
    // The import once the display shows: from the headers read to the image
    // handed over.
    orix::ImportStatus ImportImage(const char* path, orix::IoProgress& progress);

    BmpReader m_reader;
    bool m_promptAllowed;
    bool m_alphaAllZero;
};
