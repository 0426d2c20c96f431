#pragma once

namespace tamb {

// A class identity. Identities are compared by address; the name is for people.
class CTypeInfo {
  public:
    explicit CTypeInfo(const char* name) : m_name(name) {}
    CTypeInfo(const CTypeInfo&) = delete;
    CTypeInfo& operator=(const CTypeInfo&) = delete;
    const char* GetName() const { return m_name; }

  private:
    const char* m_name;
};

}  // namespace tamb
