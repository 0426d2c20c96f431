#pragma once
// A test aid built on the stand-in's application interface: scripted answers
// and a record of everything the filters asked of the host, for the tests,
// the fuzz checks and tools that want a log. Not part of the framework a
// host links: its records grow with every call until ClearRecords().
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "standin/Application.h"
#include "standin/Manager.h"

namespace standin {

// One log of the progress calls, the files closed and the images handed
// over, in the order they happened.
struct ProgressEvent {
    enum Kind { Begin, End, Message, Proportion, FileClosed, ImageHandedOver } kind;
    std::string text;    // Message: the formatted text; FileClosed: the file's name
    double value = 0;    // Proportion: the fraction reported
    bool answer = true;  // Proportion: what the recorder answered
};

struct WarningRecord {
    int style;
    std::string text;  // the formatted text
    int answer;
    std::string format;  // the format the filter passed, as it passed it
};

struct SeekRecord {
    long long offset;
    tamb::CBufferedFile::Origin origin;
};

struct OptionRecord {
    std::string name;
    bool first;
    bool second;
};

// The image calls made on the recorder's thread.
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

// The application of the managers it serves, and, from its construction to
// its destruction, the observer of the calls of the thread that made it.
class Recorder : public Application, public CallObserver {
  public:
    Recorder();
    ~Recorder() override;
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Scripted answers.
    int m_warningAnswer = 0;     // returned by Warning
    bool m_importAnswer = true;  // returned by ImageImported
    // The ProgressProportion call that answers false, counted from 0 in
    // m_proportionCalls (since construction or the last ClearRecords).
    long m_stopAtProportion = -1;
    bool m_keepImportedImages = true;
    // Optional hooks: the progress hook sees every event of m_progress as it
    // is recorded (false from it stops at a proportion); the warning hook,
    // when set, answers instead of m_warningAnswer.
    std::function<bool(const ProgressEvent&)> m_progressHook;
    std::function<int(int style, const std::string& text)> m_warningHook;

    // Records.
    std::vector<OptionRecord> m_options;
    std::vector<ProgressEvent> m_progress;
    std::vector<WarningRecord> m_warnings;
    std::vector<SeekRecord> m_seeks;
    std::vector<std::unique_ptr<Image>> m_imported;  // the images handed over, if kept
    long m_importObjectCalls = 0;
    long m_proportionCalls = 0;
    int m_activeProgress = 0;  // displays begun and not yet ended
    ImageCalls m_imageCalls;

    // Empties the records and sets their counters back to 0; keeps the
    // scripted answers and the hooks.
    void ClearRecords();
    std::vector<double> Proportions() const;
    std::vector<std::string> Messages() const;

    void ProgressBegin(const std::string& text) override;
    void ProgressMessage(const std::string& text) override;
    bool ProgressProportion(double fraction) override;
    void ProgressEnd() override;
    int Warning(tamb::IError::WarnStyle style, const std::string& text,
                const std::string& format) override;
    bool ImageImported(std::unique_ptr<Image> image) override;
    void OptionRegistered(const std::string& name, bool first, bool second) override;
    void FileClosed(const std::string& name) override;
    void FileSeek(long long offset, tamb::CBufferedFile::Origin origin) override;
    void ImageCalled(const ImageCall& call) override;

  private:
    bool Record(const ProgressEvent& event);
};

// A manager whose application is its own recorder: what tests drive filters
// with.
class RecordingManager : public Recorder, public Manager {
  public:
    RecordingManager() : Manager(static_cast<Application&>(*this)) {}
};

}  // namespace standin
