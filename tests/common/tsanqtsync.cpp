// Linked into every test of the ThreadSanitizer build, and only there.
//
// Qt is not built with the sanitizer, so two of the hand-overs our threads
// rely on happen where it cannot see them. These definitions take the place
// of Qt's for our calls, tell the sanitizer what Qt does, and go on to Qt's
// own. Calls from inside Qt pass straight through.
//
// A wait on a QWaitCondition lets go of the caller's QMutex and takes it
// back inside Qt, while our own lock and unlock of it are seen (Qt's inline
// lock() tells the sanitizer). Left alone, the sanitizer believes a waiter
// keeps its mutex through the wait, reports every other thread's lock of it
// as a double lock and loses the order those locks give.
//
// A QThread's end reaches QThread::wait(), isFinished(), isRunning() and the
// next start() of the same thread object through Qt's own lock, so whatever
// a finished run() wrote looked raced with what its owner does after it.
// A function handed to a QThreadPool reaches waitForDone() the same way.
//
// A queued signal or queued call carries its sender's writes to the slot
// through Qt's event queue. Every such hand-over is marked on one shared
// mark, which a queued slot takes before it runs and gives back after, for
// a caller that blocks until it has run: coarser than Qt's own order, so a
// race across a queued call can hide, but one between two threads that never
// hand over through the queue still shows.

#include <QDeadlineTimer>
#include <QEvent>
#include <QMetaObject>
#include <QMutex>
#include <QThread>
#include <QThreadPool>
#include <QVariant>
#include <QWaitCondition>

#include <dlfcn.h>
#include <sanitizer/tsan_interface.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <utility>

namespace {

template <typename Fn>
Fn qtOwn(const char* symbol)
{
    void* found = dlsym(RTLD_NEXT, symbol);
    if (!found) {
        std::fprintf(stderr, "tsanqtsync: Qt's %s is not there\n", symbol);
        std::abort();
    }
    return reinterpret_cast<Fn>(found);
}

// Whether the call comes from one of Qt's own libraries.
bool fromQt(const void* caller)
{
    Dl_info where{};
    return dladdr(caller, &where) != 0 && where.dli_fname && std::strstr(where.dli_fname, "libQt6");
}

template <typename Wait, typename Limit>
bool annotatedWait(Wait qt, QWaitCondition* condition, QMutex* mutex, Limit limit, const void* caller)
{
    if (!mutex || fromQt(caller))
        return qt(condition, mutex, limit);
    __tsan_mutex_pre_unlock(mutex, 0);
    __tsan_mutex_post_unlock(mutex, 0);
    const bool woken = qt(condition, mutex, limit);
    __tsan_mutex_pre_lock(mutex, 0);
    __tsan_mutex_post_lock(mutex, 0, 0);
    return woken;
}

// The finished run's writes, handed to whoever learns of its end.
void runEnded(const QThread* thread)
{
    __tsan_acquire(const_cast<QThread*>(thread));
}

const char kEndTold[] = "tsanqtsync.endTold";

char g_queue;

void handedToQueue()
{
    __tsan_release(&g_queue);
}

void takenFromQueue()
{
    __tsan_acquire(&g_queue);
}

} // namespace

bool QWaitCondition::wait(QMutex* mutex, QDeadlineTimer deadline)
{
    using Wait = bool (*)(QWaitCondition*, QMutex*, QDeadlineTimer);
    static const Wait qt = qtOwn<Wait>("_ZN14QWaitCondition4waitEP6QMutex14QDeadlineTimer");
    return annotatedWait(qt, this, mutex, deadline, __builtin_return_address(0));
}

bool QWaitCondition::wait(QMutex* mutex, unsigned long time)
{
    using Wait = bool (*)(QWaitCondition*, QMutex*, unsigned long);
    static const Wait qt = qtOwn<Wait>("_ZN14QWaitCondition4waitEP6QMutexm");
    return annotatedWait(qt, this, mutex, time, __builtin_return_address(0));
}

void QThread::start(Priority priority)
{
    using Start = void (*)(QThread*, Priority);
    static const Start qt = qtOwn<Start>("_ZN7QThread5startENS_8PriorityE");
    if (!fromQt(__builtin_return_address(0))) {
        // finished is emitted on the ending thread itself: a direct slot
        // marks the end there, once per thread object.
        if (!property(kEndTold).toBool()) {
            setProperty(kEndTold, true);
            connect(this, &QThread::finished, this, [this] { __tsan_release(this); }, Qt::DirectConnection);
        }
        // A thread object started again has ended its last run (a running
        // one ignores the start, and then nothing has been released).
        runEnded(this);
    }
    qt(this, priority);
}

bool QThread::wait(QDeadlineTimer deadline)
{
    using Wait = bool (*)(QThread*, QDeadlineTimer);
    static const Wait qt = qtOwn<Wait>("_ZN7QThread4waitE14QDeadlineTimer");
    const bool ended = qt(this, deadline);
    if (ended)
        runEnded(this);
    return ended;
}

bool QThread::isRunning() const
{
    using Running = bool (*)(const QThread*);
    static const Running qt = qtOwn<Running>("_ZNK7QThread9isRunningEv");
    const bool running = qt(this);
    if (!running)
        runEnded(this);
    return running;
}

bool QThread::isFinished() const
{
    using Finished = bool (*)(const QThread*);
    static const Finished qt = qtOwn<Finished>("_ZNK7QThread10isFinishedEv");
    const bool ended = qt(this);
    if (ended)
        runEnded(this);
    return ended;
}

void QMetaObject::activate(QObject* sender, const QMetaObject* meta, int localIndex, void** arguments)
{
    using Activate = void (*)(QObject*, const QMetaObject*, int, void**);
    static const Activate qt = qtOwn<Activate>("_ZN11QMetaObject8activateEP7QObjectPKS_iPPv");
    handedToQueue();
    qt(sender, meta, localIndex, arguments);
}

bool QMetaObject::invokeMethodImpl(QObject* object, QtPrivate::QSlotObjectBase* slot, Qt::ConnectionType type,
                                   void* result)
{
    using Invoke = bool (*)(QObject*, QtPrivate::QSlotObjectBase*, Qt::ConnectionType, void*);
    static const Invoke qt =
        qtOwn<Invoke>("_ZN11QMetaObject16invokeMethodImplEP7QObjectPN9QtPrivate15QSlotObjectBaseEN2Qt14ConnectionTypeEPv");
    handedToQueue();
    const bool invoked = qt(object, slot, type, result);
    if (type == Qt::BlockingQueuedConnection)
        takenFromQueue();
    return invoked;
}

bool QObject::event(QEvent* event)
{
    using Event = bool (*)(QObject*, QEvent*);
    static const Event qt = qtOwn<Event>("_ZN7QObject5eventEP6QEvent");
    const bool queued = event && event->type() == QEvent::MetaCall;
    if (queued)
        takenFromQueue();
    const bool handled = qt(this, event);
    if (queued)
        handedToQueue();
    return handled;
}

void QThreadPool::start(std::function<void()> functionToRun, int priority)
{
    using Start = void (*)(QThreadPool*, std::function<void()>, int);
    static const Start qt = qtOwn<Start>("_ZN11QThreadPool5startESt8functionIFvvEEi");
    if (fromQt(__builtin_return_address(0)))
        return qt(this, std::move(functionToRun), priority);
    qt(
        this,
        [this, run = std::move(functionToRun)] {
            run();
            __tsan_release(this);
        },
        priority);
}

bool QThreadPool::waitForDone(int msecs)
{
    using Wait = bool (*)(QThreadPool*, int);
    static const Wait qt = qtOwn<Wait>("_ZN11QThreadPool11waitForDoneEi");
    const bool done = qt(this, msecs);
    if (done)
        __tsan_acquire(this);
    return done;
}
