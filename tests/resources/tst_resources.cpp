// The compiled-in resources: the bundle's Info.plist and the style sheet.
#include <QApplication>
#include <QFile>
#include <QTest>
#include <QXmlStreamReader>

namespace {

// Reads the top-level <key>/<string> pairs of a property list.
QMap<QString, QString> plistStrings(const QByteArray& xml)
{
    QMap<QString, QString> values;
    QXmlStreamReader reader(xml);
    QString key;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (reader.name() == QLatin1String("key"))
            key = reader.readElementText();
        else if (reader.name() == QLatin1String("string") && !key.isEmpty())
            values.insert(key, reader.readElementText());
    }
    return reader.hasError() ? QMap<QString, QString>() : values;
}

QByteArray readResource(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void infoPlistNamesTheBundle_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("identifier") << "CFBundleIdentifier" << "com.zorva.Vessolin";
        QTest::newRow("name") << "CFBundleName" << "Vessolin";
        QTest::newRow("version") << "CFBundleVersion" << VESSOLIN_EXPECTED_VERSION;
        QTest::newRow("short version") << "CFBundleShortVersionString" << VESSOLIN_EXPECTED_VERSION;
    }

    void infoPlistNamesTheBundle()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        const QMap<QString, QString> values = plistStrings(readResource(QStringLiteral(":/Info.plist")));
        QCOMPARE(values.value(key), value);
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestResources test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_resources.moc"
