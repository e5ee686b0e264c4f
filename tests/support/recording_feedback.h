#pragma once
// The tests' Feedback: records what the user would have been shown and asked, answers as told, and
// can ask for an abort after some pumps or when a test's condition holds.

#include "util/feedback.h"

#include <QStringList>
#include <array>
#include <functional>
#include <vector>

namespace vn::test {

struct RecordingFeedback : SilentFeedback {
    void setStatus(int part, const QString& text) override
    {
        statuses << text;
        if (part >= 0 && part < StatusPartCount)
            parts[size_t(part)] = text;
    }
    void pumpMessages() override
    {
        ++pumps;
        if (onPump)
            onPump(pumps);
    }
    bool abortRequested() const override
    {
        return (abortAfterPumps >= 0 && pumps > abortAfterPumps) || (abortWhen && abortWhen());
    }
    int message(const QString& text, const QString& title, MessageButtons buttons, MessageIcon icon) override
    {
        messages << title + u'|' + text;
        icons.push_back(icon);
        return answer ? answer : SilentFeedback::message(text, title, buttons, icon);
    }
    int inputBox(const QString& title, const QString& prompt, QString& value, int, const QString&,
                 const QString&) override
    {
        asked << title + u'|' + prompt;
        if (answers.isEmpty())
            return AnswerCancel;
        value = answers.takeFirst();
        return AnswerOk;
    }

    QStringList statuses;                         // every status text, in order
    std::array<QString, StatusPartCount> parts{}; // the last text of each part
    QStringList messages;                         // "title|text"
    std::vector<MessageIcon> icons;
    QStringList asked;   // input boxes, "title|prompt"
    QStringList answers; // what the input boxes are given, in order; none left: cancelled
    int answer = 0;      // the answer to every message; 0: the silent one
    int pumps = 0;
    int abortAfterPumps = -1;
    std::function<void(int pump)> onPump;
    std::function<bool()> abortWhen;
};

} // namespace vn::test
