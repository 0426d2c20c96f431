#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "format/BmpFormat.h"

namespace {

BITMAPINFOHEADER Header(std::int32_t width, std::uint16_t bitCount, std::uint32_t size = 40) {
    BITMAPINFOHEADER h{};
    h.biSize = size;
    h.biWidth = width;
    h.biHeight = 1;
    h.biPlanes = 1;
    h.biBitCount = bitCount;
    return h;
}

struct StrideCase {
    std::int32_t width;
    std::uint16_t bitCount;
    std::int32_t stride;
};

class WorkedStride : public testing::TestWithParam<StrideCase> {};

TEST_P(WorkedStride, MatchesTable) {
    const StrideCase c = GetParam();
    const BITMAPINFOHEADER h = Header(c.width, c.bitCount);
    EXPECT_EQ(ComputeRowStride(&h), c.stride) << c.width << " x " << c.bitCount;
}

INSTANTIATE_TEST_SUITE_P(Table, WorkedStride,
                         testing::Values(StrideCase{1, 1, 4}, StrideCase{32, 1, 4},
                                         StrideCase{33, 1, 8}, StrideCase{5, 4, 4},
                                         StrideCase{9, 4, 8}, StrideCase{3, 3, 4},
                                         StrideCase{9, 3, 8}, StrideCase{4, 8, 4},
                                         StrideCase{5, 8, 8}, StrideCase{3, 15, 8},
                                         StrideCase{32, 15, 64}, StrideCase{3, 16, 8},
                                         StrideCase{3, 24, 12}, StrideCase{5, 24, 16},
                                         StrideCase{100, 24, 300}, StrideCase{3, 32, 12}));

TEST(ComputeRowStride, UnusableHeadersGiveZero) {
    EXPECT_EQ(ComputeRowStride(nullptr), 0);
    for (std::uint32_t size : {0u, 12u, 39u, 41u, 108u, 124u}) {
        const BITMAPINFOHEADER h = Header(10, 24, size);
        EXPECT_EQ(ComputeRowStride(&h), 0) << "biSize " << size;
    }
    for (std::int32_t width : {1, 7, 1000}) {
        const BITMAPINFOHEADER h = Header(width, 0);
        EXPECT_EQ(ComputeRowStride(&h), 0) << "bit count 0, width " << width;
    }
}

TEST(ComputeRowStride, WidthOneIsFourBytesUpTo32Bits) {
    for (int bits = 1; bits <= 32; ++bits) {
        const BITMAPINFOHEADER h = Header(1, static_cast<std::uint16_t>(bits));
        EXPECT_EQ(ComputeRowStride(&h), 4) << bits << " bits";
    }
}

TEST(ComputeRowStride, NeverWraps) {
    struct Case {
        std::int32_t width;
        std::uint16_t bits;
        std::int32_t expected;
    };
    const Case cases[] = {
        {0x7FFFFFFF, 32, 0},              // 2^36 bits
        {0x10000000, 8, 0},               // exactly 2^31 bits
        {0x0FFFFFFF, 8, 0x0FFFFFFF + 1},  // 2^31 - 8 bits: fits
        {0x7FFFFFFF, 1, 0x10000000},      // 2^31 - 1 bits: fits
        {0x07FFFFFF, 24, 0},              // just over
        {-5, 24, 0},                      // negative widths have no stride
        {0x7FFFFFFF, 0xFFFF, 0},
    };
    for (const Case& c : cases) {
        const BITMAPINFOHEADER h = Header(c.width, c.bits);
        const std::int32_t stride = ComputeRowStride(&h);
        EXPECT_EQ(stride, c.expected) << c.width << " x " << c.bits;
        EXPECT_GE(stride, 0);
    }
}

TEST(Records, SignatureReadsLittleEndian) {
    std::uint8_t bytes[14] = {'B', 'M', 0x46, 0, 0, 0, 0, 0, 0, 0, 0x36, 0, 0, 0};
    BITMAPFILEHEADER h = bmp::DecodeFileHeader(bytes);
    EXPECT_EQ(+h.bfType, bmp::kSignature);
    EXPECT_EQ(+h.bfSize, 0x46u);
    EXPECT_EQ(+h.bfOffBits, 0x36u);
    bytes[0] = 'M';
    bytes[1] = 'B';
    EXPECT_NE(+bmp::DecodeFileHeader(bytes).bfType, bmp::kSignature);
}

TEST(Records, CoreHeaderWidensWithoutSign) {
    const std::uint8_t bytes[12] = {12, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 4, 0};
    const BITMAPINFOHEADER h = bmp::DecodeCoreHeader(bytes);
    EXPECT_EQ(+h.biSize, 40u);
    EXPECT_EQ(+h.biWidth, 65535);
    EXPECT_EQ(+h.biHeight, 65535);
    EXPECT_EQ(+h.biPlanes, 1);
    EXPECT_EQ(+h.biBitCount, 4);
    EXPECT_EQ(+h.biCompression, bmp::BI_RGB);
    EXPECT_EQ(+h.biClrUsed, 0u);
    EXPECT_EQ(+h.biXPelsPerMeter, 0);
}

TEST(Records, InfoHeaderRoundTripsEveryField) {
    BITMAPINFOHEADER in{};
    in.biSize = 40;
    in.biWidth = 0x01020304;
    in.biHeight = -480;
    in.biPlanes = 1;
    in.biBitCount = 32;
    in.biCompression = bmp::BI_BITFIELDS;
    in.biSizeImage = 0xA0B0C0D0;
    in.biXPelsPerMeter = -1;
    in.biYPelsPerMeter = 3780;
    in.biClrUsed = 256;
    in.biClrImportant = 17;
    std::uint8_t bytes[40];
    bmp::EncodeInfoHeader(in, bytes);
    EXPECT_EQ(bytes[8], 0x20);  // -480 little-endian: 20 FE FF FF
    EXPECT_EQ(bytes[9], 0xFE);
    EXPECT_EQ(bytes[11], 0xFF);
    const BITMAPINFOHEADER out = bmp::DecodeInfoHeader(bytes);
    EXPECT_EQ(std::memcmp(&in, &out, sizeof in), 0);
}

}  // namespace
