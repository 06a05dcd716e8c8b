// A savepoint on the track database's shared connection that rolls back
// unless committed. It nests inside a transaction the application may hold
// (BeginTransaction) and opens one of its own when there is none.
//
// A full disk or an I/O error can make SQLite roll back the whole
// transaction under the savepoint by itself; every write after that would
// stand on its own. The savepoint notices (rolledBack) and never reports
// such a block as committed.
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
    // Whether SQLite has already rolled back the transaction the savepoint
    // stood in: nothing written since the constructor is kept.
    bool rolledBack() const;
    // Releases the savepoint, keeping its changes: 0, -1 when it is not open,
    // DB_ERR_ROLLED_BACK when SQLite had rolled it back already, or SQLite's
    // code (the savepoint then stays open for the destructor).
    int commit();

private:
    std::string m_name;
    int m_status;
    bool m_open = false;
};
