#pragma once
// The one seam between the core and the screens. Long jobs run on the calling thread and reach the
// user only through this: status-bar texts, pumping events, the abort flag, message boxes and the
// input box. The desktop program, the CLI and the tests each implement it.

#include <QString>

namespace vn {

enum class MessageIcon { None, Information, Warning, Error, Question };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };

// Answers carry the values the program has always compared against.
enum DialogAnswer : int {
    AnswerOk = 1,
    AnswerCancel = 2,
    AnswerYes = 6,
    AnswerNo = 7,
};

// The status bar has eight parts, numbered from 0.
inline constexpr int StatusPartCount = 8;

class Feedback {
public:
    virtual ~Feedback() = default;

    virtual void setStatus(int part, const QString& text) = 0;
    // Lets the screen repaint and the "Abort Batch" button be pressed between steps of a long job.
    virtual void pumpMessages() = 0;
    virtual bool abortRequested() const = 0;
    virtual int message(const QString& text, const QString& title, MessageButtons buttons, MessageIcon icon) = 0;
    // Edits value in place; returns 1 for the first button (value changed, cut to capacity - 1
    // characters), 2 for the second button or a close (value unchanged).
    virtual int inputBox(const QString& title, const QString& prompt, QString& value, int capacity,
                         const QString& okText, const QString& cancelText) = 0;
};

// For headless callers that have nobody to ask: questions get their cancelling answer, messages go
// nowhere.
class SilentFeedback : public Feedback {
public:
    void setStatus(int, const QString&) override {}
    void pumpMessages() override {}
    bool abortRequested() const override { return false; }
    int message(const QString&, const QString&, MessageButtons buttons, MessageIcon) override
    {
        return buttons == MessageButtons::YesNo || buttons == MessageButtons::YesNoCancel ? AnswerNo : AnswerOk;
    }
    int inputBox(const QString&, const QString&, QString&, int, const QString&, const QString&) override
    {
        return AnswerCancel;
    }
};

} // namespace vn
