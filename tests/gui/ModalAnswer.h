#pragma once

// Answering modal dialogs in window tests: a timer waits for the expected dialog to become the
// active modal widget, acts on it, and rejects it after a deadline so that a missing or
// unanswered dialog fails the test instead of hanging it.
#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

template <typename Dialog>
class ModalAnswer {
public:
    explicit ModalAnswer(std::function<void(Dialog*)> act, int deadlineMs = 5000)
        : act_(std::move(act)), deadline_(deadlineMs) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start();
    }
    bool Answered() const { return answered_; }
    bool LeftOpen() const { return leftOpen_; }

private:
    void Poll() {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            if (deadline_.hasExpired()) {
                timer_.stop();
            }
            return;
        }
        timer_.stop();
        answered_ = true;
        act_(dialog);
        if (dialog->isVisible()) {
            leftOpen_ = true;
            dialog->reject();
        }
    }

    std::function<void(Dialog*)> act_;
    QTimer timer_;
    QDeadlineTimer deadline_;
    bool answered_ = false;
    bool leftOpen_ = false;
};

using FileDialogAnswer = ModalAnswer<QFileDialog>;

// Types the name into the file dialog's name box and presses OK, as a user would.
inline void TypeNameAndAccept(QFileDialog* dialog, const QString& name) {
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit != nullptr);
    edit->setText(name);
    static_cast<QDialog*>(dialog)->accept();
}

inline std::unique_ptr<FileDialogAnswer> Choose(const QString& name) {
    return std::make_unique<FileDialogAnswer>(
        [name](QFileDialog* dialog) { TypeNameAndAccept(dialog, name); });
}

inline std::unique_ptr<FileDialogAnswer> Cancel() {
    return std::make_unique<FileDialogAnswer>([](QFileDialog* dialog) { dialog->reject(); });
}
