// The GUI thread's longest stall while a window works: the largest gap
// between two turns of a 1 ms timer, and pressing the window's buttons
// while it is measured. For the benches that drive the real window.
#pragma once

#include "benchenv.h"
#include "config.h"
#include "modalwatch.h"
#include "vessolin/mainui.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

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

// Waits for ended and reads the meter: a step that never ends has no stall
// figure (-1).
inline Figure AwaitFigure(Meter& meter, const std::function<bool()>& ended, int timeoutMs)
{
    const bool done = QTest::qWaitFor(ended, timeoutMs);
    Figure figure;
    figure.doneMs = meter.Elapsed();
    const qint64 stall = meter.Stop();
    figure.stallMs = done ? stall : -1;
    return figure;
}

// Runs press (a click that returns once the window has taken it), then
// waits for ended, answering Yes to the window's questions meanwhile.
inline Figure Measure(const std::function<void()>& press, const std::function<bool()>& ended,
                      int timeoutMs = 600000)
{
    ModalWatch yes([](QWidget* modal) { return PressMessageButton(modal, QStringLiteral("Yes")); });
    Meter meter;
    meter.Start();
    press();
    return AwaitFigure(meter, ended, timeoutMs);
}

// Answers a file panel with path, as a user who agreed to replace it.
inline bool AnswerPanel(QWidget* modal, const QString& path)
{
    auto* panel = qobject_cast<QFileDialog*>(modal);
    if (!panel || panel->property("answered").toBool())
        return false;
    panel->setProperty("answered", true);
    panel->setOption(QFileDialog::DontConfirmOverwrite, true);
    if (auto* name = panel->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        name->setText(path);
    QMetaObject::invokeMethod(panel, "accept", Qt::QueuedConnection);
    return true;
}

// Measure for a press that opens a file panel: the figure starts when the
// panel is answered with path, so the panel's own time does not count.
inline Figure MeasureAfterPanel(const QString& path, const std::function<void()>& press,
                                const std::function<bool()>& ended, int timeoutMs = 600000)
{
    Meter meter;
    ModalWatch answer([&](QWidget* modal) {
        if (!AnswerPanel(modal, path))
            return PressMessageButton(modal, QStringLiteral("Yes"));
        meter.Start();
        return true;
    });
    press();
    return AwaitFigure(meter, ended, timeoutMs);
}

// count small files in the artwork folder, as a deep duplicate scan leaves
// one fingerprint file per track there.
inline bool FillCache(const QString& artwork, int count)
{
    for (int i = 0; i < count; ++i) {
        QFile file(artwork + QStringLiteral("/%1fingerprint.bin").arg(i, 16, 16, QLatin1Char('0')));
        if (!file.open(QIODevice::WriteOnly) || file.write("fingerprint bytes") <= 0)
            return false;
    }
    return true;
}

inline bool FillCache(int count)
{
    return FillCache(CConfig::instance()->GetDowndImgPath(), count);
}

// Fills the cache with count files right before the link's nth deletion
// of it from now on (1: the next), on the thread that deletes it: a run's
// load deletes it first, its walk at the end.
inline void FillCacheBeforeClear(CMusicLink* link, int nth, int count)
{
    const QString artwork = CConfig::instance()->GetDowndImgPath();
    auto seen = std::make_shared<int>(0);
    link->SetDiskWorkHook([artwork, nth, count, seen](CMusicLink::EDiskWork work) {
        if (work == CMusicLink::DW_CACHE_CLEAR && ++*seen == nth)
            FillCache(artwork, count);
    });
}

inline void Print(const char* what, const Figure& figure)
{
    std::printf("  %-46s longest GUI thread stall %5lld ms, done after %6lld ms\n", what, figure.stallMs,
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
