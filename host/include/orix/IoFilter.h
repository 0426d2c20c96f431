#pragma once
#include <string>
#include <vector>

#include "orix/Status.h"
#include "tamb/CTypeInfo.h"
#include "tamb/IError.h"

namespace orix {

class IoManager;
class IoPropertyPage;

// The common base of the host's filters. Slots 0..5 of every filter's
// virtual table are declared here.
class IoFilter {
  public:
    explicit IoFilter(IoManager& manager);
    virtual ~IoFilter();
    virtual void GetPropertyPages(std::vector<IoPropertyPage*>& pages, const char* context);
    virtual void ResetOptions(int value) = 0;
    virtual std::string GetDefaultOptions() = 0;
    virtual bool CanHandleType(const tamb::CTypeInfo* type) = 0;
    virtual bool GetStringOption(const char* text1, const char* text2, std::string& value) = 0;

    IoFilter(const IoFilter&) = delete;
    IoFilter& operator=(const IoFilter&) = delete;

    // Raise the framework's error; never return. The code form takes the
    // code's message arguments (texts, as listed with each code); the text
    // form takes a printf format and its arguments.
    [[noreturn]] void ThrowError(const char* sourceFile, int line, ErrCode code, ...) const;
    [[noreturn]] void ThrowError(const char* sourceFile, int line, const char* format, ...) const;

    // Show a warning or ask a question; the answer is the user's.
    int Warning(tamb::IError::WarnStyle style, const char* format, ...) const;

    IoManager& GetManager() const { return m_manager; }

  private:
    IoManager& m_manager;
};

}  // namespace orix
