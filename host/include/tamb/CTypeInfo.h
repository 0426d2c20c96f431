#pragma once

namespace tamb {

// A class identity. Filters only compare identities by address; what one
// holds is the host's.
class CTypeInfo;

}  // namespace tamb
