// The property-list reader and writer: round trips, the forms other
// writers use, damaged input, refused values, and a second reader.
#include "plist.h"

#include <QBuffer>
#include <QDateTime>
#include <QPoint>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(tagPlistResult)

namespace {

QVariant ordered(std::initializer_list<QPair<QString, QVariant>> entries)
{
    return QVariant::fromValue(PlistOrderedDict(entries));
}

// Compares by value and by the type the reader gives back, looking inside
// containers; QVariant's own == would call 5 and 5.0 equal.
bool sameValue(const QVariant& a, const QVariant& b)
{
    if (a.metaType() != b.metaType())
        return false;
    if (a.metaType().id() == QMetaType::Double) {
        const double x = a.toDouble(), y = b.toDouble();
        return (std::isnan(x) && std::isnan(y)) || x == y;
    }
    if (a.metaType().id() == QMetaType::QVariantList) {
        const QVariantList x = a.toList(), y = b.toList();
        if (x.size() != y.size())
            return false;
        for (int i = 0; i < x.size(); ++i)
            if (!sameValue(x.at(i), y.at(i)))
                return false;
        return true;
    }
    if (a.metaType().id() == QMetaType::QVariantMap) {
        const QVariantMap x = a.toMap(), y = b.toMap();
        if (x.keys() != y.keys())
            return false;
        for (auto it = x.cbegin(); it != x.cend(); ++it)
            if (!sameValue(it.value(), y.value(it.key())))
                return false;
        return true;
    }
    if (a.metaType() == QMetaType::fromType<PlistOrderedDict>()) {
        const auto x = a.value<PlistOrderedDict>(), y = b.value<PlistOrderedDict>();
        if (x.size() != y.size())
            return false;
        for (int i = 0; i < x.size(); ++i)
            if (x.at(i).first != y.at(i).first || !sameValue(x.at(i).second, y.at(i).second))
                return false;
        return true;
    }
    return a == b;
}

QByteArray document(const QByteArray& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n"
        + body + "\n</plist>\n";
}

QByteArray allBytes()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(char(i));
    return bytes;
}

QVariant richValue()
{
    const QDateTime when(QDate(2012, 11, 21), QTime(9, 53, 24), Qt::UTC);
    return ordered({
        {QStringLiteral("Name"), QStringLiteral("Sîgur Rós & <Friends> \"live\" 😀 東京")},
        {QStringLiteral("Count"), qlonglong(-42)},
        {QStringLiteral("Biggest"), std::numeric_limits<qulonglong>::max()},
        {QStringLiteral("Ratio"), 0.1},
        {QStringLiteral("Enabled"), true},
        {QStringLiteral("Disabled"), false},
        {QStringLiteral("When"), when},
        {QStringLiteral("Bytes"), allBytes()},
        {QStringLiteral("Lines"), QStringLiteral("one\ntwo\r\nthree\tend  ")},
        {QStringLiteral("List"), QVariantList{qlonglong(1), QStringLiteral("two"), QVariantList{}, ordered({})}},
        {QStringLiteral("Nested"), ordered({{QStringLiteral("Inner"), QVariantList{QByteArray()}}})},
    });
}

} // namespace

class TestPlist : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data()
    {
        QTest::addColumn<QVariant>("value");
        const qlonglong lowest = std::numeric_limits<qlonglong>::min();
        const qlonglong highest = std::numeric_limits<qlonglong>::max();
        QTest::newRow("empty dict") << QVariant(QVariantMap{});
        QTest::newRow("empty array") << QVariant(QVariantList{});
        QTest::newRow("empty string") << QVariant(QString());
        QTest::newRow("escaping") << QVariant(QStringLiteral("a&b<c>d\"e'f ]]> &amp;"));
        QTest::newRow("carriage return") << QVariant(QStringLiteral("\r\n\r"));
        QTest::newRow("surrounding blanks") << QVariant(QStringLiteral("  \t x \n "));
        QTest::newRow("unicode") << QVariant(QStringLiteral("Ärger ß ﬁ 𝄞 😀 中文 עברית"));
        QTest::newRow("integer extremes") << QVariant(QVariantList{lowest, highest, qlonglong(0)});
        QTest::newRow("unsigned beyond signed") << QVariant(qulonglong(highest) + 1);
        QTest::newRow("reals") << QVariant(QVariantList{0.1, -1e300, 1.0, 5e-324, -0.0});
        QTest::newRow("not a number") << QVariant(std::numeric_limits<double>::quiet_NaN());
        QTest::newRow("infinities") << QVariant(QVariantList{std::numeric_limits<double>::infinity(),
                                                             -std::numeric_limits<double>::infinity()});
        QTest::newRow("all byte values") << QVariant(allBytes());
        QTest::newRow("long data") << QVariant(QByteArray(1000, '\x5a'));
        QTest::newRow("empty data") << QVariant(QByteArray());
        QTest::newRow("date") << QVariant(QDateTime(QDate(1904, 1, 1), QTime(0, 0, 3), Qt::UTC));
        QTest::newRow("unicode keys") << QVariant(QVariantMap{{QStringLiteral("ключ"), true},
                                                              {QStringLiteral("&<>"), false}});
        QTest::newRow("rich ordered") << richValue();
    }

    void roundTrip()
    {
        QFETCH(QVariant, value);
        const bool wantOrdered = value.metaType() == QMetaType::fromType<PlistOrderedDict>();
        QByteArray xml;
        QString error;
        QCOMPARE(PlistWrite(value, &xml, &error), int(PLIST_OK));
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVariant back;
        QCOMPARE(PlistRead(xml, &back, &error, wantOrdered ? PLIST_DICT_ORDERED : PLIST_DICT_MAP), int(PLIST_OK));
        QVERIFY2(sameValue(back, value), xml.constData());
    }

    void narrowIntegerTypesComeBackAsLongLong()
    {
        const QVariantList in{int(-7), uint(7), short(3), ushort(4), 2.5f};
        QByteArray xml;
        QCOMPARE(PlistWrite(QVariant(in), &xml), int(PLIST_OK));
        QVariant back;
        QCOMPARE(PlistRead(xml, &back), int(PLIST_OK));
        const QVariantList expected{qlonglong(-7), qlonglong(7), qlonglong(3), qlonglong(4), 2.5};
        QVERIFY(sameValue(back, QVariant(expected)));
    }

    void documentHasDeclarationAndDoctype()
    {
        QByteArray xml;
        QCOMPARE(PlistWrite(QVariant(QVariantMap{{QStringLiteral("k"), qlonglong(1)}}), &xml), int(PLIST_OK));
        const QList<QByteArray> lines = xml.split('\n');
        QVERIFY(lines.size() >= 7);
        QCOMPARE(lines.at(0), QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
        QCOMPARE(lines.at(1), QByteArray("<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                                         "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">"));
        QCOMPARE(lines.at(2), QByteArray("<plist version=\"1.0\">"));
        QCOMPARE(lines.at(3), QByteArray("<dict>"));
        QCOMPARE(lines.at(4), QByteArray("\t<key>k</key>"));
        QCOMPARE(lines.at(5), QByteArray("\t<integer>1</integer>"));
        QVERIFY(xml.endsWith("</dict>\n</plist>\n"));
    }

    void orderedDictKeepsItsOrderAndMapsSort()
    {
        const QVariant value = ordered({{QStringLiteral("zeta"), qlonglong(1)},
                                        {QStringLiteral("alpha"), qlonglong(2)},
                                        {QStringLiteral("mu"), qlonglong(3)}});
        QByteArray xml;
        QCOMPARE(PlistWrite(value, &xml), int(PLIST_OK));
        QVERIFY(xml.indexOf("zeta") < xml.indexOf("alpha"));
        QVERIFY(xml.indexOf("alpha") < xml.indexOf("mu"));

        QVariant asMap;
        QCOMPARE(PlistRead(xml, &asMap), int(PLIST_OK));
        QCOMPARE(asMap.toMap().keys(), (QStringList{"alpha", "mu", "zeta"}));
        QByteArray sorted;
        QCOMPARE(PlistWrite(asMap, &sorted), int(PLIST_OK));
        QVERIFY(sorted.indexOf("alpha") < sorted.indexOf("zeta"));
    }

    void repeatedKeyTakesLastValueAtFirstPlace()
    {
        const QByteArray xml = document("<dict><key>a</key><integer>1</integer><key>b</key><true/>"
                                        "<key>a</key><integer>2</integer></dict>");
        QVariant value;
        QCOMPARE(PlistRead(xml, &value, nullptr, PLIST_DICT_ORDERED), int(PLIST_OK));
        const auto dict = value.value<PlistOrderedDict>();
        QCOMPARE(dict.size(), 2);
        QCOMPARE(dict.at(0).first, QStringLiteral("a"));
        QCOMPARE(dict.at(0).second.toLongLong(), 2LL);
    }

    void readsFormsOfOtherWriters_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("spaced empty elements") << QByteArray("<array><true /><false /></array>")
                                               << QVariant(QVariantList{true, false});
        QTest::newRow("empty string element") << QByteArray("<string/>") << QVariant(QString());
        QTest::newRow("cdata") << QByteArray("<string><![CDATA[a<b>&c]]></string>")
                               << QVariant(QStringLiteral("a<b>&c"));
        QTest::newRow("character references") << QByteArray("<string>&#x1F600;&#233;&amp;&#13;</string>")
                                              << QVariant(QStringLiteral("😀é&\r"));
        QTest::newRow("wrapped base64") << QByteArray("<data>\n\tAAEC\n\tAw==\n\t</data>")
                                        << QVariant(QByteArray("\x00\x01\x02\x03", 4));
        QTest::newRow("padded integer") << QByteArray("<integer> 42 </integer>") << QVariant(qlonglong(42));
        QTest::newRow("hex integer") << QByteArray("<integer>0x1F</integer>") << QVariant(qlonglong(31));
        QTest::newRow("comments between values")
            << QByteArray("<dict><!-- x --><key>k</key><!-- y --><string>v</string></dict>")
            << QVariant(QVariantMap{{QStringLiteral("k"), QStringLiteral("v")}});
        QTest::newRow("real without fraction") << QByteArray("<real>3</real>") << QVariant(3.0);
        QTest::newRow("real infinity") << QByteArray("<real>-infinity</real>")
                                       << QVariant(-std::numeric_limits<double>::infinity());
        QTest::newRow("date") << QByteArray("<date>2040-02-06T04:28:16Z</date>")
                              << QVariant(QDateTime(QDate(2040, 2, 6), QTime(4, 28, 16), Qt::UTC));
    }

    void readsFormsOfOtherWriters()
    {
        QFETCH(QByteArray, body);
        QFETCH(QVariant, expected);
        QVariant value;
        QString error;
        QCOMPARE(PlistRead(document(body), &value, &error), int(PLIST_OK));
        QVERIFY2(sameValue(value, expected), qPrintable(value.toString()));
    }

    void readsWithoutDeclarationOrDoctype()
    {
        QVariant value;
        QCOMPARE(PlistRead(QByteArray("<plist><integer>5</integer></plist>"), &value), int(PLIST_OK));
        QCOMPARE(value.toLongLong(), 5LL);
    }

    void damagedInputIsRefused_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<int>("code");
        const int syntax = PLIST_ERR_SYNTAX, format = PLIST_ERR_FORMAT;
        const QByteArray good = document("<dict><key>a</key><string>b</string></dict>");
        QTest::newRow("empty") << QByteArray() << syntax;
        QTest::newRow("truncated") << good.left(good.size() / 2) << syntax;
        QTest::newRow("binary noise") << QByteArray("\x00\xff\xfe\x01garbage", 11) << syntax;
        QTest::newRow("mismatched tags") << document("<dict><key>a</key><string>b</dict></string>") << syntax;
        QTest::newRow("content after the end") << good + "<plist/>" << syntax;
        QTest::newRow("root is not plist") << QByteArray("<dict/>") << format;
        QTest::newRow("plist without value") << document("") << format;
        QTest::newRow("two values") << document("<true/><false/>") << format;
        QTest::newRow("key without value") << document("<dict><key>a</key></dict>") << format;
        QTest::newRow("value without key") << document("<dict><string>b</string></dict>") << format;
        QTest::newRow("unknown element") << document("<array><banana/></array>") << format;
        QTest::newRow("text outside a value") << document("<array>loose</array>") << format;
        QTest::newRow("element inside string") << document("<string>a<b/>c</string>") << format;
        QTest::newRow("bad integer") << document("<integer>12a</integer>") << format;
        QTest::newRow("empty integer") << document("<integer></integer>") << format;
        QTest::newRow("integer beyond 64 bits") << document("<integer>18446744073709551616</integer>") << format;
        QTest::newRow("negative beyond 64 bits") << document("<integer>-9223372036854775809</integer>") << format;
        QTest::newRow("bad real") << document("<real>1,5</real>") << format;
        QTest::newRow("bad date") << document("<date>2012-13-45T00:00:00Z</date>") << format;
        QTest::newRow("bad base64") << document("<data>!!!!</data>") << format;
        QTest::newRow("boolean with text") << document("<true>yes</true>") << format;
        QTest::newRow("deep nesting") << document(QByteArray(20000, '[').replace("[", "<array>")
                                                  + QByteArray(20000, ']').replace("]", "</array>"))
                                      << format;
    }

    void damagedInputIsRefused()
    {
        QFETCH(QByteArray, xml);
        QFETCH(int, code);
        QVariant value(QStringLiteral("untouched"));
        QString error;
        QCOMPARE(PlistRead(xml, &value, &error), code);
        QVERIFY(!error.isEmpty());
        QVERIFY2(error.startsWith(QLatin1String("line ")), qPrintable(error));
        QCOMPARE(value.toString(), QStringLiteral("untouched"));
    }

    void unwritableValuesLeaveNothingBehind_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::newRow("point") << QVariant(QPoint(1, 2));
        QTest::newRow("invalid variant") << QVariant();
        QTest::newRow("invalid date") << QVariant(QDateTime());
        QTest::newRow("control character") << QVariant(QStringLiteral("a\x01" "b"));
        QTest::newRow("lone surrogate") << QVariant(QString(QChar(0xD800)));
        QTest::newRow("noncharacter") << QVariant(QString(QChar(0xFFFF)));
        QTest::newRow("control character in key")
            << QVariant(QVariantMap{{QStringLiteral("k\x02"), true}});
        QTest::newRow("deep inside a list") << QVariant(QVariantList{true, QVariantList{QVariant(QPoint())}});
    }

    void unwritableValuesLeaveNothingBehind()
    {
        QFETCH(QVariant, value);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QString error;
        QCOMPARE(PlistWrite(&buffer, value, &error), int(PLIST_ERR_TYPE));
        QVERIFY(!error.isEmpty());
        QVERIFY(bytes.isEmpty());
    }

    void devicesMustBeOpen()
    {
        QBuffer closed;
        QVariant value;
        QCOMPARE(PlistRead(&closed, &value), int(PLIST_ERR_READ));
        QCOMPARE(PlistWrite(&closed, QVariant(true)), int(PLIST_ERR_WRITE));
        QCOMPARE(PlistRead(static_cast<QIODevice*>(nullptr), &value), int(PLIST_ERR_ARGS));
        QCOMPARE(PlistRead(QByteArray("<plist><true/></plist>"), nullptr), int(PLIST_ERR_ARGS));
        QCOMPARE(PlistWrite(QVariant(true), nullptr), int(PLIST_ERR_ARGS));
    }

    void valueFragmentEmbedsAtItsDepth()
    {
        const QVariant track = ordered({{QStringLiteral("Track ID"), qlonglong(7)},
                                        {QStringLiteral("Tags"), QVariantList{QStringLiteral("a")}}});
        QByteArray fragment;
        QCOMPARE(PlistWriteValue(track, 2, &fragment), int(PLIST_OK));
        for (const QByteArray& line : fragment.split('\n'))
            QVERIFY2(line.startsWith("\t\t<") || line.startsWith("\t\t\t"), line.constData());
        QVERIFY(fragment.startsWith("\t\t<dict>"));
        QVERIFY(fragment.endsWith("\t\t</dict>"));
        QVariant back;
        QCOMPARE(PlistRead(document("<array>\n" + fragment + "\n</array>"), &back, nullptr, PLIST_DICT_ORDERED),
                 int(PLIST_OK));
        QVERIFY(sameValue(back, QVariant(QVariantList{track})));
        QCOMPARE(PlistWriteValue(QVariant(QPoint()), 0, &fragment), int(PLIST_ERR_TYPE));
        // Elements without content are closed although nothing follows them.
        QCOMPARE(PlistWriteValue(QVariant(true), 1, &fragment), int(PLIST_OK));
        QCOMPARE(fragment, QByteArray("\t<true/>"));
        QCOMPARE(PlistWriteValue(QVariant(QVariantList{}), 0, &fragment), int(PLIST_OK));
        QCOMPARE(fragment, QByteArray("<array/>"));
        QCOMPARE(PlistWriteValue(QVariant(QString()), 0, &fragment), int(PLIST_OK));
        QCOMPARE(fragment, QByteArray("<string/>"));
    }

    // A second, independent reader must agree with ours in both directions.
    void pythonAgrees()
    {
        const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
        if (python.isEmpty())
            QSKIP("python3 is not installed");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString ours = dir.filePath(QStringLiteral("ours.plist"));
        const QString theirs = dir.filePath(QStringLiteral("theirs.plist"));
        QByteArray xml;
        QCOMPARE(PlistWrite(richValue(), &xml), int(PLIST_OK));
        QFile file(ours);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(xml);
        file.close();

        // Python reads our file, checks every value, and writes it back in
        // its own hand.
        const QString script = QStringLiteral(R"(
import plistlib, sys, datetime
with open(sys.argv[1], 'rb') as f:
    d = plistlib.load(f)
assert list(d.keys()) == ['Name', 'Count', 'Biggest', 'Ratio', 'Enabled', 'Disabled', 'When', 'Bytes', 'Lines', 'List', 'Nested'], list(d.keys())
assert d['Name'] == 'Sîgur Rós & <Friends> "live" 😀 東京', d['Name']
assert d['Count'] == -42 and d['Biggest'] == 2**64 - 1
assert d['Ratio'] == 0.1 and d['Enabled'] is True and d['Disabled'] is False
assert d['When'] == datetime.datetime(2012, 11, 21, 9, 53, 24), d['When']
assert d['Bytes'] == bytes(range(256))
assert d['Lines'] == 'one\ntwo\r\nthree\tend  ', repr(d['Lines'])
assert d['List'] == [1, 'two', [], {}]
assert d['Nested'] == {'Inner': [b'']}
with open(sys.argv[2], 'wb') as f:
    plistlib.dump(d, f, sort_keys=False)
)");
        QProcess process;
        process.start(python, {QStringLiteral("-c"), script, ours, theirs});
        QVERIFY(process.waitForFinished(60000));
        QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());

        QFile back(theirs);
        QVERIFY(back.open(QIODevice::ReadOnly));
        QVariant value;
        QString error;
        QCOMPARE(PlistRead(&back, &value, &error, PLIST_DICT_ORDERED), int(PLIST_OK));
        // plistlib turns every carriage return into a line feed when it writes.
        auto expected = richValue().value<PlistOrderedDict>();
        for (auto& entry : expected)
            if (entry.first == QLatin1String("Lines"))
                entry.second = entry.second.toString().replace(QLatin1String("\r\n"), QLatin1String("\n"));
        QVERIFY2(sameValue(value, QVariant::fromValue(expected)), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(TestPlist)
#include "tst_plist.moc"
