#pragma once
// The host's side of the stand-in framework. A host program implements
// standin::Application and hands it to its standin::Manager; the framework
// calls it for everything the filters made with that manager ask of the
// host, on the filter's thread, and keeps nothing itself.
//
// Calls during one slot, in order: ProgressBegin, then any ProgressMessage
// and ProgressProportion, then ProgressEnd; Warning at any time in between;
// ImageImported once an import has its image, before ProgressEnd. A failure
// an override throws passes through the filter's slot to the host.
#include <memory>
#include <string>

#include "orix/TrImage.h"
#include "standin/Image.h"
#include "tamb/CBufferedFile.h"
#include "tamb/IError.h"

namespace standin {

class Application {
  public:
    virtual ~Application() = default;

    // A progress display begins (text: as the filter passed it, often "").
    virtual void ProgressBegin(const std::string& text);
    // A message for the display, formatted ("Importing BMP file NAME").
    virtual void ProgressMessage(const std::string& text);
    // Fraction done, 0 to 1. Answer false to stop the work.
    virtual bool ProgressProportion(double fraction);
    virtual void ProgressEnd();

    // A notice (tamb::IError::WarnNotice; the answer is ignored) or a
    // question (WarnQuestion; answer tamb::IError::AnswerYes for yes). text is
    // formatted; format is what the filter passed, as it passed it.
    virtual int Warning(tamb::IError::WarnStyle style, const std::string& text,
                        const std::string& format);

    // The image an import hands over, now the host's: keep it or let it go.
    // Null when the object handed over is not an image. The answer is
    // ImportObject's: true, the image was taken.
    virtual bool ImageImported(std::unique_ptr<Image> image);

    // An option a filter registers (the export filter's five formats).
    virtual void OptionRegistered(const std::string& name, bool first, bool second);
};

// What a filter asked of an orix::TrImage, for a CallObserver.
struct ImageCall {
    enum Kind { SetStart, SetEnd, GetStart, GetEnd } kind;
    orix::TrImage::RowAccessOrder order = orix::TrImage::RowsTopDown;  // SetStart
    unsigned int flags = 0;                                            // SetStart, SetEnd
    bool tableNull = true;                                             // SetEnd: no table passed
};

// Calls that reach no manager: files closed and seeks made by
// tamb::CBufferedFile, and the image calls. For tests and call logs: an
// observer sees the calls made on the thread that installed it. While none
// is installed anywhere, the file and image classes test one counter and go
// on.
class CallObserver {
  public:
    virtual ~CallObserver() = default;
    virtual void FileClosed(const std::string& name);
    virtual void FileSeek(long long offset, tamb::CBufferedFile::Origin origin);
    virtual void ImageCalled(const ImageCall& call);
};

// The newest observer installed on a thread sees that thread's calls. An
// observer may be removed in any order and from any thread; remove it before
// it is destroyed.
void InstallObserver(CallObserver& observer);
void RemoveObserver(CallObserver& observer);

}  // namespace standin
