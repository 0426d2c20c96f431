#pragma once

namespace tamb {

class CPath {
  public:
    // The file-name part of a path (after the last '/', '\\' or drive colon),
    // as a pointer into the given text.
    static char* GetNamePtr(const char* path);
};

}  // namespace tamb
