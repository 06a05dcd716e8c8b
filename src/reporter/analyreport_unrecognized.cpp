// The Refix run over "Unrecognized Songs": a song with a file is converted
// and looked up by its audio, one without gets the artwork search; at the
// end the complete ones go back to their categories. GUI thread only.
#include "reporter/analyreport.h"

#include "common.h"
#include "config.h"
#include "musiclink.h"
#include "reporter/reportlists.h"
#include "reporter/typetreeitem.h"
#include "sharedimages.h"
#include "treeitem.h"

#include <QScrollBar>

void CAnalyReport::StartFixFailed()
{
    WriteUILog(QStringLiteral("CAnalyReport::StartFixFailed();"));
    m_iFailedState = CTL_RUN;
    m_eFixState = FS_RUN;
    editorForget();
    StopPlay();
    m_iFixNum = 0;
    m_iFixTotal = m_pTreeFailed->topLevelItemCount();
    for (int i = 0; i < m_pTreeFailed->topLevelItemCount(); ++i)
        for (int column : {6, 7, 8})
            m_pTreeFailed->topLevelItem(i)->setIcon(column, SharedIcon(g_pIconNull));
    TypeRow(CAT_UNRECOGNIZED)->MarkFixing();
    FixAnalyList();
}

void CAnalyReport::FixFailed()
{
    const int rows = m_pTreeFailed->topLevelItemCount();
    bool refused = false, running = false;
    for (int i = 0; i < rows; ++i) {
        auto* item = static_cast<CTreeItem*>(m_pTreeFailed->topLevelItem(i));
        const int slot = m_slots.SlotForRow(item, item->checkState(0) == Qt::Checked, running);
        if (slot < 0)
            continue;
        m_iFixNum = i;
        if (item->GetPath().isEmpty()) {
            if (m_pMusicLink->DowldMusicInfo(item->GetID(), nullptr, DW_SEARCH_ARTWORK, FT_DEFAULT, 1) != 0) {
                item->SetFixState(DS_FAILED);
                if (g_pFailed)
                    item->setIcon(8, *g_pFailed);
                refused = true;
                continue;
            }
            m_slots.Hold(slot, TK_UNRECOGNIZED, item, item);
        } else {
            emit StartFixAll(tr("Fixing unrecognized song: %1").arg(item->text(2)));
            item->SetConverPath(wavPathFor(item->GetPersistentID()));
            WriteUILog(QStringLiteral("FixFailed Converter id: %1 Name:%2 Artist:%3 Album:%4")
                           .arg(item->GetPersistentID(), item->text(2), item->text(4), item->text(5)));
            if (!m_slots.Start(slot, TK_UNRECOGNIZED, item, item)) {
                item->SetFixState(DS_FAILED);
                if (g_pFailed)
                    item->setIcon(8, *g_pFailed);
                continue;
            }
        }
        if (i > 0 && i % 17 == 0)
            m_pTreeFailed->verticalScrollBar()->setValue(i);
        if (g_pRun)
            item->setIcon(8, *g_pRun);
        return;
    }
    if (running)
        return;
    if (refused) {
        // No lookup of ours is left to end and call the next step, so the
        // run would stand still until a pause and continue: ask for it.
        QMetaObject::invokeMethod(this, &CAnalyReport::FixAnalyList, Qt::QueuedConnection);
        return;
    }
    m_slots.FreeAll();
    // Closed here, not on the worker: the dispatch that got us here calls
    // again at once and must find nothing left to run.
    m_iFailedState = CTL_STOP;
    snapshotLists();
    m_pFixFailedThread->start(QThread::InheritPriority);
}
