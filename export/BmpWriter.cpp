#include "export/BmpWriter.h"

#include <cstring>
#include <limits>

#include "frame/HostInterfaces.h"

namespace {

// Every file header fits a 32-bit size field; bigger images cannot be stored.
constexpr std::uint64_t kMaxFileBytes = std::numeric_limits<std::uint32_t>::max();

bool IsStoredBitCount(std::uint16_t bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

}  // namespace

BmpWriter::BmpWriter()
    : m_status(BmpFileStatus::Ok), m_infoHeader{}, m_colorTable{}, m_rowsWritten(0) {}

BmpWriter::~BmpWriter() { Close(); }

std::int32_t BmpWriter::GetRowStride() const {
    return m_infoHeader.biSize == 0 ? 0 : bmp::ComputeRowStride(&m_infoHeader);
}

bool BmpWriter::SetInfoHeader(const bmp::BITMAPINFOHEADER* header) {
    if (header == nullptr || header->biSize != bmp::kInfoHeaderSize || header->biWidth < 1 ||
        header->biHeight == 0) {
        m_status = BmpFileStatus::InvalidHeader;
        return false;
    }
    if (!IsStoredBitCount(header->biBitCount)) {
        m_status = BmpFileStatus::Unsupported;
        return false;
    }
    // A row too long for the stride rule, or pixel data beyond what the
    // 32-bit size fields can describe, has no honest file: refuse it before
    // anything is stored.
    const std::int32_t stride = bmp::ComputeRowStride(header);
    const std::uint64_t imageBytes =
        static_cast<std::uint64_t>(stride) * static_cast<std::uint64_t>(bmp::RowCount(*header));
    const std::uint64_t headerBytes = bmp::kFileHeaderSize + bmp::kInfoHeaderSize +
                                      bmp::kMaskBytes + 4u * static_cast<unsigned>(bmp::kMaxColors);
    if (stride <= 0 || imageBytes > kMaxFileBytes - headerBytes) {
        m_status = BmpFileStatus::InvalidHeader;
        return false;
    }

    m_infoHeader = *header;  // biSize is 40: any other size was refused above
    m_infoHeader.biPlanes = 1;
    if (m_infoHeader.biCompression != bmp::BI_RGB &&
        !(m_infoHeader.biCompression == bmp::BI_BITFIELDS && m_infoHeader.biBitCount == 16))
        m_infoHeader.biCompression = bmp::BI_RGB;
    m_infoHeader.biSizeImage = static_cast<std::uint32_t>(imageBytes);
    if (m_infoHeader.biBitCount <= 8 && m_infoHeader.biClrUsed == 0) {
        m_infoHeader.biClrUsed = 1u << m_infoHeader.biBitCount;
        if (m_infoHeader.biClrImportant == 0) m_infoHeader.biClrImportant = m_infoHeader.biClrUsed;
    }
    return true;
}

bool BmpWriter::SetColorTable(const tagRGBQUAD* table) {
    if (m_infoHeader.biSize != bmp::kInfoHeaderSize || m_infoHeader.biClrUsed == 0 ||
        m_infoHeader.biClrUsed > static_cast<std::uint32_t>(bmp::kMaxColors) || table == nullptr) {
        m_status = BmpFileStatus::WrongState;
        return false;
    }
    std::memcpy(m_colorTable, table, 4u * m_infoHeader.biClrUsed);
    return true;
}

bool BmpWriter::Open(const char* path) {
    if (m_file.IsOpen()) return Refuse(BmpFileStatus::WrongState);
    m_status = BmpFileStatus::Ok;
    m_rowsWritten = 0;
    // A caller's colour count beyond the table that is held cannot be written.
    if (m_infoHeader.biSize != bmp::kInfoHeaderSize ||
        (HasColorTable() && m_infoHeader.biClrUsed > static_cast<std::uint32_t>(bmp::kMaxColors))) {
        m_status = BmpFileStatus::WrongState;
        return false;
    }
    if (!m_file.OpenNoThrow(path, "wb", tamb::CBufferedFile::ShareReadWrite, false)) {
        m_status = BmpFileStatus::OpenFailed;
        return false;
    }
    try {
        m_path = path;
    } catch (...) {
        // Without the recorded path Close could not delete the file: do it now.
        m_status = BmpFileStatus::OpenFailed;
        CloseAndRemove(path);
        return false;
    }
    if (!WriteHeaders()) return Refuse(BmpFileStatus::IoError);
    return true;
}

bool BmpWriter::WriteHeaders() {
    const bool hasMasks = m_infoHeader.biCompression == bmp::BI_BITFIELDS;
    const std::uint32_t maskBytes = hasMasks ? bmp::kMaskBytes : 0;
    // Only a table that is written counts towards the offsets.
    const std::uint32_t tableBytes = HasColorTable() ? 4u * m_infoHeader.biClrUsed : 0;
    bmp::BITMAPFILEHEADER fileHeader{};
    fileHeader.bfType = bmp::kSignature;
    fileHeader.bfOffBits = bmp::kFileHeaderSize + bmp::kInfoHeaderSize + maskBytes + tableBytes;
    fileHeader.bfSize = fileHeader.bfOffBits + m_infoHeader.biSizeImage;
    std::uint8_t fileBytes[bmp::kFileHeaderSize];
    bmp::EncodeFileHeader(fileHeader, fileBytes);
    std::uint8_t infoBytes[bmp::kInfoHeaderSize];
    bmp::EncodeInfoHeader(m_infoHeader, infoBytes);
    std::uint8_t masks[bmp::kMaskBytes];
    bmp::StoreLe32(masks, bmp::kMask565Red);
    bmp::StoreLe32(masks + 4, bmp::kMask565Green);
    bmp::StoreLe32(masks + 8, bmp::kMask565Blue);
    try {
        m_file.Write(fileBytes, sizeof fileBytes);
        m_file.Write(infoBytes, sizeof infoBytes);
        if (hasMasks) m_file.Write(masks, sizeof masks);
        if (HasColorTable()) m_file.Write(m_colorTable, tableBytes);
    } catch (...) {
        return false;
    }
    return true;
}

bool BmpWriter::WriteScanline(const void* row) {
    if (!m_file.IsOpen() || m_rowsWritten >= bmp::RowCount(m_infoHeader))
        return Refuse(BmpFileStatus::WrongState);
    try {
        m_file.Write(row, static_cast<unsigned int>(GetRowStride()));
    } catch (...) {
        return Refuse(BmpFileStatus::IoError);
    }
    ++m_rowsWritten;
    return true;
}

bool BmpWriter::Refuse(BmpFileStatus status) {
    m_status = status;
    Close();
    return false;
}

void BmpWriter::Close() {
    if (m_file.IsOpen()) m_file.Close();
    if (m_status != BmpFileStatus::Ok && !m_path.empty()) RemoveFile(m_path.c_str());
    m_path.clear();
}

void BmpWriter::CloseAndRemove(const char* path) {
    Close();  // which removes the writer's own file after a failure, whatever its name
    RemoveFile(path);
}

void BmpWriter::RemoveFile(const char* path) {
    _unlink(path);  // a file already gone, or in use, stays as it is
}
