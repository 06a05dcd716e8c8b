// A real engine run feeding a report page the way the main window does:
// a generated music folder loaded in the file mode, analysed, and walked
// on a worker thread that hands every problem track to AddReportItem.
#pragma once

#include "common.h"
#include "config.h"
#include "musiclink.h"
#include "pagewalks.h"
#include "reporter/analyreport.h"
#include "signalrecorder.h"
#include "testenv.h"

#include <QAccessible>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <sqlite3.h>

#include <functional>

namespace reporttest {

constexpr int kWaitMs = 120000;

// The analysis thread's walk: the mask first, then every problem track.
class WalkThread : public QThread
{
public:
    WalkThread(CMusicLink* link, CAnalyReport* report, int mask) : m_pLink(link), m_pReport(report), m_iMask(mask) {}
    std::function<void(int)> afterEach;  // runs on the walk thread after track i

protected:
    void run() override { pagewalk::reportProblems(*m_pLink, *m_pReport, m_iMask, afterEach); }

private:
    CMusicLink* m_pLink;
    CAnalyReport* m_pReport;
    int m_iMask;
};

// Loads files (or the working database again, with no files, or the
// library file) and analyses.
inline bool loadAndAnalyse(CMusicLink& link, tagMusicRunMode mode, const QStringList& files,
                           const std::function<void()>& beforeAnalysis = {}, const QString& library = {})
{
    SignalRecorder loaded(&link, &CMusicLink::SendLoadOK);
    SignalRecorder analysed(&link, &CMusicLink::SendAnalyzeOK);
    const QByteArray path = library.toUtf8();
    if (link.InitParam(mode, library.isEmpty() ? nullptr : path.constData()) != 0)
        return false;
    if (!files.isEmpty() && link.LoadExMusicFiles(files) != 0)
        return false;
    if (link.LoadiTunesMusic() != 0 || !(loaded.count() > 0 || loaded.wait(kWaitMs)))
        return false;
    if (beforeAnalysis)
        beforeAnalysis();
    if (link.AnalyzeMusicInfo(CConfig::instance()->Genernal) != 0
        || !(analysed.count() > 0 || analysed.wait(kWaitMs)))
        return false;
    // The engine stores the analysis on a thread of its own, state words
    // included; a box changed meanwhile would be written over.
    link.WaitForSaveToDB();
    return true;
}

// Walks the engine's list into the report and ends as the window does.
inline void fillReport(CMusicLink& link, CAnalyReport& report, bool project = false)
{
    WalkThread walk(&link, &report, CConfig::instance()->Genernal);
    walk.start();
    walk.wait();
    report.ShowReport(project);
    report.CalculateScore();
    // Both ran at once, or after the deliveries still queued.
    QTRY_COMPARE_WITH_TIMEOUT(report.PendingDeliveries(), 0, kWaitMs);
}

// A number column ("State", "Absence") of the working database for the
// file at location; -1 when there is no such row.
inline int storedValue(const QString& location, const char* column)
{
    sqlite3* db = nullptr;
    sqlite3_stmt* statement = nullptr;
    int state = -1;
    if (sqlite3_open_v2(g_strDBName.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK
        && sqlite3_busy_timeout(db, kWaitMs) == SQLITE_OK
        && sqlite3_prepare_v2(db, (QByteArray("select ") + column + " from TracksTable where Location=?").constData(),
                              -1, &statement, nullptr) == SQLITE_OK) {
        const QByteArray path = location.toUtf8();
        sqlite3_bind_text(statement, 1, path.constData(), int(path.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(statement) == SQLITE_ROW)
            state = sqlite3_column_int(statement, 0);
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return state;
}

inline int storedState(const QString& location)
{
    return storedValue(location, "State");
}

// The names a screen reader finds among the cells of a view.
inline QStringList accessibleNames(QWidget* view)
{
    QStringList names;
    // A view lays out its rows, and so offers them, only once it is shown.
    view->window()->show();
    QCoreApplication::processEvents();
    QAccessibleInterface* root = QAccessible::queryAccessibleInterface(view);
    std::function<void(QAccessibleInterface*, int)> walk = [&](QAccessibleInterface* node, int depth) {
        if (!node || depth > 3)
            return;
        for (int i = 0; i < node->childCount(); ++i) {
            QAccessibleInterface* child = node->child(i);
            if (!child)
                continue;
            names << child->text(QAccessible::Name);
            walk(child, depth + 1);
        }
    };
    walk(root, 0);
    return names;
}

} // namespace reporttest
