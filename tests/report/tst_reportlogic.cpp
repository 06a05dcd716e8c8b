// The report page's work without widgets: the converter slots of the
// fixing run and the inbox that carries the analysis thread's deliveries to
// the page. The page's own tests drive the same classes with the real
// engine and real conversions; these walk their rules one by one.
#include "reporter/converterslots.h"
#include "reporter/reportinbox.h"
#include "reporter/reportitemdata.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <QSemaphore>
#include <QTest>
#include <QThread>

#include <memory>
#include <vector>

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

int idOf(const void* track)
{
    return int(reinterpret_cast<quintptr>(track));
}

int idOf(const CReportDelivery& delivery)
{
    return idOf(delivery.row.track);
}

// A list item as the page has it: the widget part first, so the item's
// address is not the address of what the slots work on.
struct Item
{
    struct Data : CReportItemData
    {
        Data(void* track) : CReportItemData(track, 0) {}
    };
    int widget = 0;
    Data data;

    explicit Item(int id, tagDownloadState state = DS_NONE) : data(trackOf(id))
    {
        data.SetFixState(state);
        data.SetConverPath(QStringLiteral("/music/%1.wav").arg(id));
    }
};

} // namespace

class TestReportLogic : public QObject
{
    Q_OBJECT

private slots:
    // busy marks the slots holding a row (x); the row asks for a slot.
    void slotForRow_data()
    {
        QTest::addColumn<QString>("busy");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<int>("slot");
        QTest::addColumn<bool>("busySeen");

        QTest::newRow("all free: the first") << "...." << int(DS_NONE) << true << 0 << false;
        QTest::newRow("the first free after busy ones") << "xx.." << int(DS_NONE) << true << 2 << false;
        QTest::newRow("a gap is taken") << "x.x." << int(DS_NONE) << true << 1 << false;
        QTest::newRow("the last") << "xxx." << int(DS_NONE) << true << 3 << false;
        QTest::newRow("all busy: none, the row waits") << "xxxx" << int(DS_NONE) << true << -1 << false;
        QTest::newRow("unchecked: none") << "...." << int(DS_NONE) << false << -1 << false;
        QTest::newRow("in flight: none, seen busy") << "x..." << int(DS_FIXING) << true << -1 << true;
        QTest::newRow("in flight, unchecked since: seen busy") << "x..." << int(DS_FIXING) << false << -1 << true;
        QTest::newRow("fixed: none") << "...." << int(DS_DONE) << true << -1 << false;
        QTest::newRow("failed: none") << "...." << int(DS_FAILED) << true << -1 << false;
    }

    void slotForRow()
    {
        QFETCH(QString, busy);
        QFETCH(int, state);
        QFETCH(bool, checked);
        QFETCH(int, slot);
        QFETCH(bool, busySeen);

        tagTrack track[kConverterSlots];
        CConverterSlots pool(track, nullptr);
        std::vector<std::unique_ptr<Item>> held;
        for (int i = 0; i < kConverterSlots; ++i) {
            if (busy.at(i) != QLatin1Char('x'))
                continue;
            held.push_back(std::make_unique<Item>(10 + i));
            pool.Hold(i, TK_ARTIST, held.back().get(), &held.back()->data);
        }
        Item row(1, tagDownloadState(state));
        bool seen = false;
        QCOMPARE(pool.SlotForRow(&row.data, checked, seen), slot);
        QCOMPARE(seen, busySeen);
        QCOMPARE(pool.FreeSlot(), int(busy.indexOf(QLatin1Char('.'))));
    }

    // What the slots hold is found by the row's track and by the item the
    // converter hands back, and goes with the slot when it is freed.
    void slotsHoldTheirRows()
    {
        tagTrack track[kConverterSlots];
        CConverterSlots pool(track, nullptr);
        Item tile(1), artist(2), other(3);
        pool.Hold(0, TK_ARTWORK, &tile, &tile.data);
        pool.Hold(2, TK_ARTIST, &artist, &artist.data);
        QCOMPARE(int(tile.data.GetFixState()), int(DS_FIXING));
        QCOMPARE(track[2].kind, int(TK_ARTIST));
        QCOMPARE(track[2].item, static_cast<void*>(&artist));

        QCOMPARE(pool.SlotOfTrack(trackOf(2), false), 2);
        QCOMPARE(pool.SlotOfTrack(trackOf(3), false), -1);
        QCOMPARE(pool.SlotOfItem(&tile), 0);
        QCOMPARE(pool.SlotOfItem(&tile.data), -1);
        QCOMPARE(pool.SlotOfItem(nullptr), -1);
        QCOMPARE(pool.SlotData(0), static_cast<CReportItemData*>(&tile.data));
        QCOMPARE(pool.HeldWavPaths(), (QStringList{QStringLiteral("/music/1.wav"), QStringLiteral("/music/2.wav")}));

        // Without a converter nothing starts and the slot stays free.
        QVERIFY(!pool.Start(1, TK_ALBUM, &other, &other.data));
        QCOMPARE(int(other.data.GetFixState()), int(DS_NONE));
        QVERIFY(!track[1].item);
        QCOMPARE(pool.FreeSlot(), 1);

        pool.Free(0);
        QCOMPARE(track[0].kind, int(TK_NONE));
        QVERIFY(!pool.SlotData(0));
        QCOMPARE(pool.SlotOfTrack(trackOf(1), false), -1);
        QCOMPARE(pool.HeldWavPaths(), QStringList{QStringLiteral("/music/2.wav")});

        pool.FreeAll();
        QCOMPARE(pool.FreeSlot(), 0);
        QVERIFY(pool.HeldWavPaths().isEmpty());
        QCOMPARE(pool.SlotOfItem(&artist), -1);
    }

    // A conversion is handed to its converter before the converter runs;
    // a slot freed while its converter still returns is handed out again
    // only once the converter has ended.
    void convertersStartAndEnd()
    {
        tagTrack track[kConverterSlots];
        QString prepared;
        QSemaphore running, gate;
        QString seenByConverter;
        std::unique_ptr<QThread> converter(QThread::create([&] {
            seenByConverter = prepared;
            running.release();
            gate.acquire();
        }));
        CConverterSlots pool(track, [&](int slot, void* item, const CReportItemData& row) {
            prepared = QStringLiteral("%1 %2 %3").arg(slot).arg(idOf(item)).arg(row.GetConverPath());
        });
        pool.SetConverter(2, converter.get());
        const auto endConverter = qScopeGuard([&] {
            gate.release();
            converter->wait();
        });
        Item busy0(10), busy1(11), row(7);
        pool.Hold(0, TK_ARTIST, &busy0, &busy0.data);
        pool.Hold(1, TK_ARTIST, &busy1, &busy1.data);

        bool seen = false;
        const int slot = pool.SlotForRow(&row.data, true, seen);
        QCOMPARE(slot, 2);
        QVERIFY(pool.Start(slot, TK_ALBUM, &row, &row.data));
        QCOMPARE(track[2].kind, int(TK_ALBUM));
        QCOMPARE(int(row.data.GetFixState()), int(DS_FIXING));
        QVERIFY(running.tryAcquire(1, kWaitMs));
        QCOMPARE(seenByConverter, QStringLiteral("2 %1 /music/7.wav").arg(idOf(&row)));

        // The lookup's result frees the slot while the converter is still
        // on its way out.
        pool.Free(2);
        std::unique_ptr<QThread> opener(QThread::create([&gate] { gate.release(); }));
        opener->start();
        QCOMPARE(pool.FreeSlot(), 2);
        QVERIFY(converter->isFinished());
        opener->wait();
    }

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
