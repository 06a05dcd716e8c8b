// The append-only record of changes kept beside the library file until the
// file itself holds them. A change counts once its line is on disk; a line
// a crash cut short is dropped when the journal is read.
#pragma once

#include "platformbase.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

using JournalRecord = QList<QByteArray>;

class CJournal
{
public:
    // A journal made new takes library's ACL and mode, its permission bits.
    CJournal(const QString& path, const QString& library, int mode);

    // Every whole record, oldest first, also of a journal with a second
    // name or a link in its place (logged). What follows the last whole
    // record is cut off the file so that new records follow a whole one;
    // a journal with a second name or a link is never written through: the
    // first append puts a plain file holding its whole records in its place.
    bool read(QList<JournalRecord>* records, QString* error);
    // Writes one record and waits until it is on disk. On failure the
    // journal is as before and nothing counts.
    bool append(const JournalRecord& fields, QString* error);
    // Bytes of whole records in the journal.
    qint64 size() const { return m_size; }
    // After the library file took every change.
    bool remove(QString* error);

private:
    bool openForAppend(QString* error);
    bool replaceForeign(QString* error);
    bool createFile(QString* error);

    QString m_path;
    QString m_library;
    int m_mode;
    std::optional<CFileDescriptor> m_file; // open from the first append until remove
    qint64 m_size = 0;
    bool m_broken = false; // a failed write could not be taken back
    bool m_foreign = false; // read through a link or a second name, not yet replaced
    QByteArray m_carried;   // its whole records, for the file that replaces it
};
