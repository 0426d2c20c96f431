#pragma once
#include <cstdint>

#include "orix/TrBase.h"

namespace orix {

// Opens the graphics part of an export. Filters set the origin to zero and
// ask for raster output; the host starts it at "unset".
class TrInitGraphicsExp : public TrBase {
  public:
    static const tamb::CTypeInfo* GetClassTypeId();
    const tamb::CTypeInfo* GetTypeId() const override;

    std::int32_t m_originX = -1;
    std::int32_t m_originY = -1;
    bool m_rasterOutput = false;
};

}  // namespace orix
