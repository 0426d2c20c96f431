#include "standin/Recorder.h"

namespace standin {

Recorder::Recorder() { InstallObserver(*this); }
Recorder::~Recorder() { RemoveObserver(*this); }

bool Recorder::Record(const ProgressEvent& event) {
    m_progress.push_back(event);
    return m_progressHook ? m_progressHook(event) : true;
}

void Recorder::ProgressBegin(const std::string& text) {
    ++m_activeProgress;
    Record({ProgressEvent::Begin, text});
}

void Recorder::ProgressMessage(const std::string& text) { Record({ProgressEvent::Message, text}); }

bool Recorder::ProgressProportion(double fraction) {
    const long call = m_proportionCalls++;
    ProgressEvent event{ProgressEvent::Proportion, "", fraction, true};
    if (m_progressHook && !m_progressHook(event)) event.answer = false;
    if (call == m_stopAtProportion) event.answer = false;
    m_progress.push_back(event);
    return event.answer;
}

void Recorder::ProgressEnd() {
    --m_activeProgress;
    Record({ProgressEvent::End, ""});
}

int Recorder::Warning(tamb::IError::WarnStyle style, const std::string& text,
                      const std::string& format) {
    const int answer = m_warningHook ? m_warningHook(style, text) : m_warningAnswer;
    m_warnings.push_back({style, text, answer, format});
    return answer;
}

bool Recorder::ImageImported(std::unique_ptr<Image> image) {
    ++m_importObjectCalls;
    Record({ProgressEvent::ImageHandedOver, ""});
    if (m_keepImportedImages && image) m_imported.push_back(std::move(image));
    return m_importAnswer;
}

void Recorder::OptionRegistered(const std::string& name, bool first, bool second) {
    m_options.push_back({name, first, second});
}

void Recorder::FileClosed(const std::string& name) { Record({ProgressEvent::FileClosed, name}); }

void Recorder::FileSeek(long long offset, tamb::CBufferedFile::Origin origin) {
    m_seeks.push_back({offset, origin});
}

void Recorder::ImageCalled(const ImageCall& call) {
    switch (call.kind) {
        case ImageCall::SetStart:
            ++m_imageCalls.scanlineStart;
            m_imageCalls.lastOrder = call.order;
            m_imageCalls.lastStartFlags = call.flags;
            break;
        case ImageCall::SetEnd:
            ++m_imageCalls.scanlineEnd;
            m_imageCalls.lastEndTableNull = call.tableNull;
            m_imageCalls.lastEndFlags = call.flags;
            break;
        case ImageCall::GetStart:
            ++m_imageCalls.getScanlineStart;
            break;
        case ImageCall::GetEnd:
            ++m_imageCalls.getScanlineEnd;
            break;
    }
}

void Recorder::ClearRecords() {
    m_options.clear();
    m_progress.clear();
    m_warnings.clear();
    m_seeks.clear();
    m_imported.clear();
    m_importObjectCalls = 0;
    m_proportionCalls = 0;
    m_activeProgress = 0;
    m_imageCalls = ImageCalls();
}

std::vector<double> Recorder::Proportions() const {
    std::vector<double> out;
    for (const auto& event : m_progress)
        if (event.kind == ProgressEvent::Proportion) out.push_back(event.value);
    return out;
}

std::vector<std::string> Recorder::Messages() const {
    std::vector<std::string> out;
    for (const auto& event : m_progress)
        if (event.kind == ProgressEvent::Message) out.push_back(event.text);
    return out;
}

}  // namespace standin
