#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

// Runs `act` on the first modal window of type T once it is up; `done` tells the test it ran.
// Schedule it before the call that shows the window modally, then QTRY_VERIFY(done).
template <typename T>
void whenModal(bool *done, std::function<void(T *)> act)
{
    // Gives up after about the QTRY_VERIFY timeout, so a missing window fails the test only.
    auto attempt = std::make_shared<std::function<void()>>();
    auto tries = std::make_shared<int>(0);
    // The stored function holds `attempt` itself: it is cleared when the last try ends, or the
    // pair keeps each other alive forever (the running copy belongs to the timer).
    *attempt = [done, act, attempt, tries] {
        if (T *w = qobject_cast<T *>(QApplication::activeModalWidget())) {
            act(w);
            *done = true;
            *attempt = nullptr;
        } else if (++*tries < 1000) {
            QTimer::singleShot(5, *attempt);
        } else {
            *attempt = nullptr;
        }
    };
    QTimer::singleShot(0, *attempt);
}
