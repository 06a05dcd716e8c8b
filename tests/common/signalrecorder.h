// QSignalSpy for signals that engine and worker threads emit. The spy
// appends on the emitting thread while the test reads and waits on its
// own, and its wait is ended from that other thread: a race. The recorder
// lives on the test's thread and is reached through an automatic
// connection, queued for every emission from another thread, so its list
// is written and read on the test's thread alone. An emission from another
// thread shows once the test's event loop runs (wait, QTRY_*, qWait).
#pragma once

#include <QEventLoop>
#include <QList>
#include <QObject>
#include <QTimer>
#include <QVariant>

#include <type_traits>
#include <utility>

class SignalRecorder : public QObject, public QList<QList<QVariant>>
{
public:
    template <typename Object, typename Sender, typename... Args>
    SignalRecorder(const Object* sender, void (Sender::*signal)(Args...))
    {
        connect(static_cast<const Sender*>(sender), signal, this,
                [this](std::decay_t<Args>... args) { record({QVariant::fromValue(args)...}); });
    }

    // As QSignalSpy::wait: true when an emission arrives within timeoutMs.
    // One emitted before the call and still queued counts as arriving.
    bool wait(int timeoutMs = 5000)
    {
        const qsizetype before = size();
        QEventLoop loop;
        m_loop = &loop;
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
        m_loop = nullptr;
        return size() > before;
    }

private:
    void record(QList<QVariant> arguments)
    {
        append(std::move(arguments));
        if (m_loop)
            m_loop->quit();
    }

    QEventLoop* m_loop = nullptr;
};
