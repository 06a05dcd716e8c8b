// The GUI thread's longest stall while a window works: the largest gap
// between two turns of a 1 ms timer, and pressing the window's buttons
// while it is measured. For the benches that drive the real window.
#pragma once

#include "benchenv.h"
#include "modalwatch.h"
#include "vessolin/mainui.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace guistall {

class Meter
{
public:
    Meter()
    {
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { m_longest = std::max(m_longest, m_tick.restart()); });
    }
    void Start()
    {
        m_longest = 0;
        m_clock.start();
        m_tick.start();
        m_timer.start();
    }
    // The figure since Start, the gap up to now included.
    qint64 Stop()
    {
        m_longest = std::max(m_longest, m_tick.elapsed());
        m_timer.stop();
        return m_longest;
    }
    qint64 Elapsed() const { return m_clock.elapsed(); }

private:
    QTimer m_timer;
    QElapsedTimer m_clock, m_tick;
    qint64 m_longest = 0;
};

struct Figure
{
    qint64 stallMs = -1;  // the longest stall; -1: the work did not end
    qint64 doneMs = 0;    // until the work had ended
};

// Runs press (a click that returns once the window has taken it), then
// waits for ended, answering Yes to the window's questions meanwhile.
inline Figure Measure(const std::function<void()>& press, const std::function<bool()>& ended,
                      int timeoutMs = 600000)
{
    ModalWatch yes([](QWidget* modal) { return PressMessageButton(modal, QStringLiteral("Yes")); });
    Meter meter;
    meter.Start();
    press();
    const bool done = QTest::qWaitFor(ended, timeoutMs);
    Figure figure;
    figure.doneMs = meter.Elapsed();
    const qint64 stall = meter.Stop();
    figure.stallMs = done ? stall : -1;
    return figure;
}

inline void Print(const char* what, const Figure& figure)
{
    std::printf("  %-40s longest GUI thread stall %5lld ms, done after %6lld ms\n", what, figure.stallMs,
                figure.doneMs);
}

// Runs the window's figures, then prints the machine's load before and
// after them; false, said on stderr, when a step did not take effect.
inline bool WithLoad(const std::function<bool()>& figures)
{
    const QByteArray before = benchenv::loadAverage();
    const bool ended = figures();
    std::printf("load average before / after the window: %s / %s\n", before.constData(),
                benchenv::loadAverage().constData());
    if (!ended)
        std::fprintf(stderr, "a step in the window did not take effect\n");
    return ended;
}

inline QPushButton* Button(CMainUI& window, const char* name)
{
    return window.findChild<QPushButton*>(QLatin1String(name));
}

} // namespace guistall
