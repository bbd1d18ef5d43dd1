#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

// Answers a modal window that the code under test is about to open with exec(): polls every
// 10 ms for an active modal widget of type T, hands it to `act` once, and gives up after the
// deadline by closing whatever modal widget is open, so a missing dialog fails the test
// instead of hanging it. Returns a flag that tells whether `act` ran.
template <typename T>
std::shared_ptr<bool> AnswerModal(std::function<void(T*)> act, int deadlineMs = 5000) {
    auto answered = std::make_shared<bool>(false);
    auto* timer = new QTimer(qApp);  // deletes itself below
    const QDeadlineTimer deadline(deadlineMs);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        if (auto* w = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            *answered = true;
            act(w);
        } else if (deadline.hasExpired()) {
            timer->stop();
            timer->deleteLater();
            if (QWidget* other = QApplication::activeModalWidget()) {
                other->close();
            }
        }
    });
    timer->start(10);
    return answered;
}
