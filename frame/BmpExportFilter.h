#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "export/BmpWriter.h"
#include "frame/HostInterfaces.h"
#include "frame/IoProgressScope.h"

// The export filter. Its virtual slots, numbered in the order the
// framework's headers declare them:
//   0 destructor, 1 GetPropertyPages (framework's), 2 ResetOptions,
//   3 GetDefaultOptions, 4 CanHandleType, 5 GetStringOption,
//   6 BeginExport, 7 BeginExportToMemory (framework's), 8 ExportObject,
//   9 EndExport, 10 EndExportToMemory (framework's).
// (Slot numbers count declarations: see frame/HostInterfaces.h.)
class BmpExportFilter : public orix::IoExportFilter {
  public:
    explicit BmpExportFilter(orix::IoManager& manager);
    ~BmpExportFilter() override;

    void ResetOptions(int value) override;
    std::string GetDefaultOptions() override;
    bool CanHandleType(const tamb::CTypeInfo* type) override;
    bool GetStringOption(const char* text1, const char* text2, std::string& value) override;

    orix::ExportStatus BeginExport(const char* path, bool flag) override;
    orix::ExportStatus ExportObject(orix::TrBase& object) override;
    orix::ExportStatus EndExport() override;

  private:
    orix::ExportStatus ExportImage(orix::TrImage& image);
    orix::ExportStatus Stopped();
    // Ends the progress display if it is still showing.
    void EndDisplay();
    // Closes the writer's file, and deletes it unless it is to be kept.
    void CloseTarget(bool keep);

    BmpWriter m_writer;
    std::string m_fileName;
    std::int32_t m_imagesWritten;
    bool m_multiImageWarned;
    orix::IoProgress m_progress;
    std::unique_ptr<IoProgressScope> m_progressScope;
};
