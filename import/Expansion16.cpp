#include "import/Expansion16.h"

#include "format/BmpFormat.h"

// x86-64 always has SSE2; a 32-bit build has it when the compiler may use it.
#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define BMP_EXPAND_SSE2 1
#endif

namespace {

// A channel of 5 or 6 bits, c, becomes c * 255 / kMax (kMax 31 or 63),
// fraction dropped: here as a multiply, an add and a shift that stay within
// 16 bits, so that eight pixels go at once in 16-bit lanes. The import's
// tests check every 16-bit value against that formula on both paths.
template <std::uint32_t kMax>
struct Scale {
    static_assert(kMax == 31 || kMax == 63, "5 or 6 bits only");
    static constexpr std::uint16_t kMul = kMax == 31 ? 1053 : 259;
    static constexpr std::uint16_t kAdd = kMax == 31 ? 1 : 3;
    static constexpr int kShift = kMax == 31 ? 7 : 6;

    static constexpr std::uint32_t Of(std::uint32_t c) {
        return static_cast<std::uint16_t>(static_cast<std::uint16_t>(c * kMul + kAdd) >> kShift);
    }
};

// One pixel's blue, green and red, written as three bytes. The red channel
// always comes from the top bits, whichever layout the masks named.
template <bool k565>
void ExpandPixel(std::uint32_t v, std::uint8_t* out) {
    const std::uint32_t green =
        k565 ? Scale<63>::Of((v >> 5) & 0x3F) : Scale<31>::Of((v >> 5) & 0x1F);
    const std::uint32_t red = k565 ? Scale<31>::Of(v >> 11) : Scale<31>::Of((v >> 10) & 0x1F);
    out[0] = static_cast<std::uint8_t>(Scale<31>::Of(v & 0x1F));
    out[1] = static_cast<std::uint8_t>(green);
    out[2] = static_cast<std::uint8_t>(red);
}

#ifdef BMP_EXPAND_SSE2
template <std::uint32_t kMax>
__m128i ScaleLanes(__m128i c) {
    const __m128i product = _mm_mullo_epi16(c, _mm_set1_epi16(Scale<kMax>::kMul));
    return _mm_srli_epi16(_mm_add_epi16(product, _mm_set1_epi16(Scale<kMax>::kAdd)),
                          Scale<kMax>::kShift);
}

// Four pixels, each blue, green, red in the low three bytes of a 32-bit lane,
// become twelve bytes at the bottom of the result: each 64-bit half closes
// its gap, then the upper half's six bytes move down next to the lower's.
__m128i Pack12(__m128i pixels) {
    const __m128i first = _mm_and_si128(pixels, _mm_set1_epi64x(0x0000000000FFFFFF));
    const __m128i second =
        _mm_and_si128(_mm_srli_epi64(pixels, 8), _mm_set1_epi64x(0x0000FFFFFF000000));
    const __m128i halves = _mm_or_si128(first, second);
    return _mm_or_si128(_mm_move_epi64(halves), _mm_slli_si128(_mm_srli_si128(halves, 8), 6));
}

// A block is eight pixels, 16 bytes in and 24 out in two stores that write
// no byte past them.
constexpr std::int32_t kBlockPixels = 8;

template <bool k565>
void ExpandBlock(const std::uint8_t* in, std::uint8_t* out) {
    const __m128i five = _mm_set1_epi16(0x1F);
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i blue = ScaleLanes<31>(_mm_and_si128(v, five));
    const __m128i green =
        k565 ? ScaleLanes<63>(_mm_and_si128(_mm_srli_epi16(v, 5), _mm_set1_epi16(0x3F)))
             : ScaleLanes<31>(_mm_and_si128(_mm_srli_epi16(v, 5), five));
    const __m128i red = k565 ? ScaleLanes<31>(_mm_srli_epi16(v, 11))
                             : ScaleLanes<31>(_mm_and_si128(_mm_srli_epi16(v, 10), five));
    const __m128i blueGreen = _mm_or_si128(blue, _mm_slli_epi16(green, 8));
    const __m128i low = Pack12(_mm_unpacklo_epi16(blueGreen, red));
    const __m128i high = Pack12(_mm_unpackhi_epi16(blueGreen, red));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(low, _mm_slli_si128(high, 12)));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm_srli_si128(high, 4));
}
#endif

// Whole blocks where SSE2 is there, then the pixels left one by one: every
// pixel of the row without SSE2.
template <bool k565>
void ExpandRow(const std::uint8_t* in, std::uint8_t* out, std::int32_t width) {
    std::int32_t single = width;
#ifdef BMP_EXPAND_SSE2
    const std::int32_t blocks = width / kBlockPixels;
    for (std::int32_t i = 0; i < blocks; ++i, in += 2 * kBlockPixels, out += 3 * kBlockPixels)
        ExpandBlock<k565>(in, out);
    single = width % kBlockPixels;
#endif
    for (std::int32_t x = 0; x < single; ++x, in += 2, out += 3)
        ExpandPixel<k565>(bmp::LoadLe16(in), out);
}

}  // namespace

void ExpandRow16(const std::uint8_t* in, std::uint8_t* out, std::int32_t width, bool is565) {
    is565 ? ExpandRow<true>(in, out, width) : ExpandRow<false>(in, out, width);
}
