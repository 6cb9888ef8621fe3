#pragma once

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace testing_support {

// Runs `action` once the next modal window is shown (polled from the event
// loop that the modal window runs), so a test can drive a dialog's exec().
inline void WhenModalShown(std::function<void(QWidget*)> action, QWidget* notThis = nullptr)
{
    auto* timer = new QTimer(qApp);
    timer->setInterval(5);
    QPointer<QWidget> skip(notThis);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, action, skip]() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal == skip)
            return;
        timer->stop();
        timer->deleteLater();
        action(modal);
    });
    timer->start();
}

} // namespace testing_support
