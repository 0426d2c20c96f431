#include "Terminal.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>

#include "Target.h"
#include "tamb/IError.h"

namespace bmphost {

namespace {

volatile sig_atomic_t g_interrupted = 0;

using Clock = std::chrono::steady_clock;

struct BarState {
    bool drawn = false;
    int shownPermille = -1;
    Clock::time_point shownAt;  // or when the work began
    std::string label;
};

const char kNotAsked[] =
    "warning: not asked whether to make the fully transparent image opaque (stdin is not a "
    "terminal): answered no; --opaque yes makes it opaque\n";

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

BarState g_bar;

void DrawBar(BarState& bar, double fraction) {
    if (fraction < 0) fraction = 0;
    if (fraction > 1) fraction = 1;
    const int permille = static_cast<int>(fraction * 1000);
    // About ten redraws a second at most, and none for work done sooner.
    const auto now = Clock::now();
    if (permille == bar.shownPermille || now - bar.shownAt < std::chrono::milliseconds(100)) return;
    bar.shownPermille = permille;
    bar.shownAt = now;
    constexpr int kWidth = 30;
    const auto filled = static_cast<std::size_t>(permille * kWidth / 1000);
    const std::string done(filled, '#'), left(kWidth - filled, ' ');
    std::fprintf(stderr, "\r[%s%s] %3d%% %.40s\x1b[K", done.c_str(), left.c_str(), permille / 10,
                 bar.label.c_str());
    std::fflush(stderr);
    bar.drawn = true;
}

int AskOnTerminal(const std::string& question) {
    ClearProgressLine();
    std::fprintf(stderr, "%s[y/N] ", question.c_str());
    std::fflush(stderr);
    std::string answer;
    if (!std::getline(std::cin, answer)) return tamb::IError::AnswerNo;
    return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y') ? tamb::IError::AnswerYes
                                                                     : tamb::IError::AnswerNo;
}

}  // namespace

void InstallSignalHandlers() {
    ::signal(SIGINT, OnInterrupt);
    ::signal(SIGTERM, OnEndingSignal);
    ::signal(SIGHUP, OnEndingSignal);
    // A write past the file-size limit, or to a reader that went away, then
    // fails as a write, not as a death.
    ::signal(SIGXFSZ, SIG_IGN);
    ::signal(SIGPIPE, SIG_IGN);
}

bool InterruptRequested() { return g_interrupted != 0; }

void ClearProgressLine() {
    BarState& bar = g_bar;
    if (!bar.drawn) return;
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
    bar.drawn = false;
    bar.shownPermille = -1;
}

void ShowActivity(const std::string& text) {
    if (::isatty(STDERR_FILENO) != 0)
        g_bar.drawn = std::fprintf(stderr, "\r%s...\x1b[K", text.c_str()) > 0;
}

void AttachTerminal(standin::RecordingManager& manager, OpaqueAnswer opaque) {
    const bool showBar = ::isatty(STDERR_FILENO) != 0;
    manager.m_progressHook = [showBar](const standin::ProgressEvent& event) {
        BarState& bar = g_bar;
        switch (event.kind) {
            case standin::ProgressEvent::Begin:
                bar.label.clear();
                bar.shownPermille = -1;
                bar.shownAt = Clock::now();
                break;
            case standin::ProgressEvent::Message:
                bar.label = event.text;
                break;
            case standin::ProgressEvent::Proportion:
                if (showBar) DrawBar(bar, event.value);
                return !InterruptRequested();
            case standin::ProgressEvent::End:
                ClearProgressLine();
                break;
            case standin::ProgressEvent::FileClosed:
            case standin::ProgressEvent::ImageHandedOver:
                break;
        }
        return true;
    };
    manager.m_warningHook = [opaque](int style, const std::string& text) {
        if (style != tamb::IError::WarnQuestion) {
            ClearProgressLine();
            std::fprintf(stderr, "warning: %s\n", text.c_str());
            return static_cast<int>(tamb::IError::AnswerOk);
        }
        switch (opaque) {
            case OpaqueAnswer::Yes:
                return static_cast<int>(tamb::IError::AnswerYes);
            case OpaqueAnswer::No:
                return static_cast<int>(tamb::IError::AnswerNo);
            case OpaqueAnswer::Ask:
                break;
        }
        if (::isatty(STDIN_FILENO) != 0) return AskOnTerminal(text);
        ClearProgressLine();
        std::fputs(kNotAsked, stderr);
        return static_cast<int>(tamb::IError::AnswerNo);
    };
}

}  // namespace bmphost
