#pragma once
#include <exception>
#include <string>
#include <vector>

#include "orix/Status.h"

namespace orix {

// The one exception type the framework raises for a filter's error.
class IoException : public std::exception {
  public:
    std::string source;             // the raising filter's source file name
    int line = 0;                   // its source line
    bool hasCode = false;           // false: raised with a finished message
    ErrCode code = ErrUnexpected;   // meaningful when hasCode
    std::vector<std::string> args;  // the code's message arguments
    std::string message;            // the text shown to the user

    const char* what() const noexcept override { return message.c_str(); }
};

}  // namespace orix
