#include "Terminal.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "tamb/IError.h"

namespace bmphost {

namespace {

volatile sig_atomic_t g_interrupted = 0;

struct BarState {
    bool drawn = false;
    int shownPermille = -1;
    std::string label;
};

void OnInterrupt(int) { g_interrupted = 1; }

void DrawBar(BarState& bar, double fraction) {
    if (fraction < 0) fraction = 0;
    if (fraction > 1) fraction = 1;
    const int permille = static_cast<int>(fraction * 1000);
    if (permille == bar.shownPermille) return;  // redraw only on visible change
    bar.shownPermille = permille;
    constexpr int kWidth = 30;
    const int filled = permille * kWidth / 1000;
    std::string line = "\r[";
    line.append(static_cast<std::size_t>(filled), '#');
    line.append(static_cast<std::size_t>(kWidth - filled), ' ');
    char percent[16];
    std::snprintf(percent, sizeof percent, "] %3d%% ", permille / 10);
    line += percent;
    line += bar.label.substr(0, 40);
    line += "\x1b[K";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    bar.drawn = true;
}

BarState& Bar() {
    static BarState bar;
    return bar;
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

void InstallInterruptHandler() {
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
}

bool InterruptRequested() { return g_interrupted != 0; }

void ClearProgressLine() {
    BarState& bar = Bar();
    if (!bar.drawn) return;
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
    bar.drawn = false;
    bar.shownPermille = -1;
}

void AttachTerminal(orix::IoManager& manager, OpaqueAnswer opaque) {
    const bool showBar = ::isatty(STDERR_FILENO) != 0;
    manager.m_progressHook = [showBar](const orix::ProgressEvent& event) {
        BarState& bar = Bar();
        switch (event.kind) {
            case orix::ProgressEvent::Begin:
                bar.label.clear();
                bar.shownPermille = -1;
                break;
            case orix::ProgressEvent::Message:
                bar.label = event.text;
                break;
            case orix::ProgressEvent::Proportion:
                if (showBar) DrawBar(bar, event.value);
                return !InterruptRequested();
            case orix::ProgressEvent::End:
                ClearProgressLine();
                break;
            case orix::ProgressEvent::FileClosed:
            case orix::ProgressEvent::ImageHandedOver:
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
        if (::isatty(STDIN_FILENO) == 0) return static_cast<int>(tamb::IError::AnswerNo);
        return AskOnTerminal(text);
    };
}

}  // namespace bmphost
