#pragma once
// Runs a program as a user would, and keeps what it printed.
#include <string>
#include <vector>

namespace tooltest {

struct RunResult {
    int status = -1;  // exit status, or 128 + signal
    std::string out;
    std::string err;
};

// Runs `argv` (argv[0] is the program path) with `input` on stdin; stops it
// after `timeoutSeconds`.
RunResult Run(const std::vector<std::string>& argv, const std::string& input = std::string(),
              int timeoutSeconds = 120);

// bmphost with the given arguments, loading the module this build made.
RunResult Bmphost(const std::vector<std::string>& args, const std::string& input = std::string());

// The first python3 that can import PIL, or "" when there is none.
const std::string& PillowPython();

}  // namespace tooltest
