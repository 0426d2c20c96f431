#include "import/BmpReader.h"

#include <cstring>

BmpReader::BmpReader()
    : m_status(BmpFileStatus::Ok),
      m_infoHeader{},
      m_colorTable{},
      m_rowsRead(0),
      m_bitFieldMasks{},
      m_pixelDataPos(0) {}

BmpReader::~BmpReader() { Close(); }

void BmpReader::Close() {
    if (m_file.IsOpen()) m_file.Close();
}

// Not built yet: refuse rather than pretend.
bool BmpReader::OpenAndReadHeaders(const char*) {
    m_status = BmpFileStatus::Unsupported;
    return false;
}
bool BmpReader::ProbeFile(const char*) { return false; }
bool BmpReader::ReadScanline(void*) {
    m_status = BmpFileStatus::WrongState;
    return false;
}
void BmpReader::RewindToPixelData() {}
