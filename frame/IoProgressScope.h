#pragma once

namespace orix {
class IoProgress;
}

// Keeps a progress display open for as long as it lives: made, it begins the
// display; destroyed, it ends it unless its owner ended it early.
class IoProgressScope {
  public:
    explicit IoProgressScope(orix::IoProgress* progress);
    // A host's failure to end the display passes on to the caller.
    ~IoProgressScope() noexcept(false);
    IoProgressScope(const IoProgressScope&) = delete;
    IoProgressScope& operator=(const IoProgressScope&) = delete;

    bool IsActive() const { return m_progress != nullptr; }
    // Ends the display now; the scope does nothing more afterwards, even when
    // the host fails to end it.
    void EndEarly();

  private:
    orix::IoProgress* m_progress;
    int m_failuresPassing;  // exceptions already on their way out when made
};
