// Helpers of the widget tests: what a widget painted, and its timers.
#pragma once

#include <QAbstractEventDispatcher>
#include <QColor>
#include <QCoreApplication>
#include <QImage>
#include <QTimerEvent>
#include <QWidget>

namespace widgettest {

// What the widget paints, as an image.
inline QImage shot(QWidget* widget)
{
    return widget->grab().toImage().convertToFormat(QImage::Format_ARGB32);
}

// The timers the object runs, as (id, interval).
inline QList<QAbstractEventDispatcher::TimerInfo> timersOf(QObject* object)
{
    return QAbstractEventDispatcher::instance()->registeredTimers(object);
}

// Delivers one tick of the object's only timer, as the event loop would.
inline bool tick(QObject* object)
{
    const auto timers = timersOf(object);
    if (timers.size() != 1)
        return false;
    QTimerEvent event(timers.first().timerId);
    QCoreApplication::sendEvent(object, &event);
    return true;
}

} // namespace widgettest
