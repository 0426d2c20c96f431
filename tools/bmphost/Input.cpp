#include "Input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <stdexcept>

#include "Header.h"
#include "Terminal.h"
#include "standin/Image.h"

namespace bmphost {

namespace {

// Enough of the start to tell a BMP or PNG file and read the header's size.
constexpr std::uint64_t kLeadBytes = bmp::kFileHeaderSize + 4;
constexpr std::uint64_t kProbeBytes = bmp::kFileHeaderSize + bmp::kInfoHeaderSize;
constexpr unsigned char kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// The file descriptors of one copy, closed (but stdin) when it ends.
struct Copy {
    int from, to;
    std::string name, folder;
    std::uint64_t copied = 0;
    unsigned char lead[kLeadBytes] = {};

    ~Copy() {
        if (from > STDIN_FILENO) ::close(from);
        if (to >= 0) ::close(to);
    }

    // Copies until `total` bytes are copied, the input ends or Ctrl-C.
    void UpTo(std::uint64_t total) {
        char buffer[1 << 16];
        while (copied < total && !InterruptRequested()) {
            const auto want =
                static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buffer, total - copied));
            const ssize_t n = ::read(from, buffer, want);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0)
                throw std::runtime_error("cannot read " + name + ": " + std::strerror(errno));
            if (n == 0) return;
            if (copied < kLeadBytes)
                std::memcpy(
                    lead + copied, buffer,
                    std::min<std::uint64_t>(static_cast<std::uint64_t>(n), kLeadBytes - copied));
            Write(buffer, static_cast<std::size_t>(n));
            copied += static_cast<std::uint64_t>(n);
        }
    }

    std::runtime_error Failure(int error) const {
        return std::runtime_error("cannot copy " + name + " to the temporary folder " + folder +
                                  ": " + std::strerror(error));
    }

    void Write(const char* bytes, std::size_t count) {
        for (std::size_t done = 0; done < count;) {
            const ssize_t n = ::write(to, bytes + done, count - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) throw Failure(n < 0 ? errno : ENOSPC);
            done += static_cast<std::size_t>(n);
        }
    }
};

// The bytes of the input that the use reads, judged from its start: a file
// that is neither a BMP nor a PNG file is refused on its first bytes.
std::uint64_t Needed(InputUse use, const unsigned char (&lead)[kLeadBytes]) {
    if (use == InputUse::Probe) return kProbeBytes;
    const bool bmp = lead[0] == 'B' && lead[1] == 'M';
    const std::uint64_t headers = HeaderSpan(bmp::LoadLe32(lead + bmp::kFileHeaderSize));
    if (use == InputUse::Describe) return bmp ? headers : kLeadBytes;
    const bool png = std::memcmp(lead, kPngSignature, sizeof kPngSignature) == 0;
    return bmp || png ? std::numeric_limits<std::uint64_t>::max() : kLeadBytes;
}

bool CopiedAsItIs(const std::string& name) {
    struct stat info;
    return name != "-" &&
           (::stat(name.c_str(), &info) != 0 || S_ISREG(info.st_mode) || S_ISDIR(info.st_mode));
}

}  // namespace

Input::Input(const std::string& name, InputUse use, std::uint64_t bound)
    : m_name(name), m_path(name) {
    if (CopiedAsItIs(name)) return;
    m_copy.emplace("-");
    const int from = name == "-" ? STDIN_FILENO : ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (from < 0) throw std::runtime_error("cannot read " + name + ": " + std::strerror(errno));
    const int to = ::open(m_copy->Path().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    const int openError = errno;
    Copy copy{from, to, name,
              std::filesystem::path(m_copy->Path()).parent_path().parent_path().string()};
    if (to < 0) throw copy.Failure(openError);
    copy.UpTo(kLeadBytes);
    const std::uint64_t needed = Needed(use, copy.lead);
    // One byte past the bound tells an input that goes on.
    copy.UpTo(needed > bound ? bound + 1 : needed);
    if (copy.copied > bound)
        throw std::runtime_error("cannot read " + name + ": it holds more than " +
                                 std::to_string(bound) +
                                 " bytes, the most bmphost copies from standard input, a pipe or "
                                 "a device; --max-input-bytes raises it");
    m_path = m_copy->Path();
}

std::uint64_t DefaultInputBound() {
    constexpr std::uint64_t kHeaders = 1u << 20, kMost = std::numeric_limits<std::uint64_t>::max();
    const std::uint64_t pixels = standin::Image::GetPixelLimit();
    return pixels > (kMost - kHeaders) / 4 ? kMost : 4 * pixels + kHeaders;
}

}  // namespace bmphost
