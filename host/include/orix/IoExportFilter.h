#pragma once
#include <vector>

#include "orix/IoFilter.h"

namespace orix {

class TrBase;

class IoExportFilter : public IoFilter {
  public:
    explicit IoExportFilter(IoManager& manager);
    ~IoExportFilter() override;

    virtual ExportStatus BeginExport(const char* path, bool flag) = 0;                     // slot 6
    virtual ExportStatus BeginExportToMemory(std::vector<unsigned char>& out, bool flag);  // 7
    virtual ExportStatus ExportObject(TrBase& object) = 0;                                 // slot 8
    virtual ExportStatus EndExport() = 0;                                                  // slot 9
    virtual ExportStatus EndExportToMemory();  // slot 10
};

}  // namespace orix
