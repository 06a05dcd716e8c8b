#include "plist.h"

#include <QBuffer>
#include <QDateTime>
#include <QHash>
#include <QIODevice>
#include <QXmlStreamReader>

#include <limits>

namespace {

// Damaged or hostile files may nest without end; the reader recurses.
constexpr int kMaxDepth = 512;

class CPlistReader
{
public:
    CPlistReader(QIODevice* in, tagPlistDictForm form) : m_xml(in), m_form(form)
    {
        m_xml.setNamespaceProcessing(false);
    }

    int read(QVariant* root, QString* error);

private:
    bool nextElement();
    bool expectEnd(QStringView name);
    bool readValue(QVariant* out, int depth);
    bool readDict(QVariant* out, int depth);
    bool readArray(QVariant* out, int depth);
    bool readText(QString* out);
    bool readEmpty();
    bool readInteger(QVariant* out);
    bool readReal(QVariant* out);
    bool readDate(QVariant* out);
    bool readData(QVariant* out);
    bool fail(int code, const QString& message);

    QXmlStreamReader m_xml;
    tagPlistDictForm m_form;
    int m_code = PLIST_OK;
    QString m_message;
};

int CPlistReader::read(QVariant* root, QString* error)
{
    QVariant value;
    if (!nextElement())
        fail(PLIST_ERR_FORMAT, QStringLiteral("no root element"));
    else if (m_xml.name() != QLatin1String("plist"))
        fail(PLIST_ERR_FORMAT, QStringLiteral("root element <%1> is not <plist>").arg(m_xml.name()));
    else if (!nextElement())
        fail(PLIST_ERR_FORMAT, QStringLiteral("<plist> holds no value"));
    else if (readValue(&value, 0) && (nextElement(), expectEnd(u"plist"))) {
        while (!m_xml.atEnd())
            m_xml.readNext();
        if (m_xml.hasError())
            fail(PLIST_ERR_SYNTAX, m_xml.errorString());
    }
    if (m_code == PLIST_OK) {
        *root = value;
        return PLIST_OK;
    }
    if (error)
        *error = QStringLiteral("line %1, column %2: %3")
                     .arg(m_xml.lineNumber())
                     .arg(m_xml.columnNumber())
                     .arg(m_message);
    return m_code;
}

bool CPlistReader::fail(int code, const QString& message)
{
    // The first failure is the one worth reporting; later ones follow from it.
    if (m_code == PLIST_OK) {
        const bool xmlBroken = m_xml.hasError() && m_xml.error() != QXmlStreamReader::UnexpectedElementError;
        m_code = xmlBroken ? PLIST_ERR_SYNTAX : code;
        m_message = xmlBroken ? m_xml.errorString() : message;
    }
    return false;
}

// Moves to the next start element; false at an end element, at the end of
// the document or on an error. Text other than white space between
// elements is an error.
bool CPlistReader::nextElement()
{
    while (!m_xml.atEnd()) {
        switch (m_xml.readNext()) {
        case QXmlStreamReader::StartElement:
            return true;
        case QXmlStreamReader::EndElement:
            return false;
        case QXmlStreamReader::Characters:
            if (!m_xml.isWhitespace())
                return fail(PLIST_ERR_FORMAT, QStringLiteral("text outside a value"));
            break;
        default:
            break;
        }
    }
    if (m_xml.hasError())
        return fail(PLIST_ERR_SYNTAX, m_xml.errorString());
    return false;
}

// After the last child of a container: the reader must stand on its end.
bool CPlistReader::expectEnd(QStringView name)
{
    if (m_code != PLIST_OK)
        return false;
    if (m_xml.tokenType() == QXmlStreamReader::StartElement)
        return fail(PLIST_ERR_FORMAT, QStringLiteral("unexpected <%1> in <%2>").arg(m_xml.name(), name));
    if (m_xml.tokenType() != QXmlStreamReader::EndElement || m_xml.name() != name)
        return fail(PLIST_ERR_SYNTAX, QStringLiteral("<%1> is not closed").arg(name));
    return true;
}

bool CPlistReader::readValue(QVariant* out, int depth)
{
    if (depth > kMaxDepth)
        return fail(PLIST_ERR_FORMAT, QStringLiteral("values nested too deeply"));
    const QStringView name = m_xml.name();
    if (name == QLatin1String("dict"))
        return readDict(out, depth);
    if (name == QLatin1String("array"))
        return readArray(out, depth);
    if (name == QLatin1String("string")) {
        QString text;
        if (!readText(&text))
            return false;
        *out = text;
        return true;
    }
    if (name == QLatin1String("integer"))
        return readInteger(out);
    if (name == QLatin1String("real"))
        return readReal(out);
    if (name == QLatin1String("true") || name == QLatin1String("false")) {
        const bool value = name == QLatin1String("true");
        if (!readEmpty())
            return false;
        *out = value;
        return true;
    }
    if (name == QLatin1String("date"))
        return readDate(out);
    if (name == QLatin1String("data"))
        return readData(out);
    return fail(PLIST_ERR_FORMAT, QStringLiteral("unknown element <%1>").arg(name));
}

bool CPlistReader::readDict(QVariant* out, int depth)
{
    QVariantMap map;
    PlistOrderedDict ordered;
    QHash<QString, int> places;
    while (nextElement()) {
        if (m_xml.name() != QLatin1String("key"))
            return fail(PLIST_ERR_FORMAT, QStringLiteral("<%1> where a <key> belongs").arg(m_xml.name()));
        QString key;
        if (!readText(&key))
            return false;
        if (!nextElement())
            return m_code == PLIST_OK ? fail(PLIST_ERR_FORMAT, QStringLiteral("key \"%1\" has no value").arg(key))
                                      : false;
        QVariant value;
        if (!readValue(&value, depth + 1))
            return false;
        if (m_form == PLIST_DICT_MAP) {
            map.insert(key, value);
            continue;
        }
        // A repeated key keeps its first place and takes the later value,
        // as a map would.
        const auto place = places.constFind(key);
        if (place != places.constEnd()) {
            ordered[*place].second = value;
        } else {
            places.insert(key, ordered.size());
            ordered.append(qMakePair(key, value));
        }
    }
    if (!expectEnd(u"dict"))
        return false;
    *out = m_form == PLIST_DICT_MAP ? QVariant(map) : QVariant::fromValue(ordered);
    return true;
}

bool CPlistReader::readArray(QVariant* out, int depth)
{
    QVariantList list;
    while (nextElement()) {
        QVariant value;
        if (!readValue(&value, depth + 1))
            return false;
        list.append(value);
    }
    if (!expectEnd(u"array"))
        return false;
    *out = list;
    return true;
}

bool CPlistReader::readText(QString* out)
{
    const QString name = m_xml.name().toString();
    *out = m_xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
    if (m_xml.hasError())
        return fail(PLIST_ERR_FORMAT, QStringLiteral("<%1> holds more than text").arg(name));
    return true;
}

bool CPlistReader::readEmpty()
{
    QString text;
    if (!readText(&text))
        return false;
    if (!text.trimmed().isEmpty())
        return fail(PLIST_ERR_FORMAT, QStringLiteral("a boolean holds text"));
    return true;
}

bool CPlistReader::readInteger(QVariant* out)
{
    QString text;
    if (!readText(&text))
        return false;
    text = text.trimmed();
    bool ok = false;
    const bool hex = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    const qlonglong value = hex ? text.mid(2).toLongLong(&ok, 16) : text.toLongLong(&ok, 10);
    if (ok) {
        *out = value;
        return true;
    }
    // Unsigned 64-bit values beyond qlonglong are legal in the format.
    const qulonglong big = hex ? text.mid(2).toULongLong(&ok, 16) : text.toULongLong(&ok, 10);
    if (!ok || text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+')))
        return fail(PLIST_ERR_FORMAT, QStringLiteral("\"%1\" is no integer").arg(text));
    *out = big;
    return true;
}

bool CPlistReader::readReal(QVariant* out)
{
    QString text;
    if (!readText(&text))
        return false;
    text = text.trimmed();
    const QString lower = text.toLower();
    const double inf = std::numeric_limits<double>::infinity();
    if (lower == QLatin1String("nan")) {
        *out = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    if (lower == QLatin1String("inf") || lower == QLatin1String("+inf") || lower == QLatin1String("infinity")
        || lower == QLatin1String("+infinity")) {
        *out = inf;
        return true;
    }
    if (lower == QLatin1String("-inf") || lower == QLatin1String("-infinity")) {
        *out = -inf;
        return true;
    }
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok)
        return fail(PLIST_ERR_FORMAT, QStringLiteral("\"%1\" is no real number").arg(text));
    *out = value;
    return true;
}

bool CPlistReader::readDate(QVariant* out)
{
    QString text;
    if (!readText(&text))
        return false;
    QDateTime date = QDateTime::fromString(text.trimmed(), Qt::ISODate);
    if (!date.isValid())
        return fail(PLIST_ERR_FORMAT, QStringLiteral("\"%1\" is no date").arg(text));
    *out = date.toUTC();
    return true;
}

bool CPlistReader::readData(QVariant* out)
{
    QString text;
    if (!readText(&text))
        return false;
    QByteArray compact = text.toLatin1();
    compact.replace(' ', "").replace('\t', "").replace('\n', "").replace('\r', "");
    auto decoded = QByteArray::fromBase64Encoding(compact, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return fail(PLIST_ERR_FORMAT, QStringLiteral("<data> is not Base64"));
    *out = decoded.decoded;
    return true;
}

} // namespace

int PlistRead(QIODevice* in, QVariant* root, QString* error, tagPlistDictForm form)
{
    if (!in || !root)
        return PLIST_ERR_ARGS;
    if (!in->isReadable()) {
        if (error)
            *error = QStringLiteral("the device is not open for reading");
        return PLIST_ERR_READ;
    }
    CPlistReader reader(in, form);
    return reader.read(root, error);
}

int PlistRead(const QByteArray& xml, QVariant* root, QString* error, tagPlistDictForm form)
{
    // Through a device: the reader then decodes piecewise instead of
    // holding a decoded copy of the whole text.
    QByteArray copy = xml;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return PlistRead(&buffer, root, error, form);
}
