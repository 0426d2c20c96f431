#pragma once
// The stand-in host's manager: the framework's manager with scripted answers,
// hooks for an interactive host, and records of every call the filters make,
// so that tests and tools can drive filters and show what they did.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "orix/IoManager.h"
#include "orix/TrImage.h"
#include "standin/Image.h"
#include "tamb/CBufferedFile.h"

namespace standin {

// What the manager saw, in order, with the images handed over and the
// closing of every file the host's file class had open, so that the order of
// them all shows.
struct ProgressEvent {
    enum Kind { Begin, End, Message, Proportion, FileClosed, ImageHandedOver } kind;
    std::string text;    // Message: the formatted text; FileClosed: the file's name
    double value = 0;    // Proportion: the fraction reported
    bool answer = true;  // Proportion: what the reporter answered
};

struct WarningRecord {
    int style;
    std::string text;  // the formatted text
    int answer;
    std::string format;  // the format the filter passed, as it passed it
};

// A call to tamb::CBufferedFile::Seek, as the filter made it.
struct SeekRecord {
    long long offset;
    tamb::CBufferedFile::Origin origin;
};

struct OptionRecord {
    std::string name;
    bool first;
    bool second;
};

// What filters asked of images on the manager's thread.
struct ImageCalls {
    int scanlineStart = 0;
    int scanlineEnd = 0;
    int getScanlineStart = 0;
    int getScanlineEnd = 0;
    orix::TrImage::RowAccessOrder lastOrder = orix::TrImage::RowsTopDown;
    unsigned int lastStartFlags = 0;
    bool lastEndTableNull = true;
    unsigned int lastEndFlags = 0;
};

class Manager : public orix::IoManager {
  public:
    // Scripted answers.
    int m_warningAnswer = 0;     // returned by IoFilter::Warning
    bool m_importAnswer = true;  // returned by IoImportFilter::ImportObject
    // The ProgressProportion call that answers false, counted from 0 in
    // m_proportionCalls (since construction or the last ClearRecords).
    long m_stopAtProportion = -1;
    bool m_keepImportedImages = true;

    // Optional hooks for an interactive host. The progress hook sees every
    // event; for proportions, false from it stops the work. The warning hook,
    // when set, gives the answer instead of m_warningAnswer.
    std::function<bool(const ProgressEvent&)> m_progressHook;
    std::function<int(int style, const std::string& text)> m_warningHook;

    // Records.
    std::vector<OptionRecord> m_options;
    std::vector<ProgressEvent> m_progress;
    std::vector<WarningRecord> m_warnings;
    std::vector<SeekRecord> m_seeks;                 // files' seeks on the recording thread (below)
    std::vector<std::unique_ptr<Image>> m_imported;  // copies of what ImportObject was given
    long m_importObjectCalls = 0;
    long m_proportionCalls = 0;
    int m_activeProgress = 0;  // BeginProgress calls not yet ended
    ImageCalls m_imageCalls;

    // The newest manager alive that was made on a thread records the file
    // closings, seeks and image calls of that thread. Managers may be
    // destroyed in any order, and on any thread, so long as no filter still
    // uses them.
    Manager();
    ~Manager();
    static Manager* Current();
    static void RecordFileClosed(const std::string& name);
    static void RecordSeek(long long offset, tamb::CBufferedFile::Origin origin);

    // The stand-in serves only the managers it made (this class and classes
    // derived from it): for any other, the first call that needs the manager
    // throws std::logic_error with kForeignManager.
    static Manager& Of(orix::IoManager& manager);

    // Empties the records (m_options, m_progress, m_warnings, m_seeks, and
    // m_imported, destroying the kept images) and sets their counters back to 0
    // (m_importObjectCalls, m_proportionCalls, so that m_stopAtProportion
    // counts afresh, m_activeProgress, m_imageCalls); keeps the scripted
    // answers, the leading flag and the hooks. For between documents, with
    // no display open.
    void ClearRecords();
    // Proportions reported, in order.
    std::vector<double> Proportions() const;
    // Messages reported, in order.
    std::vector<std::string> Messages() const;
};

inline constexpr char kForeignManager[] =
    "the stand-in host was given an orix::IoManager it did not make: a host's manager must be a "
    "standin::Manager or derive from it";

}  // namespace standin
