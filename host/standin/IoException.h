#pragma once
// The stand-in host's errors: what ThrowError raises, and what each code
// carries.
#include <exception>
#include <string>
#include <vector>

#include "orix/Status.h"

namespace standin {

// The one exception type the stand-in raises for a filter's error.
class IoException : public std::exception {
  public:
    std::string source;                        // the raising filter's source file name
    int line = 0;                              // its source line
    bool hasCode = false;                      // false: raised with a finished message
    orix::ErrCode code = orix::ErrUnexpected;  // meaningful when hasCode
    std::vector<std::string> args;             // the code's message arguments
    std::string message;                       // the text shown to the user
    std::string format;                        // !hasCode: the filter's format; else empty

    const char* what() const noexcept override { return message.c_str(); }
};

// Number of message arguments (all texts) that follow a code; 0 for unknown
// codes.
int ErrCodeArgumentCount(orix::ErrCode code);

}  // namespace standin
