#include "BmpBytes.h"

#include <algorithm>
#include <stdexcept>

namespace bmpbytes {

namespace {

void U16(Bytes& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void U32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

Bytes InfoHeader(const BmpFields& f) {
    Bytes info;
    if (f.headerSize == 12) {
        U32(info, 12);
        U16(info, static_cast<std::uint16_t>(f.width));
        U16(info, static_cast<std::uint16_t>(f.height));
        U16(info, f.planes);
        U16(info, f.bitCount);
        return info;
    }
    U32(info, f.headerSize);
    U32(info, static_cast<std::uint32_t>(f.width));
    U32(info, static_cast<std::uint32_t>(f.height));
    U16(info, f.planes);
    U16(info, f.bitCount);
    U32(info, f.compression);
    U32(info, f.sizeImage);
    U32(info, static_cast<std::uint32_t>(f.xPelsPerMeter));
    U32(info, static_cast<std::uint32_t>(f.yPelsPerMeter));
    U32(info, f.clrUsed);
    U32(info, f.clrImportant);
    if (f.headerSize > 40) {
        for (std::uint32_t mask : f.headerMasks) U32(info, mask);
        info.resize(f.headerSize, 0);
    }
    return info;
}

}  // namespace

Bytes BuildBmp(const BmpFields& f) {
    Bytes tables = InfoHeader(f);
    for (std::uint32_t mask : f.masks) U32(tables, mask);
    for (const tagRGBQUAD& entry : f.palette) {
        tables.insert(tables.end(), {entry.rgbBlue, entry.rgbGreen, entry.rgbRed});
        if (f.headerSize != 12) tables.push_back(entry.rgbReserved);
    }
    const auto tablesEnd = static_cast<std::uint32_t>(14 + tables.size());
    std::uint32_t gap = f.gap;
    if (f.offBits && *f.offBits > tablesEnd + gap) gap = *f.offBits - tablesEnd;
    const std::uint32_t size = tablesEnd + gap + static_cast<std::uint32_t>(f.pixels.size());

    Bytes file;
    U16(file, f.signature);
    U32(file, size);
    U32(file, 0);  // the two reserved fields
    U32(file, f.offBits.value_or(tablesEnd + gap));
    file.insert(file.end(), tables.begin(), tables.end());
    file.insert(file.end(), gap, 0xEE);
    file.insert(file.end(), f.pixels.begin(), f.pixels.end());
    return file;
}

std::size_t StrideFor(std::int32_t width, int bitCount) {
    const std::size_t bits = static_cast<std::size_t>(width) * static_cast<std::size_t>(bitCount);
    return (bits + 31) / 32 * 4;
}

Bytes PackRow(const Bytes& values, int bitCount) {
    if (bitCount >= 8) return values;
    const int perByte = 8 / bitCount;
    Bytes row((values.size() + perByte - 1) / perByte, 0);
    for (std::size_t x = 0; x < values.size(); ++x) {
        const int shift = 8 - bitCount * (static_cast<int>(x % perByte) + 1);
        row[x / perByte] |= static_cast<std::uint8_t>(values[x] << shift);
    }
    return row;
}

Bytes PadRows(const std::vector<Bytes>& rows, std::size_t stride) {
    Bytes out;
    for (const Bytes& row : rows) {
        if (row.size() > stride) throw std::invalid_argument("row longer than stride");
        out.insert(out.end(), row.begin(), row.end());
        out.insert(out.end(), stride - row.size(), 0);
    }
    return out;
}

namespace {

// Codes of one row of a run-length stream.
class RunLengthRow {
  public:
    RunLengthRow(Bytes& out, const Bytes& v, bool four) : m_out(out), m_v(v), m_four(four) {}

    // Appends the codes of the row from column 0; with skipZeros, zeros are
    // passed over by deltas and a zero tail by the end of line.
    void Encode(bool skipZeros) {
        std::size_t x = 0;
        while (x < m_v.size()) {
            if (skipZeros && OnlyZerosFrom(x)) break;
            const std::size_t run = Repeat(x, 1);
            if (skipZeros && m_v[x] == 0 && run >= 4) {
                m_out.insert(m_out.end(), {0, 2, static_cast<std::uint8_t>(run), 0});
                x += run;
            } else if (m_four && x + 1 < m_v.size() && Repeat(x, 2) >= 4) {
                x += Run(x, Repeat(x, 2));  // two alternating values
            } else if (run >= 3 || Literal(x) < 3) {
                x += Run(x, run);
            } else {
                x += Absolute(x, Literal(x));
            }
        }
        m_out.insert(m_out.end(), {0, 0});
    }

    bool OnlyZerosFrom(std::size_t x) const {
        return std::all_of(m_v.begin() + static_cast<std::ptrdiff_t>(x), m_v.end(),
                           [](std::uint8_t p) { return p == 0; });
    }

  private:
    // Pixels from x on that repeat the pixel `period` places before them.
    std::size_t Repeat(std::size_t x, std::size_t period) const {
        std::size_t n = period;
        while (x + n < m_v.size() && n < 255 && m_v[x + n] == m_v[x + n - period]) ++n;
        return std::min(n, m_v.size() - x);
    }

    // Pixels from x on before a stretch of three equal ones.
    std::size_t Literal(std::size_t x) const {
        std::size_t n = 0;
        while (x + n < m_v.size() && n < 255 && Repeat(x + n, 1) < 3) ++n;
        return n;
    }

    std::size_t Run(std::size_t x, std::size_t n) {
        const std::uint8_t second = n > 1 ? m_v[x + 1] : m_v[x];
        m_out.push_back(static_cast<std::uint8_t>(n));
        m_out.push_back(m_four ? static_cast<std::uint8_t>(m_v[x] << 4 | second) : m_v[x]);
        return n;
    }

    std::size_t Absolute(std::size_t x, std::size_t n) {
        m_out.insert(m_out.end(), {0, static_cast<std::uint8_t>(n)});
        std::size_t bytes = 0;
        for (std::size_t k = 0; k < n; k += m_four ? 2 : 1, ++bytes) {
            const std::uint8_t low = m_four && k + 1 < n ? m_v[x + k + 1] : 0;
            m_out.push_back(m_four ? static_cast<std::uint8_t>(m_v[x + k] << 4 | low) : m_v[x + k]);
        }
        if (bytes % 2 == 1) m_out.push_back(0);
        return n;
    }

    Bytes& m_out;
    const Bytes& m_v;
    bool m_four;
};

}  // namespace

Bytes EncodeRunLength(const std::vector<Bytes>& rows, int bitCount, bool skipZeros) {
    Bytes out;
    const bool four = bitCount == 4;
    for (std::size_t y = 0; y < rows.size(); ++y) {
        const auto rest = rows.begin() + static_cast<std::ptrdiff_t>(y);
        if (skipZeros && std::all_of(rest, rows.end(), [&](const Bytes& r) {
                return RunLengthRow(out, r, four).OnlyZerosFrom(0);
            }))
            break;
        RunLengthRow(out, rows[y], four).Encode(skipZeros);
    }
    out.insert(out.end(), {0, 1});
    return out;
}

}  // namespace bmpbytes
