#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace tandrel::test {

// Acts on the next modal window to appear: `action` runs with it from the
// event loop of its exec(), so that a test can fill it in and close it while
// the code under test waits in the modal call. Gives up after `timeoutMs`
// (the action then never runs; the caller's assertions tell).
inline void WhenModalShown(std::function<void(QWidget*)> action, int timeoutMs = 5000,
                           QWidget* ignore = nullptr)
{
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    auto timer = new QTimer(qApp);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, clock, action, timeoutMs, ignore]() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal != ignore && modal->isVisible()) {
            timer->stop();
            timer->deleteLater();
            action(modal);
            return;
        }
        if (clock->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

} // namespace tandrel::test
