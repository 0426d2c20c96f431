#include "export/BmpWriter.h"

BmpWriter::BmpWriter()
    : m_status(BmpFileStatus::Ok), m_infoHeader{}, m_colorTable{}, m_rowsWritten(0) {}

BmpWriter::~BmpWriter() { Close(); }

std::int32_t BmpWriter::GetRowStride() const {
    return m_infoHeader.biSize == 0 ? 0 : ComputeRowStride(&m_infoHeader);
}

// Not built yet: refuse rather than pretend.
bool BmpWriter::SetInfoHeader(const BITMAPINFOHEADER*) {
    m_status = BmpFileStatus::Unsupported;
    return false;
}
bool BmpWriter::SetColorTable(const tagRGBQUAD*) {
    m_status = BmpFileStatus::WrongState;
    return false;
}
bool BmpWriter::Open(const char*) {
    m_status = BmpFileStatus::WrongState;
    return false;
}
bool BmpWriter::WriteScanline(const void*) {
    m_status = BmpFileStatus::WrongState;
    return false;
}
void BmpWriter::Close() {
    if (m_file.IsOpen()) m_file.Close();
}
