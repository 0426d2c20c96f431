#pragma once
// Shared pieces of the import tests: a filter on a recording manager, files
// in a temporary directory, and the error an import raised.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/BmpImportFilter.h"
#include "support/BmpBuilder.h"

namespace importtest {

using testsupport::BmpFields;
using testsupport::Bytes;

struct RaisedError {
    bool raised = false;
    std::string source;
    int line = 0;
    bool hasCode = false;
    int code = 0;
    std::vector<std::string> args;
};

// The bytes of one image row, GetRowBytes() long; empty if never written.
Bytes ImageRow(const orix::TrImage& image, int index);

// Pixel rows packed at a stride, each row given without padding.
inline Bytes Rows(const std::vector<Bytes>& rows, int width, int bitCount) {
    return testsupport::PadRows(rows, testsupport::StrideFor(width, bitCount));
}

class ImportTest : public ::testing::Test {
  protected:
    ImportTest() : filter(manager) {}

    std::string Write(const Bytes& bytes, const std::string& name = "picture.bmp") {
        return dir.Write(name, bytes);
    }
    std::string WriteBmp(const BmpFields& fields, const std::string& name = "picture.bmp") {
        return Write(testsupport::BuildBmp(fields), name);
    }
    // Imports the file; an error raised fails the test.
    orix::ImportStatus Import(const std::string& path, bool promptAllowed = false);
    // Imports the file expecting the framework's error.
    RaisedError ImportError(const std::string& path, bool promptAllowed = false);
    const orix::TrImage& Imported() const { return *manager.m_imported.back(); }
    int Events(orix::ProgressEvent::Kind kind) const;

    testsupport::TempDir dir;
    orix::IoManager manager;
    BmpImportFilter filter;
};

}  // namespace importtest
