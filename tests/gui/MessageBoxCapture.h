#pragma once

// Message boxes in window tests: while a capture lives, every box the program would show is
// recorded instead, and answered with the button the test chose (OK unless told otherwise).
// The hook goes when the capture goes, also when a failed check leaves the test early.
#include "gui/ErrorBox.h"

#include <QMessageBox>

#include <utility>
#include <vector>

class MessageBoxCapture {
public:
    MessageBoxCapture() : MessageBoxCapture([](const gui::ShownBox&) { return QMessageBox::Ok; }) {}
    // `answer` picks the button pressed for each box.
    explicit MessageBoxCapture(gui::MessageBoxHook answer) : answer_(std::move(answer)) {
        gui::SetMessageBoxHookForTesting([this](const gui::ShownBox& box) {
            boxes_.push_back(box);
            return answer_(box);
        });
    }
    ~MessageBoxCapture() { gui::SetMessageBoxHookForTesting({}); }
    MessageBoxCapture(const MessageBoxCapture&) = delete;
    MessageBoxCapture& operator=(const MessageBoxCapture&) = delete;

    const std::vector<gui::ShownBox>& Boxes() const { return boxes_; }
    std::size_t Count() const { return boxes_.size(); }
    const gui::ShownBox& operator[](std::size_t i) const { return boxes_.at(i); }

private:
    gui::MessageBoxHook answer_;
    std::vector<gui::ShownBox> boxes_;
};
