#pragma once
#include <cstdint>
#include <string>

#include "format/BmpFileStatus.h"
#include "format/BmpFormat.h"
#include "tamb/CBufferedFile.h"

// Writes one BMP file: completes an information header, creates the file with
// every header and the colour table, takes the rows in file order and closes
// the file. Never throws; a failure leaves its reason in m_status and deletes
// the file it had created.
class BmpWriter {
  public:
    BmpWriter();
    ~BmpWriter();

    bool SetInfoHeader(const bmp::BITMAPINFOHEADER* header);
    bool SetColorTable(const tagRGBQUAD* table);
    bool Open(const char* path);
    bool WriteScanline(const void* row);
    // Closes the file; deletes it when the last operation failed.
    void Close();
    // Closes as Close does, then deletes the file at `path`, whoever made it:
    // the one way the module removes a target.
    void CloseAndRemove(const char* path);

    BmpFileStatus GetStatus() const { return m_status; }
    std::int32_t GetRowStride() const;

  private:
    bool HasColorTable() const { return m_infoHeader.biBitCount <= 8; }
    bool WriteHeaders();
    // Records the failure, then closes and deletes the file.
    bool Refuse(BmpFileStatus status);
    static void RemoveFile(const char* path);

    BmpFileStatus m_status;
    tamb::CBufferedFile m_file;
    bmp::BITMAPINFOHEADER m_infoHeader;
    tagRGBQUAD m_colorTable[bmp::kMaxColors];
    std::int32_t m_rowsWritten;
    std::string m_path;  // whole, whatever its length; empty when no file is open
};
