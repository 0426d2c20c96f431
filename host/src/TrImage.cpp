#include "orix/TrImage.h"

#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

#include "Observers.h"
#include "orix/TrInitGraphicsExp.h"
#include "standin/Image.h"

namespace tamb {
// The stand-in's identities: a name, for people.
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

namespace orix {

namespace {
const tamb::CTypeInfo kImageType("orix::TrImage");
const tamb::CTypeInfo kInitGraphicsType("orix::TrInitGraphicsExp");
std::uint64_t g_pixelLimit = std::uint64_t(1) << 28;
// Rows are stored in blocks of about this many bytes.
constexpr int kBlockBytes = 1 << 20;

void Observe(standin::ImageCall::Kind kind, TrImage::RowAccessOrder order = TrImage::RowsTopDown,
             unsigned int flags = 0, bool tableNull = true) {
    if (standin::CallObserver* observer = hostimpl::Observer())
        observer->ImageCalled({kind, order, flags, tableNull});
}
}  // namespace

TrBase::~TrBase() = default;

const tamb::CTypeInfo* TrInitGraphicsExp::GetClassTypeId() { return &kInitGraphicsType; }
const tamb::CTypeInfo* TrInitGraphicsExp::GetTypeId() const { return GetClassTypeId(); }

TrImage::TrImage() = default;
TrImage::~TrImage() = default;
TrImage::TrImage(const TrImage&) = default;
TrImage& TrImage::operator=(const TrImage&) = default;
TrImage::TrImage(TrImage&& other) noexcept { Swap(other); }

TrImage& TrImage::operator=(TrImage&& other) noexcept {
    TrImage taken(std::move(other));
    Swap(taken);
    return *this;
}

void TrImage::Swap(TrImage& other) noexcept {
    std::swap(m_width, other.m_width);
    std::swap(m_height, other.m_height);
    std::swap(m_xPelsPerMeter, other.m_xPelsPerMeter);
    std::swap(m_yPelsPerMeter, other.m_yPelsPerMeter);
    std::swap(m_colorsUsed, other.m_colorsUsed);
    std::swap(m_format, other.m_format);
    std::swap(m_colorTable, other.m_colorTable);
    std::swap(m_rowBytes, other.m_rowBytes);
    std::swap(m_rowsPerBlock, other.m_rowsPerBlock);
    m_blocks.swap(other.m_blocks);
}

const tamb::CTypeInfo* TrImage::GetClassTypeId() { return &kImageType; }
const tamb::CTypeInfo* TrImage::GetTypeId() const { return GetClassTypeId(); }

void TrImage::SetScanlineStart(int width, int rows, tamb::ColorFormat format, int xPelsPerMeter,
                               int yPelsPerMeter, const tagRGBQUAD* colorTable,
                               RowAccessOrder order, unsigned int flags) {
    Observe(standin::ImageCall::SetStart, order, flags);
    if (width < 0 || rows < 0) throw std::invalid_argument("TrImage: negative size");
    const int rowBytes = standin::Image::RowBytesFor(width, format);
    if (rowBytes < 0 ||
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(rows) > g_pixelLimit)
        throw std::bad_alloc();
    m_width = width;
    m_height = rows;
    m_format = format;
    m_xPelsPerMeter = xPelsPerMeter;
    m_yPelsPerMeter = yPelsPerMeter;
    if (colorTable != nullptr)
        std::memcpy(m_colorTable, colorTable, sizeof m_colorTable);
    else
        std::memset(m_colorTable, 0, sizeof m_colorTable);
    const int bits = standin::BitsPerPixel(format);
    m_colorsUsed = (format >= tamb::ColorIndexed1 && format <= tamb::ColorIndexed8) ? 1 << bits : 0;
    m_rowBytes = rowBytes;
    m_rowsPerBlock = rowBytes > 0 && rowBytes < kBlockBytes ? kBlockBytes / rowBytes : 1;
    m_blocks.clear();
    m_blocks.resize(rows == 0 ? 0 : static_cast<std::size_t>((rows - 1) / m_rowsPerBlock) + 1);
}

unsigned char* TrImage::RowForWriting(int index) {
    if (index < 0 || index >= m_height) throw std::out_of_range("TrImage: row index");
    auto& block = m_blocks[static_cast<std::size_t>(index / m_rowsPerBlock)];
    if (block.empty()) {
        const int first = index / m_rowsPerBlock * m_rowsPerBlock;
        const int count = m_height - first < m_rowsPerBlock ? m_height - first : m_rowsPerBlock;
        block.assign(static_cast<std::size_t>(count) * static_cast<std::size_t>(m_rowBytes), 0);
    }
    return block.data() +
           static_cast<std::size_t>(index % m_rowsPerBlock) * static_cast<std::size_t>(m_rowBytes);
}

const unsigned char* TrImage::StoredRow(int index) const {
    if (index < 0 || index >= m_height) return nullptr;
    const auto& block = m_blocks[static_cast<std::size_t>(index / m_rowsPerBlock)];
    if (block.empty()) return nullptr;
    return block.data() +
           static_cast<std::size_t>(index % m_rowsPerBlock) * static_cast<std::size_t>(m_rowBytes);
}

void TrImage::SetScanline(const void* row, int index) {
    unsigned char* target = RowForWriting(index);
    if (m_rowBytes > 0) std::memcpy(target, row, static_cast<std::size_t>(m_rowBytes));
}

void TrImage::SetScanlineEnd(const tagRGBQUAD* colorTable, unsigned int flags) {
    Observe(standin::ImageCall::SetEnd, RowsTopDown, flags, colorTable == nullptr);
    if (colorTable != nullptr) std::memcpy(m_colorTable, colorTable, sizeof m_colorTable);
}

void TrImage::GetColorTable(tagRGBQUAD* destination, int first, int count) const {
    if (destination == nullptr || first < 0 || count < 0 || first > 256 || count > 256 - first)
        throw std::out_of_range("TrImage: colour table range");
    std::memcpy(destination, m_colorTable + first, static_cast<std::size_t>(count) * 4);
}

void TrImage::GetScanlineStart() { Observe(standin::ImageCall::GetStart); }

void TrImage::GetScanlineEnd() { Observe(standin::ImageCall::GetEnd); }

void TrImage::GetScanline(void* destination, int index) {
    if (index < 0 || index >= m_height) throw std::out_of_range("TrImage: row index");
    const unsigned char* row = StoredRow(index);
    if (row != nullptr)
        std::memcpy(destination, row, static_cast<std::size_t>(m_rowBytes));
    else
        std::memset(destination, 0, static_cast<std::size_t>(m_rowBytes));
}

}  // namespace orix

namespace standin {

void Image::SetPixelLimit(std::uint64_t pixels) { orix::g_pixelLimit = pixels; }
std::uint64_t Image::GetPixelLimit() { return orix::g_pixelLimit; }

int Image::RowBytesFor(int width, tamb::ColorFormat format) {
    if (width < 0) return -1;
    const std::uint64_t bits =
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(BitsPerPixel(format));
    const std::uint64_t bytes = (bits + 31) / 32 * 4;
    if (bytes > 0x7FFFFFFFu) return -1;
    return static_cast<int>(bytes);
}

}  // namespace standin
