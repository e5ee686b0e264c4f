#pragma once
// The desktop side of the feedback seam: the main window's status bar, the event loop, message
// boxes and the input box.

#include "util/feedback.h"

#include <functional>

class QWidget;

namespace vn {

class DesktopFeedback : public Feedback {
public:
    explicit DesktopFeedback(QWidget* owner) : owner_(owner) {}

    // Where status texts go; until one is set (early start-up) they are dropped.
    void setStatusSink(std::function<void(int, const QString&)> sink) { sink_ = std::move(sink); }
    void setAbortFlag(const bool* flag) { abort_ = flag; }

    void setStatus(int part, const QString& text) override;
    void pumpMessages() override;
    bool abortRequested() const override { return abort_ && *abort_; }
    int message(const QString& text, const QString& title, MessageButtons buttons, MessageIcon icon) override;
    int inputBox(const QString& title, const QString& prompt, QString& value, int capacity, const QString& okText,
                 const QString& cancelText) override;

private:
    QWidget* owner_;
    std::function<void(int, const QString&)> sink_;
    const bool* abort_ = nullptr;
};

// A message box answering with the DialogAnswer values.
int showMessage(QWidget* owner, const QString& text, const QString& title, MessageButtons buttons, MessageIcon icon);

} // namespace vn
