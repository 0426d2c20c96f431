#pragma once

namespace tamb {

struct IError {
    enum WarnStyle : int {
        WarnNotice = 0,
        WarnError = 1,
        WarnQuestion = 2,  // yes/no; the affirmative answer is AnswerYes
    };
    enum Answer : int { AnswerOk = 1, AnswerYes = 6, AnswerNo = 7 };
};

}  // namespace tamb
