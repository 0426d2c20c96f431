#pragma once
// The stand-in host's manager: the framework's orix::IoManager as a host
// makes it, passing on every call of the filters to the host's
// standin::Application (standin/Application.h). It keeps no records: one
// manager serves any number of imports and exports with flat memory.
#include "orix/IoManager.h"
#include "standin/Application.h"

namespace standin {

class Manager : public orix::IoManager {
  public:
    // The application must outlive the manager; the manager must outlive
    // every filter made with it.
    explicit Manager(Application& application);
    // With an application that answers every question 0 (not yes), lets
    // every progress display go on and drops every image: enough for a host
    // that only probes and describes.
    Manager();
    ~Manager();
    Manager(const Manager&) = delete;
    Manager& operator=(const Manager&) = delete;

    Application& GetApplication() const { return m_application; }

    // The stand-in serves only the managers alive that it made (this class
    // and classes derived from it). For any other, the first call that needs
    // the manager throws std::logic_error: kDestroyedManager for one of the
    // last managers destroyed, kForeignManager otherwise. Ending a progress
    // display, which filters do in their destructors, throws neither: it
    // reports the misuse once on stderr and does nothing.
    static Manager& Of(orix::IoManager& manager);

  private:
    Application& m_application;
};

inline constexpr char kForeignManager[] =
    "the stand-in host was given an orix::IoManager it did not make: a host's manager must be a "
    "standin::Manager or derive from it";
inline constexpr char kDestroyedManager[] =
    "a filter used its standin::Manager after the manager was destroyed: a manager must outlive "
    "every filter made with it";

}  // namespace standin
