#include "ImportTestSupport.h"

#include "orix/IoException.h"

namespace importtest {

Bytes ImageRow(const orix::TrImage& image, int index) {
    const unsigned char* row = image.Row(index);
    if (row == nullptr) return Bytes();
    return Bytes(row, row + image.GetRowBytes());
}

orix::ImportStatus ImportTest::Import(const std::string& path, bool promptAllowed) {
    try {
        return filter.ImportFile(path.c_str(), promptAllowed);
    } catch (const orix::IoException& e) {
        ADD_FAILURE() << "import raised line " << e.line << ": " << e.message;
        return static_cast<orix::ImportStatus>(-1);
    }
}

RaisedError ImportTest::ImportError(const std::string& path, bool promptAllowed) {
    RaisedError out;
    try {
        filter.ImportFile(path.c_str(), promptAllowed);
    } catch (const orix::IoException& e) {
        out.raised = true;
        out.source = e.source;
        out.line = e.line;
        out.hasCode = e.hasCode;
        out.code = e.code;
        out.args = e.args;
    }
    return out;
}

int ImportTest::Events(orix::ProgressEvent::Kind kind) const {
    int count = 0;
    for (const auto& event : manager.m_progress) count += event.kind == kind;
    return count;
}

}  // namespace importtest
