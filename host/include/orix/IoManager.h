#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orix {

class TrImage;

// What the manager saw, in order. The stand-in host keeps every call a filter
// makes so that tests and the command-line host can show it, with the
// images handed over and the closing of every file the host's file class had
// open, so that the order of them all shows.
struct ProgressEvent {
    enum Kind { Begin, End, Message, Proportion, FileClosed, ImageHandedOver } kind;
    std::string text;    // Message: the formatted text; FileClosed: the file's name
    double value = 0;    // Proportion: the fraction reported
    bool answer = true;  // Proportion: what the reporter answered
};

struct WarningRecord {
    int style;
    std::string text;
    int answer;
};

struct OptionRecord {
    std::string name;
    bool first;
    bool second;
};

// The host's side of a session with filters. Its first member is the leading
// flag that filters read directly; keep it first.
class IoManager {
  public:
    unsigned char m_leadingFlag = 0;

    // Scripted answers.
    int m_warningAnswer = 0;       // returned by IoFilter::Warning
    bool m_importAnswer = true;    // returned by IoImportFilter::ImportObject
    long m_stopAtProportion = -1;  // the zero-based ProgressProportion call that answers false
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
    std::vector<std::unique_ptr<TrImage>> m_imported;  // copies of what ImportObject was given
    long m_importObjectCalls = 0;
    long m_proportionCalls = 0;
    int m_activeProgress = 0;  // BeginProgress calls not yet ended

    // The newest manager alive on a thread records the file closings of that
    // thread; it hands the task back to the one before it when destroyed.
    IoManager();
    ~IoManager();
    static void RecordFileClosed(const std::string& name);
    IoManager(const IoManager&) = delete;
    IoManager& operator=(const IoManager&) = delete;

    void SetOption(const char* name, bool first, bool second);

    // Clears the records, keeping the scripted answers and hooks.
    void ClearRecords();
    // Proportions reported, in order.
    std::vector<double> Proportions() const;
    // Messages reported, in order.
    std::vector<std::string> Messages() const;

  private:
    IoManager* m_previousRecorder;
};

}  // namespace orix
