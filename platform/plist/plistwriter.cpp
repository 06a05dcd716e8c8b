#include "plist.h"

#include <QBuffer>
#include <QDateTime>
#include <QIODevice>
#include <QStringList>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kMaxDepth = 512;
constexpr int kBase64Line = 76;

const char kDoctype[] = "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                        "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">";

enum tagValueKind { VK_NONE, VK_BOOL, VK_INTEGER, VK_UNSIGNED, VK_REAL, VK_STRING, VK_DATE,
                    VK_DATA, VK_ARRAY, VK_MAP, VK_HASH, VK_ORDERED };

tagValueKind kindOf(const QVariant& value)
{
    const QMetaType type = value.metaType();
    if (type == QMetaType::fromType<PlistOrderedDict>())
        return VK_ORDERED;
    switch (type.id()) {
    case QMetaType::Bool: return VK_BOOL;
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::SChar:
    case QMetaType::Char: return VK_INTEGER;
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::UChar: return VK_UNSIGNED;
    case QMetaType::Double:
    case QMetaType::Float: return VK_REAL;
    case QMetaType::QString: return VK_STRING;
    case QMetaType::QDateTime: return value.toDateTime().isValid() ? VK_DATE : VK_NONE;
    case QMetaType::QByteArray: return VK_DATA;
    case QMetaType::QVariantList:
    case QMetaType::QStringList: return VK_ARRAY;
    case QMetaType::QVariantMap: return VK_MAP;
    case QMetaType::QVariantHash: return VK_HASH;
    default: return VK_NONE;
    }
}

// XML 1.0 cannot carry these at all, not even as character references.
bool isXmlText(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r')
            return false;
        if (c == 0xFFFE || c == 0xFFFF)
            return false;
        if (QChar::isHighSurrogate(c)) {
            if (i + 1 >= text.size() || !QChar::isLowSurrogate(text.at(i + 1).unicode()))
                return false;
            ++i;
        } else if (QChar::isLowSurrogate(c)) {
            return false;
        }
    }
    return true;
}

QList<QPair<QString, QVariant>> entriesOf(const QVariant& value, tagValueKind kind)
{
    if (kind == VK_ORDERED)
        return value.value<PlistOrderedDict>();
    QList<QPair<QString, QVariant>> entries;
    if (kind == VK_MAP) {
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            entries.append(qMakePair(it.key(), it.value()));
        return entries;
    }
    const QVariantHash hash = value.toHash();
    for (auto it = hash.cbegin(); it != hash.cend(); ++it)
        entries.append(qMakePair(it.key(), it.value()));
    std::sort(entries.begin(), entries.end(),
              [](const QPair<QString, QVariant>& a, const QPair<QString, QVariant>& b) { return a.first < b.first; });
    return entries;
}

// Looks at the whole tree before a byte is written, so that a refused value
// never leaves half a document behind.
bool validate(const QVariant& value, int depth, QString* error)
{
    if (depth > kMaxDepth) {
        *error = QStringLiteral("values nested too deeply");
        return false;
    }
    const tagValueKind kind = kindOf(value);
    switch (kind) {
    case VK_NONE:
        *error = QStringLiteral("a value of type \"%1\" has no property-list form")
                     .arg(QString::fromLatin1(value.metaType().name() ? value.metaType().name() : "invalid"));
        return false;
    case VK_STRING:
        if (!isXmlText(value.toString())) {
            *error = QStringLiteral("a string holds characters XML cannot carry");
            return false;
        }
        return true;
    case VK_ARRAY: {
        const QVariantList list = value.toList();
        return std::all_of(list.cbegin(), list.cend(),
                           [&](const QVariant& item) { return validate(item, depth + 1, error); });
    }
    case VK_MAP:
    case VK_HASH:
    case VK_ORDERED:
        for (const auto& entry : entriesOf(value, kind)) {
            if (!isXmlText(entry.first)) {
                *error = QStringLiteral("a key holds characters XML cannot carry");
                return false;
            }
            if (!validate(entry.second, depth + 1, error))
                return false;
        }
        return true;
    default:
        return true;
    }
}

QString realText(double value)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("+infinity") : QStringLiteral("-infinity");
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

class CPlistWriter
{
public:
    explicit CPlistWriter(QIODevice* out) : m_xml(out) {}

    void writeDocument(const QVariant& root);
    void writeValue(const QVariant& value, int depth);
    // An empty element's "/>" waits for the next write; a fragment has none.
    void finish() { m_xml.writeCharacters(QString()); }
    bool failed() const { return m_xml.hasError(); }

private:
    void newLine(int depth);
    void writeText(const QString& text);
    void writeTextElement(const char* name, const QString& text);
    void writeData(const QByteArray& bytes, int depth);
    void writeArray(const QVariantList& list, int depth);
    void writeDict(const QList<QPair<QString, QVariant>>& entries, int depth);

    QXmlStreamWriter m_xml;
};

void CPlistWriter::writeDocument(const QVariant& root)
{
    m_xml.writeStartDocument();
    m_xml.writeCharacters(QStringLiteral("\n"));
    m_xml.writeDTD(QString::fromLatin1(kDoctype));
    m_xml.writeCharacters(QStringLiteral("\n"));
    m_xml.writeStartElement(QStringLiteral("plist"));
    m_xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
    m_xml.writeCharacters(QStringLiteral("\n"));
    writeValue(root, 0);
    m_xml.writeCharacters(QStringLiteral("\n"));
    m_xml.writeEndElement();
    m_xml.writeEndDocument();
}

void CPlistWriter::newLine(int depth)
{
    m_xml.writeCharacters(QStringLiteral("\n") + QString(depth, QLatin1Char('\t')));
}

// A carriage return written as itself would come back as a line feed
// (XML normalises line ends), so it goes out as a character reference.
void CPlistWriter::writeText(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('\r'));
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0)
            m_xml.writeEntityReference(QStringLiteral("#13"));
        if (!parts.at(i).isEmpty())
            m_xml.writeCharacters(parts.at(i));
    }
}

void CPlistWriter::writeTextElement(const char* name, const QString& text)
{
    m_xml.writeStartElement(QLatin1String(name));
    writeText(text);
    m_xml.writeEndElement();
}

void CPlistWriter::writeValue(const QVariant& value, int depth)
{
    const tagValueKind kind = kindOf(value);
    switch (kind) {
    case VK_BOOL:
        m_xml.writeEmptyElement(value.toBool() ? QStringLiteral("true") : QStringLiteral("false"));
        break;
    case VK_INTEGER:
        writeTextElement("integer", QString::number(value.toLongLong()));
        break;
    case VK_UNSIGNED:
        writeTextElement("integer", QString::number(value.toULongLong()));
        break;
    case VK_REAL:
        writeTextElement("real", realText(value.toDouble()));
        break;
    case VK_STRING:
        writeTextElement("string", value.toString());
        break;
    case VK_DATE:
        writeTextElement("date", value.toDateTime().toUTC().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'")));
        break;
    case VK_DATA:
        writeData(value.toByteArray(), depth);
        break;
    case VK_ARRAY:
        writeArray(value.toList(), depth);
        break;
    case VK_MAP:
    case VK_HASH:
    case VK_ORDERED:
        writeDict(entriesOf(value, kind), depth);
        break;
    case VK_NONE:
        break;
    }
}

void CPlistWriter::writeData(const QByteArray& bytes, int depth)
{
    m_xml.writeStartElement(QStringLiteral("data"));
    const QByteArray base64 = bytes.toBase64();
    for (qsizetype at = 0; at < base64.size(); at += kBase64Line) {
        newLine(depth);
        m_xml.writeCharacters(QString::fromLatin1(base64.mid(at, kBase64Line)));
    }
    newLine(depth);
    m_xml.writeEndElement();
}

void CPlistWriter::writeArray(const QVariantList& list, int depth)
{
    if (list.isEmpty()) {
        m_xml.writeEmptyElement(QStringLiteral("array"));
        return;
    }
    m_xml.writeStartElement(QStringLiteral("array"));
    for (const QVariant& item : list) {
        newLine(depth + 1);
        writeValue(item, depth + 1);
    }
    newLine(depth);
    m_xml.writeEndElement();
}

void CPlistWriter::writeDict(const QList<QPair<QString, QVariant>>& entries, int depth)
{
    if (entries.isEmpty()) {
        m_xml.writeEmptyElement(QStringLiteral("dict"));
        return;
    }
    m_xml.writeStartElement(QStringLiteral("dict"));
    for (const auto& entry : entries) {
        newLine(depth + 1);
        writeTextElement("key", entry.first);
        newLine(depth + 1);
        writeValue(entry.second, depth + 1);
    }
    newLine(depth);
    m_xml.writeEndElement();
}

int refuse(int code, const QString& message, QString* error)
{
    if (error)
        *error = message;
    return code;
}

} // namespace

int PlistWrite(QIODevice* out, const QVariant& root, QString* error)
{
    if (!out)
        return PLIST_ERR_ARGS;
    if (!out->isWritable())
        return refuse(PLIST_ERR_WRITE, QStringLiteral("the device is not open for writing"), error);
    QString why;
    if (!validate(root, 0, &why))
        return refuse(PLIST_ERR_TYPE, why, error);
    CPlistWriter writer(out);
    writer.writeDocument(root);
    if (writer.failed())
        return refuse(PLIST_ERR_WRITE, QStringLiteral("the device refused the bytes"), error);
    return PLIST_OK;
}

int PlistWrite(const QVariant& root, QByteArray* out, QString* error)
{
    if (!out)
        return PLIST_ERR_ARGS;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const int result = PlistWrite(&buffer, root, error);
    if (result == PLIST_OK)
        *out = bytes;
    return result;
}

int PlistWriteValue(const QVariant& value, int depth, QByteArray* out, QString* error)
{
    if (!out || depth < 0)
        return PLIST_ERR_ARGS;
    QString why;
    if (!validate(value, 0, &why))
        return refuse(PLIST_ERR_TYPE, why, error);
    QByteArray bytes(depth, '\t');
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly | QIODevice::Append);
    CPlistWriter writer(&buffer);
    writer.writeValue(value, depth);
    writer.finish();
    if (writer.failed())
        return refuse(PLIST_ERR_WRITE, QStringLiteral("the value could not be written"), error);
    *out = bytes;
    return PLIST_OK;
}
