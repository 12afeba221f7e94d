#include "ModalAction.h"

#include <QApplication>
#include <QTimer>

void onModal(std::function<void(QWidget *)> act, bool *done)
{
    *done = false;
    auto *timer = new QTimer;
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, [timer, act, done] {
        QWidget *w = QApplication::activeModalWidget();
        if (!w)
            return;
        timer->stop();
        timer->deleteLater();
        act(w);
        *done = true;
    });
    timer->start();
}
