#pragma once
#include "orix/IoFilter.h"

namespace orix {

class TrBase;

class IoImportFilter : public IoFilter {
  public:
    explicit IoImportFilter(IoManager& manager);
    ~IoImportFilter() override;

    virtual bool IsFileSupported(const char* path) = 0;                         // slot 6
    virtual bool GetFileDescription(const char* path, std::string& text) = 0;   // slot 7
    virtual ImportStatus ImportFile(const char* path, bool promptAllowed) = 0;  // slot 8
    virtual ImportStatus ImportFromMemory(const unsigned char* data, unsigned int size,
                                          bool promptAllowed);  // slot 9

    // Hands a finished object to the host. True: the host took (a copy of) it.
    bool ImportObject(TrBase& object) const;
};

}  // namespace orix
