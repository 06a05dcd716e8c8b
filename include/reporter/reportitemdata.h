// The part of a report row the fixing run's converter slots work on,
// without the widget item around it. GUI thread only, as the rows.
#pragma once

#include "cadenzo.h"

#include <QString>

#include <utility>

// What a report row and an artwork cell both know of their track.
class CReportItemData
{
public:
    void* GetID() { return m_pID; }
    int GetAbsenceType() { return m_iAbsence; }
    void SetFixState(tagDownloadState state) { m_eFixState = state; }
    tagDownloadState GetFixState() const { return m_eFixState; }
    void SetPath(const QString& path) { m_strPath = path; }
    QString GetPath() const { return m_strPath; }
    void SetPersistentID(const QString& id) { m_strPersistentID = id; }
    QString GetPersistentID() const { return m_strPersistentID; }
    void SetConverPath(QString path) { m_strConverPath = std::move(path); }
    QString GetConverPath() const { return m_strConverPath; }

protected:
    CReportItemData(void* id, int absence) : m_pID(id), m_iAbsence(absence) {}
    void SetTrack(void* id, int absence)
    {
        m_pID = id;
        m_iAbsence = absence;
    }

private:
    void* m_pID = nullptr;
    int m_iAbsence = 0;
    tagDownloadState m_eFixState = DS_NONE;
    QString m_strPath;
    QString m_strPersistentID;
    QString m_strConverPath;
};
