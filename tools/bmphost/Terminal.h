#pragma once
// The interactive side of the host: a progress bar on stderr, a yes/no
// question on the terminal, and Ctrl-C turned into a stop request.
#include <string>

#include "standin/Recorder.h"

namespace bmphost {

// From now on the first Ctrl-C only asks the running work to stop (through
// the progress answer); a second one, SIGTERM or SIGHUP end the program
// without leaving a pending file. A write past the file-size limit fails.
void InstallSignalHandlers();
bool InterruptRequested();

enum class OpaqueAnswer { Yes, No, Ask };

// Connects a manager to the terminal: progress events drive the bar (when
// stderr is a terminal) and answer "stop" after Ctrl-C; notices print as
// warnings; questions are answered by `opaque`, asking on the terminal only
// when that is Ask and stdin is a terminal (else no, said on stderr).
void AttachTerminal(standin::RecordingManager& manager, OpaqueAnswer opaque);

// Says on stderr, when it is a terminal, what long work is under way, until
// the next output clears it.
void ShowActivity(const std::string& text);

// Removes a half-drawn bar before other output goes to stderr.
void ClearProgressLine();

}  // namespace bmphost
