// Paths shared by the tests: the committed fixtures and the optional
// real-world inputs that live outside the project.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

namespace testenv {

// tests/fixtures of the source tree.
inline QString fixturesDir()
{
    return QString::fromLocal8Bit(qgetenv("VESSOLIN_FIXTURES"));
}

inline QString fixture(const QString& name)
{
    return fixturesDir() + QLatin1Char('/') + name;
}

// ../shared/testdata beside the checkout; empty when absent (a user's
// checkout has none), and tests then skip.
inline QString sharedTestData(const QString& relative)
{
    const QString root = QString::fromLocal8Bit(qgetenv("VESSOLIN_TESTDATA"));
    const QString path = root + QLatin1Char('/') + relative;
    return root.isEmpty() || !QFile::exists(path) ? QString() : path;
}

inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace testenv
