#pragma once
#include "tamb/CTypeInfo.h"

namespace orix {

// The base of every object handed between the host and its filters.
class TrBase {
  public:
    virtual ~TrBase();
    virtual const tamb::CTypeInfo* GetTypeId() const = 0;
};

}  // namespace orix
