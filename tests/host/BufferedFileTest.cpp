#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <numeric>

#include "hostcrt/Runtime.h"
#include "support/BmpBuilder.h"
#include "tamb/CBufferedFile.h"
#include "tamb/SystemError.h"

using testsupport::Bytes;
using testsupport::TempDir;

namespace {

#if defined(_WIN32)
// Windows' runtime keeps the system's own error codes in _doserrno.
constexpr unsigned long kMissingDirectoryCode = 3;  // path not found
constexpr unsigned long kMissingFileCode = 2;       // file not found
constexpr unsigned long kReadOnlyWriteCode = 5;     // access denied
#else
constexpr unsigned long kMissingDirectoryCode = ENOENT;
constexpr unsigned long kMissingFileCode = ENOENT;
constexpr unsigned long kReadOnlyWriteCode = EBADF;
#endif

Bytes Counting(std::size_t n) {
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return bytes;
}

TEST(CBufferedFile, OpenFailureSetsErrnoWithoutThrowing) {
    TempDir dir;
    tamb::CBufferedFile file;
    _doserrno = 0;
    EXPECT_FALSE(file.OpenNoThrow(dir.File("missing/x.bmp").c_str(), "rb",
                                  tamb::CBufferedFile::ShareReadWrite, false));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(_doserrno, kMissingDirectoryCode);
#if defined(_WIN32)
    // The system's own texts, one line each, and distinct.
    const std::string missingDirectory = tamb::FormatSystemErrorMsg(kMissingDirectoryCode);
    EXPECT_FALSE(missingDirectory.empty());
    EXPECT_EQ(missingDirectory.find_first_of("\r\n"), std::string::npos);
    EXPECT_NE(missingDirectory, tamb::FormatSystemErrorMsg(kMissingFileCode));
#else
    EXPECT_EQ(tamb::FormatSystemErrorMsg(ENOENT), std::strerror(ENOENT));
#endif
}

TEST(CBufferedFile, GetcReadSeekAndPositionAgreeAcrossBufferEdges) {
    TempDir dir;
    const std::size_t size = tamb::CBufferedFile::kBufferSize * 3 + 123;
    const Bytes data = Counting(size);
    const std::string path = dir.Write("data.bin", data);
    tamb::CBufferedFile file;
    ASSERT_TRUE(file.OpenNoThrow(path.c_str(), "rb", tamb::CBufferedFile::ShareReadWrite, false));
    EXPECT_EQ(file.GetPosition(), 0);
    EXPECT_EQ(file.Getc(), data[0]);
    // A small read, a read larger than the buffer, then Getc again.
    Bytes small(100), large(tamb::CBufferedFile::kBufferSize + 17);
    EXPECT_EQ(file.Read(small.data(), 100), 100u);
    EXPECT_TRUE(std::equal(small.begin(), small.end(), data.begin() + 1));
    EXPECT_EQ(file.Read(large.data(), static_cast<unsigned>(large.size())), large.size());
    EXPECT_TRUE(std::equal(large.begin(), large.end(), data.begin() + 101));
    long long pos = 101 + static_cast<long long>(large.size());
    EXPECT_EQ(file.GetPosition(), pos);
    EXPECT_EQ(file.Getc(), data[static_cast<std::size_t>(pos)]);
    // Back inside what was read, forward past the buffer, relative moves.
    file.Seek(5, tamb::CBufferedFile::FromStart);
    EXPECT_EQ(file.GetPosition(), 5);
    EXPECT_EQ(file.Getc(), data[5]);
    file.Seek(2 * tamb::CBufferedFile::kBufferSize, tamb::CBufferedFile::FromCurrent);
    pos = 6 + 2 * tamb::CBufferedFile::kBufferSize;
    EXPECT_EQ(file.GetPosition(), pos);
    EXPECT_EQ(file.Getc(), data[static_cast<std::size_t>(pos)]);
    file.Seek(-3, tamb::CBufferedFile::FromEnd);
    EXPECT_EQ(file.Getc(), data[size - 3]);
    EXPECT_EQ(file.Getc(), data[size - 2]);
    EXPECT_EQ(file.Getc(), data[size - 1]);
    EXPECT_EQ(file.Getc(), -1);
    EXPECT_EQ(file.Getc(), -1);
}

TEST(CBufferedFile, ShortReadAtEndOfFileClearsErrno) {
    TempDir dir;
    const std::string path = dir.Write("short.bin", Bytes{1, 2, 3});
    tamb::CBufferedFile file;
    ASSERT_TRUE(file.OpenNoThrow(path.c_str(), "rb", tamb::CBufferedFile::ShareReadWrite, false));
    _doserrno = 99;
    std::uint8_t buffer[14];
    EXPECT_EQ(file.Read(buffer, 14), 3u);
    EXPECT_EQ(_doserrno, 0u);
    // Past the end: nothing more, whatever the size asked for.
    EXPECT_EQ(file.Read(buffer, 1), 0u);
    file.Seek(100, tamb::CBufferedFile::FromStart);
    EXPECT_EQ(file.GetPosition(), 100);
    EXPECT_EQ(file.Read(buffer, 1), 0u);
}

TEST(CBufferedFile, WritesCreateTruncateAndMixWithReads) {
    TempDir dir;
    const std::string path = dir.Write("w.bin", Counting(1000));
    {
        tamb::CBufferedFile file;
        ASSERT_TRUE(
            file.OpenNoThrow(path.c_str(), "wb", tamb::CBufferedFile::ShareReadWrite, false));
        file.Write("abc", 3);
        EXPECT_EQ(file.GetPosition(), 3);
        const Bytes big = Counting(200000);
        file.Write(big.data(), static_cast<unsigned>(big.size()));
        EXPECT_EQ(file.GetPosition(), 200003);
    }  // destruction closes
    const Bytes written = testsupport::ReadFileBytes(path);
    ASSERT_EQ(written.size(), 200003u);
    EXPECT_EQ(written[0], 'a');
    EXPECT_EQ(written[200002], Counting(200000)[199999]);

    tamb::CBufferedFile file;
    ASSERT_TRUE(file.OpenNoThrow(path.c_str(), "r+b", tamb::CBufferedFile::ShareReadWrite, false));
    EXPECT_EQ(file.Getc(), 'a');
    file.Write("XY", 2);  // lands at offset 1, after the byte read
    EXPECT_EQ(file.GetPosition(), 3);
    file.Seek(0, tamb::CBufferedFile::FromStart);
    std::uint8_t head[4];
    ASSERT_EQ(file.Read(head, 4), 4u);
    EXPECT_EQ(std::memcmp(head, "aXY", 3), 0);
}

TEST(CBufferedFile, FailedWriteThrowsAndRecordsErrno) {
    TempDir dir;
    const std::string path = dir.Write("ro.bin", Bytes{1});
    tamb::CBufferedFile file;
    ASSERT_TRUE(file.OpenNoThrow(path.c_str(), "rb", tamb::CBufferedFile::ShareReadWrite, false));
    _doserrno = 0;
    EXPECT_THROW(file.Write("x", 1), tamb::CFileException);
    EXPECT_EQ(_doserrno, kReadOnlyWriteCode);
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_THROW(file.Write("x", 1), tamb::CFileException);
}

TEST(Runtime, BoundedFormattingNeverOverflows) {
    char buffer[8];
    auto format = [&](const char* fmt, ...) {
        va_list args;
        va_start(args, fmt);
        const int result = vsprintf_s(buffer, sizeof buffer, fmt, args);
        va_end(args);
        return result;
    };
    EXPECT_EQ(format("%d", 1234567), 7);
    EXPECT_STREQ(buffer, "1234567");
#if !defined(_WIN32)
    // The stand-in's overflow contract. Windows' own runtime hands an overflow to
    // its invalid-parameter handler instead; the module never overflows.
    EXPECT_EQ(format("%d", 12345678), -1);
    EXPECT_STREQ(buffer, "");
#endif
}

TEST(Runtime, UnlinkRemovesAndReportsMissingFiles) {
    TempDir dir;
    const std::string path = dir.Write("gone.bin", Bytes{1});
    EXPECT_EQ(_unlink(path.c_str()), 0);
    EXPECT_FALSE(testsupport::FileExists(path));
    EXPECT_EQ(_unlink(path.c_str()), -1);
    EXPECT_EQ(_doserrno, kMissingFileCode);
}

}  // namespace
