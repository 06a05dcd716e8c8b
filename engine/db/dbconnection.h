// Internals shared by the track database's source files: the process-wide
// connection, the lock every call holds, and a prepared statement that
// finalizes itself.
#pragma once

#include <sqlite3.h>

#include <mutex>

namespace trackdb {

// Held for the whole of every database call: it keeps a close from pulling the
// handle away under another thread, keeps the batch cache consistent, and
// makes sqlite3_changes() read the count of our own statement.
std::mutex& callLock();

// The open connection's handle, or null. Call with callLock() held.
sqlite3* handle();

// Executes a fixed SQL text; the SQLite result, message printed by the caller.
int exec(sqlite3* db, const char* sql, char** message);

// Canonical spelling of a column of TracksTable (compared without regard to
// ASCII case, as SQLite does), or null when the name is none of them. Column
// names are the one part of a statement that cannot be bound, so only these
// fixed words ever reach SQL text.
const char* tableColumn(const char* name);

// Forgets the batch cache and the remembered row count (a new file is open).
void resetReadState();

class Statement
{
public:
    Statement(sqlite3* db, const char* sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // SQLITE_OK when the text was prepared.
    int prepareResult() const { return m_prepare; }
    sqlite3_stmt* get() const { return m_stmt; }

    // Texts and blobs are bound without copying: they must outlive step().
    // A value SQLite refuses (longer than its limit) fails the statement,
    // which then never runs with that parameter left NULL.
    void bindText(int pos, const char* text);          // null binds NULL
    void bindTextOrEmpty(int pos, const char* text);   // null binds ''
    void bindInt(int pos, long long value);
    void bindNull(int pos);
    void bindBlob(int pos, const void* data, int length);

    // The first failure when a bind failed or an earlier step did, without
    // running again.
    int step();
    // Finalizes now: the first failure of the statement's life, else SQLITE_OK.
    int finish();

private:
    void bound(int result);

    sqlite3_stmt* m_stmt = nullptr;
    int m_prepare = SQLITE_OK;
    int m_failure = SQLITE_OK; // of a bind or a step
};

} // namespace trackdb
