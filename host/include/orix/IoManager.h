#pragma once

namespace orix {

// The host's side of a session with filters. The host makes it and hands it
// to the factories; a filter keeps it for its whole life. Filters read its
// first member directly and register their options through it.
class IoManager {
  public:
    // The leading flag: an import answers "done" only while it is set. It
    // must stay the first member.
    unsigned char m_leadingFlag = 0;

    // Registers one of the filter's options with the host.
    void SetOption(const char* name, bool first, bool second);

    IoManager(const IoManager&) = delete;
    IoManager& operator=(const IoManager&) = delete;

  protected:
    // Made and destroyed by the host only.
    IoManager() = default;
    ~IoManager() = default;
};

}  // namespace orix
