#include "tamb/CBufferedFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#if defined(_WIN32)
#include <io.h>
#include <share.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "Observers.h"
#include "hostcrt/Runtime.h"
#include "tamb/SystemError.h"

// Writes go straight to the system, so a failure always surfaces in Write and
// Close has nothing left to lose. Failures set the runtime's _doserrno from
// errno; a read that ends at end of file sets it to 0.
namespace tamb {

// Raised by CBufferedFile::Write when the bytes could not all be written.
class CFileException : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

namespace {

#if defined(_WIN32)
// Windows: the runtime's own calls, always in binary mode. The runtime sets
// _doserrno itself, from the system's error code (0 for failures it detects on
// its own), so there is nothing to copy; the codes set here are the system's.
using IoResult = int;
using FileOffset = long long;
constexpr int kOpenExtraFlags = _O_BINARY | _O_NOINHERIT;
constexpr unsigned long kInvalidArgument = 87;  // ERROR_INVALID_PARAMETER
constexpr unsigned long kBadHandle = 6;         // ERROR_INVALID_HANDLE
constexpr unsigned long kDiskFull = 112;        // ERROR_DISK_FULL

void RecordErrno() {}

int SystemOpen(const char* name, int flags, CBufferedFile::Sharing sharing) {
    static const int kShareModes[] = {_SH_DENYRW, _SH_DENYWR, _SH_DENYRD, _SH_DENYNO};
    const int share = sharing >= 0 && sharing <= 3 ? kShareModes[sharing] : _SH_DENYNO;
    return ::_sopen(name, flags, share, _S_IREAD | _S_IWRITE);
}
IoResult SystemRead(int fd, void* buffer, unsigned int count) { return ::_read(fd, buffer, count); }
IoResult SystemWrite(int fd, const void* buffer, unsigned int count) {
    return ::_write(fd, buffer, count);
}
FileOffset SystemSeek(int fd, FileOffset offset, int origin) {
    return ::_lseeki64(fd, offset, origin);
}
int SystemClose(int fd) { return ::_close(fd); }
bool SystemSize(int fd, long long& size) {
    struct _stati64 info;
    if (::_fstati64(fd, &info) != 0) return false;
    size = info.st_size;
    return true;
}
#else
using IoResult = ssize_t;
using FileOffset = off_t;
constexpr int kOpenExtraFlags = O_CLOEXEC;
constexpr unsigned long kInvalidArgument = EINVAL;
constexpr unsigned long kBadHandle = EBADF;
constexpr unsigned long kDiskFull = ENOSPC;

void RecordErrno() { _doserrno = static_cast<unsigned long>(errno); }

int SystemOpen(const char* name, int flags, CBufferedFile::Sharing) {
    return ::open(name, flags, 0666);
}
IoResult SystemRead(int fd, void* buffer, unsigned int count) { return ::read(fd, buffer, count); }
IoResult SystemWrite(int fd, const void* buffer, unsigned int count) {
    return ::write(fd, buffer, count);
}
FileOffset SystemSeek(int fd, FileOffset offset, int origin) { return ::lseek(fd, offset, origin); }
int SystemClose(int fd) { return ::close(fd); }
bool SystemSize(int fd, long long& size) {
    struct stat info;
    if (::fstat(fd, &info) != 0) return false;
    size = static_cast<long long>(info.st_size);
    return true;
}
#endif

int OpenFlags(const char* mode) {
    if (std::strcmp(mode, "rb") == 0 || std::strcmp(mode, "r") == 0) return O_RDONLY;
    if (std::strcmp(mode, "wb") == 0 || std::strcmp(mode, "w") == 0)
        return O_WRONLY | O_CREAT | O_TRUNC;
    if (std::strcmp(mode, "r+b") == 0 || std::strcmp(mode, "rb+") == 0) return O_RDWR;
    return -1;
}

}  // namespace

CBufferedFile::CBufferedFile() = default;

CBufferedFile::~CBufferedFile() { Close(); }

bool CBufferedFile::OpenNoThrow(const char* name, const char* mode, Sharing sharing, bool) {
    if (IsOpen() || name == nullptr || mode == nullptr) {
        _doserrno = kInvalidArgument;
        return false;
    }
    const int flags = OpenFlags(mode);
    if (flags < 0) {
        _doserrno = kInvalidArgument;
        return false;
    }
    int fd;
    do {
        fd = SystemOpen(name, flags | kOpenExtraFlags, sharing);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        RecordErrno();
        return false;
    }
    if (!m_buffer) m_buffer.reset(new unsigned char[kBufferSize]);
    m_fd = fd;
    m_name = name;
    m_readPos = m_readEnd = 0;
    m_osPos = 0;
    return true;
}

void CBufferedFile::Close() {
    if (m_fd < 0) return;
    SystemClose(m_fd);
    m_fd = -1;
    m_readPos = m_readEnd = 0;
    m_osPos = 0;
    if (standin::CallObserver* observer = hostimpl::Observer()) observer->FileClosed(m_name);
}

bool CBufferedFile::Refill() {
    m_readPos = m_readEnd = 0;
    for (;;) {
        const IoResult got = SystemRead(m_fd, m_buffer.get(), kBufferSize);
        if (got > 0) {
            m_readEnd = static_cast<unsigned int>(got);
            m_osPos += got;
            return true;
        }
        if (got == 0) {
            _doserrno = 0;
            return false;
        }
        if (errno != EINTR) {
            RecordErrno();
            return false;
        }
    }
}

int CBufferedFile::GetcSlow() {
    if (m_fd < 0 || !Refill()) return -1;
    return m_buffer[m_readPos++];
}

unsigned int CBufferedFile::Read(void* buffer, unsigned int count) {
    if (m_fd < 0 || buffer == nullptr) return 0;
    auto* out = static_cast<unsigned char*>(buffer);
    unsigned int done = 0;
    const unsigned int buffered = m_readEnd - m_readPos;
    if (buffered > 0) {
        done = buffered < count ? buffered : count;
        std::memcpy(out, m_buffer.get() + m_readPos, done);
        m_readPos += done;
    }
    while (done < count) {
        const unsigned int left = count - done;
        if (left >= kBufferSize) {
            // Large reads go straight into the caller's memory.
            const IoResult got = SystemRead(m_fd, out + done, left);
            if (got > 0) {
                done += static_cast<unsigned int>(got);
                m_osPos += got;
                continue;
            }
            if (got == 0) {
                _doserrno = 0;
                break;
            }
            if (errno == EINTR) continue;
            RecordErrno();
            break;
        }
        if (!Refill()) break;
        const unsigned int take = m_readEnd < left ? m_readEnd : left;
        std::memcpy(out + done, m_buffer.get(), take);
        m_readPos = take;
        done += take;
    }
    return done;
}

void CBufferedFile::DropReadWindow() {
    const unsigned int unread = m_readEnd - m_readPos;
    if (unread > 0) {
        // Put the system's offset back where the caller thinks it is.
        const FileOffset pos = SystemSeek(m_fd, -static_cast<FileOffset>(unread), SEEK_CUR);
        if (pos >= 0) m_osPos = pos;
    }
    m_readPos = m_readEnd = 0;
}

void CBufferedFile::Write(const void* buffer, unsigned int count) {
    if (m_fd < 0) {
        _doserrno = kBadHandle;
        throw CFileException("write to a closed file");
    }
    DropReadWindow();
    const auto* in = static_cast<const unsigned char*>(buffer);
    unsigned int done = 0;
    while (done < count) {
        const IoResult put = SystemWrite(m_fd, in + done, count - done);
        if (put > 0) {
            done += static_cast<unsigned int>(put);
            m_osPos += put;
            continue;
        }
        if (put < 0 && errno == EINTR) continue;
        if (put == 0) {
            errno = ENOSPC;
            _doserrno = kDiskFull;
        } else {
            RecordErrno();
        }
        throw CFileException(FormatSystemErrorMsg(_doserrno));
    }
}

long long CBufferedFile::GetPosition() const {
    if (m_fd < 0) return 0;
    return m_osPos - static_cast<long long>(m_readEnd - m_readPos);
}

void CBufferedFile::Seek(long long offset, Origin origin) {
    if (standin::CallObserver* observer = hostimpl::Observer()) observer->FileSeek(offset, origin);
    if (m_fd < 0) return;
    long long target;
    if (origin == FromStart) {
        target = offset;
    } else if (origin == FromCurrent) {
        target = GetPosition() + offset;
    } else {
        long long size;
        if (!SystemSize(m_fd, size)) {
            RecordErrno();
            return;
        }
        target = size + offset;
    }
    if (target < 0) {
        _doserrno = kInvalidArgument;
        return;
    }
    const long long windowStart = m_osPos - m_readEnd;
    if (m_readEnd > 0 && target >= windowStart && target <= m_osPos) {
        m_readPos = static_cast<unsigned int>(target - windowStart);
        return;
    }
    m_readPos = m_readEnd = 0;
    const FileOffset pos = SystemSeek(m_fd, static_cast<FileOffset>(target), SEEK_SET);
    if (pos < 0) {
        RecordErrno();
        // The offset is unknown now; ask the system where it is.
        const FileOffset now = SystemSeek(m_fd, 0, SEEK_CUR);
        m_osPos = now >= 0 ? now : 0;
        return;
    }
    m_osPos = pos;
}

}  // namespace tamb
