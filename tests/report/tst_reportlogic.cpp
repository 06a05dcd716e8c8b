// The report page's work without widgets: the inbox that carries the
// analysis thread's deliveries to the page. The page's own tests drive the
// same classes with the real engine; these walk their rules one by one.
#include "reporter/reportinbox.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <QSemaphore>
#include <QTest>
#include <QThread>

#include <memory>

namespace {

constexpr int kWaitMs = 60000;

// Counts the drains posted to it.
class Context : public QObject
{
public:
    int drains = 0;

    bool event(QEvent* ev) override
    {
        if (ev->type() == QEvent::MetaCall)
            ++drains;
        return QObject::event(ev);
    }
};

void* trackOf(int id)
{
    return reinterpret_cast<void*>(quintptr(id));
}

int idOf(const CReportDelivery& delivery)
{
    return int(reinterpret_cast<quintptr>(delivery.row.track));
}

} // namespace

class TestReportLogic : public QObject
{
    Q_OBJECT

private slots:
    // A script of calls, one letter each: t a track of the current run,
    // o a track read before the last clear, s a score behind the queue,
    // c clear, f flush, d the posted drains run. results holds + or - for
    // each t, o and s; applied the batches the page received, split by |.
    void inboxRules_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("results");
        QTest::addColumn<QString>("applied");
        QTest::addColumn<int>("drains");

        QTest::newRow("tracks, one drain for all") << "tttd" << "+++" << "1,2,3" << 1;
        QTest::newRow("score waits behind the tracks") << "ttsd" << "+++" << "1,2,S" << 1;
        QTest::newRow("score with nothing queued is the caller's") << "sd" << "-" << "" << 0;
        QTest::newRow("score after the drain is the caller's") << "tdsd" << "+-" << "1" << 1;
        QTest::newRow("clear drops the queue") << "ttcd" << "++" << "" << 1;
        QTest::newRow("clear drops a queued score") << "tscd" << "++" << "" << 1;
        QTest::newRow("a track after a clear rides the drain still posted") << "ttctd" << "+++" << "3" << 1;
        QTest::newRow("a track read before a clear is refused") << "tcod" << "+-" << "" << 1;
        QTest::newRow("a track read before a clear on an empty inbox") << "cotd" << "-+" << "2" << 1;
        QTest::newRow("flush hands over everything at once") << "ttsf" << "+++" << "1,2,S" << 0;
        QTest::newRow("the drain after a flush finds nothing") << "ttsfd" << "+++" << "1,2,S" << 1;
        QTest::newRow("a drain ends, the next track posts again") << "tdtd" << "++" << "1|2" << 2;
    }

    void inboxRules()
    {
        QFETCH(QString, script);
        QFETCH(QString, results);
        QFETCH(QString, applied);
        QFETCH(int, drains);

        Context context;
        QStringList batches;
        CReportInbox inbox(&context, [&](const CReportInbox::Batch& batch) {
            QStringList items;
            for (const CReportDelivery& delivery : batch)
                items << (delivery.kind == CReportDelivery::SCORE ? QStringLiteral("S") : QString::number(idOf(delivery)));
            batches << items.join(QLatin1Char(','));
        });
        QString got;
        int id = 0;
        auto push = [&](int run) {
            CReportDelivery delivery;
            delivery.run = run;
            delivery.row.track = trackOf(++id);
            got += inbox.Push(delivery) ? QLatin1Char('+') : QLatin1Char('-');
        };
        for (const QChar op : script) {
            switch (op.toLatin1()) {
            case 't': push(inbox.Run()); break;
            case 'o': push(inbox.Run() - 1); break;
            case 's': got += inbox.QueueBehind(CReportDelivery::SCORE) ? QLatin1Char('+') : QLatin1Char('-'); break;
            case 'c': inbox.Clear(); break;
            case 'f': inbox.Flush(); break;
            case 'd': QCoreApplication::sendPostedEvents(&context, QEvent::MetaCall); break;
            default: QFAIL("unknown step");
            }
        }
        QCOMPARE(got, results);
        QCOMPARE(batches.join(QLatin1Char('|')), applied);
        QCOMPARE(context.drains, drains);
    }

    // The analysis thread pushes while the page's thread drains, and the
    // page clears a quarter of the way: every delivery arrives once and in
    // order, and none read before the clear arrives after it. The second
    // half is pushed once the clear is done, so there is an after.
    void pushWhileDraining()
    {
        constexpr int kDeliveries = 20000;
        Context context;
        CReportInbox* inboxOf = nullptr;
        QSemaphore clearDone;
        QList<int> before, after;
        bool cleared = false, staleAfterClear = false;
        int firstRun = 0;
        CReportInbox inbox(&context, [&](const CReportInbox::Batch& batch) {
            for (const CReportDelivery& delivery : batch) {
                (cleared ? after : before) << idOf(delivery);
                staleAfterClear |= cleared && delivery.run == firstRun;
            }
            if (!cleared && before.size() >= kDeliveries / 4) {
                inboxOf->Clear();
                cleared = true;
                clearDone.release();
            }
        });
        inboxOf = &inbox;
        firstRun = inbox.Run();
        std::unique_ptr<QThread> walk(QThread::create([&inbox, &clearDone] {
            auto push = [&inbox](int id) {
                CReportDelivery delivery;
                delivery.run = inbox.Run();
                delivery.row.track = trackOf(id);
                inbox.Push(delivery);
            };
            for (int id = 1; id <= kDeliveries / 2; ++id)
                push(id);
            clearDone.acquire();
            for (int id = kDeliveries / 2 + 1; id <= kDeliveries; ++id)
                push(id);
        }));
        walk->start();
        // A failed wait must not leave the walk blocked behind its thread.
        const auto joinWalk = qScopeGuard([&] {
            if (!cleared)
                clearDone.release();
            walk->wait();
        });
        QTRY_VERIFY_WITH_TIMEOUT(walk->isFinished() && inbox.Pending() == 0, kWaitMs);
        QCoreApplication::sendPostedEvents(&context, QEvent::MetaCall);

        QVERIFY(cleared);
        QVERIFY(!staleAfterClear);
        QCOMPARE(before.first(), 1);
        for (int i = 1; i < before.size(); ++i)
            QCOMPARE(before[i], before[i - 1] + 1);
        QVERIFY(after.first() > before.last());
        for (int i = 1; i < after.size(); ++i)
            QCOMPARE(after[i], after[i - 1] + 1);
        QCOMPARE(after.last(), kDeliveries);
    }
};

QTEST_GUILESS_MAIN(TestReportLogic)
#include "tst_reportlogic.moc"
