#pragma once
#include <memory>
#include <string>

namespace tamb {

// A buffered file. Readers and writers make it by value, so its layout is
// part of the contract. Reads, writes, Getc, GetPosition and Seek mix freely.
// A failed Write raises an exception; after a failed open, a short read or a
// failed write the runtime's _doserrno tells why, or is 0.
class CBufferedFile {
  public:
    enum Sharing : int { ShareNone = 0, ShareRead = 1, ShareWrite = 2, ShareReadWrite = 3 };
    enum Origin : int { FromStart = 0, FromCurrent = 1, FromEnd = 2 };

    CBufferedFile();
    ~CBufferedFile();
    CBufferedFile(const CBufferedFile&) = delete;
    CBufferedFile& operator=(const CBufferedFile&) = delete;

    // Modes: "rb" reads; "wb" creates or empties; "r+b" reads and writes.
    // The sharing value and the flag are accepted for the platform's sake.
    bool OpenNoThrow(const char* name, const char* mode, Sharing sharing, bool flag);
    bool IsOpen() const { return m_fd >= 0; }
    void Close();

    unsigned int Read(void* buffer, unsigned int count);
    int Getc() {
        if (m_readPos < m_readEnd) return m_buffer[m_readPos++];
        return GetcSlow();
    }
    void Write(const void* buffer, unsigned int count);
    long long GetPosition() const;
    void Seek(long long offset, Origin origin);

  private:
    // Size of the read buffer; reads at least this large bypass it.
    static constexpr unsigned int kBufferSize = 64 * 1024;

    int GetcSlow();
    bool Refill();
    void DropReadWindow();

    int m_fd = -1;
    std::string m_name;  // as opened; the host's call log names it when closed
    std::unique_ptr<unsigned char[]> m_buffer;
    unsigned int m_readPos = 0;  // next unread byte of the window
    unsigned int m_readEnd = 0;  // bytes in the window
    long long m_osPos = 0;       // the system's file offset (end of the window)
};

}  // namespace tamb
