#pragma once

namespace orix {
class IoProgress;
}

// Keeps a progress display open for as long as it lives: made, it begins the
// display; destroyed, it ends it unless its owner ended it early.
class IoProgressScope {
  public:
    explicit IoProgressScope(orix::IoProgress* progress);
    ~IoProgressScope();
    IoProgressScope(const IoProgressScope&) = delete;
    IoProgressScope& operator=(const IoProgressScope&) = delete;

    bool IsActive() const { return m_progress != nullptr; }
    // Ends the display now, where a host's failure to end it passes on to
    // the caller; the scope does nothing more afterwards, even then.
    void EndEarly();

  private:
    orix::IoProgress* m_progress;
};
