// A savepoint on the track database's shared connection that rolls back
// unless committed. It nests inside a transaction the application may hold
// (BeginTransaction) and opens one of its own when there is none.
#pragma once

#include <string>

class DBSavepoint
{
public:
    // name: a plain SQL identifier (letters, digits, '_'), fixed in code.
    explicit DBSavepoint(const char* name);
    // Rolls back everything since the constructor unless commit() succeeded.
    ~DBSavepoint();
    DBSavepoint(const DBSavepoint&) = delete;
    DBSavepoint& operator=(const DBSavepoint&) = delete;

    // 0 when the savepoint is open, else why not: -1 no connection, -2 a name
    // that is not a plain identifier, or SQLite's code.
    int status() const { return m_status; }
    // Releases the savepoint, keeping its changes: 0, -1 when it is not open,
    // or SQLite's code (the savepoint then stays open for the destructor).
    int commit();

private:
    std::string m_name;
    int m_status;
    bool m_open = false;
};
