#pragma once

namespace orix {

class IoManager;

// A progress display. Filters make it by value, so its layout is part of
// the contract. The first two virtual slots begin and end the display.
class IoProgress {
  public:
    explicit IoProgress(IoManager& manager);
    virtual void BeginProgress(const char* text, bool first, bool second);
    virtual void EndProgress();
    // Fraction done, 0 to 1. False: the user asked to stop.
    virtual bool ProgressProportion(double fraction);
    virtual ~IoProgress();

    // Shows a formatted message; the answer tells whether it was shown.
    bool MessageVA(const char* format, ...);

    IoProgress(const IoProgress&) = delete;
    IoProgress& operator=(const IoProgress&) = delete;

  private:
    IoManager& m_manager;
};

}  // namespace orix
