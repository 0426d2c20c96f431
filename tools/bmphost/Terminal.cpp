#include "Terminal.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <stdexcept>

#include "Target.h"

namespace bmphost {

namespace {

volatile sig_atomic_t g_interrupted = 0;
bool g_standardErrorFailed = false;

using Clock = std::chrono::steady_clock;

struct BarState {
    bool drawn = false;
    int shownPermille = -1;
    Clock::time_point shownAt;  // or when the work began
    std::string label;
};
BarState g_bar;

// A signal that ends the program first removes the file being written.
void OnEndingSignal(int signal) {
    DiscardPendingFiles();
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// The first Ctrl-C asks the work to stop; the next one ends the program.
void OnInterrupt(int signal) {
    if (g_interrupted != 0) OnEndingSignal(signal);
    g_interrupted = 1;
}

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }

// Progress drawing goes to a terminal a person watches; what it cannot draw
// is lost, not an error.
void Draw(const std::string& text) {
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
}

}  // namespace

void InstallSignalHandlers() {
    ::signal(SIGINT, OnInterrupt);
    ::signal(SIGTERM, OnEndingSignal);
    ::signal(SIGHUP, OnEndingSignal);
    ::signal(SIGXFSZ, SIG_IGN);
    ::signal(SIGPIPE, SIG_IGN);
}

bool InterruptRequested() { return g_interrupted != 0; }

void BeginBar() {
    g_bar.label.clear();
    g_bar.shownPermille = -1;
    g_bar.shownAt = Clock::now();
}

void LabelBar(const std::string& label) { g_bar.label = label; }

void ShowBar(double fraction) {
    BarState& bar = g_bar;
    if (!StderrIsTerminal()) return;
    fraction = fraction < 0 ? 0 : fraction > 1 ? 1 : fraction;
    const int permille = static_cast<int>(fraction * 1000);
    const auto now = Clock::now();
    if (permille == bar.shownPermille || now - bar.shownAt < std::chrono::milliseconds(100)) return;
    bar.shownPermille = permille;
    bar.shownAt = now;
    constexpr int kWidth = 30;
    const auto filled = static_cast<std::size_t>(permille * kWidth / 1000);
    char percent[16];
    std::snprintf(percent, sizeof percent, "%3d%%", permille / 10);
    Draw("\r[" + std::string(filled, '#') + std::string(kWidth - filled, ' ') + "] " + percent +
         " " + bar.label.substr(0, 40) + "\x1b[K");
    bar.drawn = true;
}

void ShowActivity(const std::string& text) {
    if (!StderrIsTerminal()) return;
    Draw("\r" + text + "...\x1b[K");
    g_bar.drawn = true;
}

void ClearProgressLine() {
    if (!g_bar.drawn) return;
    Draw("\r\x1b[K");
    g_bar.drawn = false;
    g_bar.shownPermille = -1;
}

bool AskOnTerminal(const std::string& question) {
    ClearProgressLine();
    Draw(question + "[y/N] ");
    std::string answer;
    return std::getline(std::cin, answer) && !answer.empty() &&
           (answer[0] == 'y' || answer[0] == 'Y');
}

void PrintOut(const std::string& text) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0)
        return;
    const int error = errno != 0 ? errno : EIO;
    std::clearerr(stdout);
    throw std::runtime_error(std::string("cannot write the standard output: ") +
                             std::strerror(error));
}

void PrintErr(const std::string& prefix, const std::string& text) {
    ClearProgressLine();
    const std::string line = prefix + ": " + text + "\n";
    if (std::fwrite(line.data(), 1, line.size(), stderr) != line.size() || std::fflush(stderr) != 0)
        g_standardErrorFailed = true;
}

bool StandardErrorFailed() { return g_standardErrorFailed; }

}  // namespace bmphost
