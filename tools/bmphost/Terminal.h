#pragma once
// The interactive side of the host and its two output streams: a progress
// bar on stderr, a yes/no question on the terminal, Ctrl-C turned into a stop
// request, and every write to stdout and stderr checked.
#include <string>

namespace bmphost {

// From now on the first Ctrl-C only asks the running work to stop (through
// the progress answer); a second one, SIGTERM or SIGHUP end the program
// without leaving a pending file. A write past the file-size limit, or to a
// reader that went away, fails as a write.
void InstallSignalHandlers();
bool InterruptRequested();

// The progress bar, drawn on stderr when it is a terminal: a new display,
// its label, the fraction done (at most about ten redraws a second, none
// for work done in under a tenth of a second).
void BeginBar();
void LabelBar(const std::string& label);
void ShowBar(double fraction);
// Says on stderr, when it is a terminal, what long work is under way, until
// the next output clears it.
void ShowActivity(const std::string& text);
// Removes a half-drawn bar before other output goes to stderr.
void ClearProgressLine();

// Asks on the terminal; true for an answer that starts with y or Y.
bool AskOnTerminal(const std::string& question);

// Writes all of `text` to standard output and flushes it; throws
// std::runtime_error ("cannot write the standard output: REASON") when the
// system refuses.
void PrintOut(const std::string& text);
// "PREFIX: TEXT" and a line end on stderr, after clearing the bar. A
// failure is kept for the exit status: there is nowhere left to say it.
void PrintErr(const std::string& prefix, const std::string& text);
bool StandardErrorFailed();

}  // namespace bmphost
