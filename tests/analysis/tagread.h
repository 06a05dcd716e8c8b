// Reads back what the engine wrote into a file's tags, with TagLib itself.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tag.h>

namespace tagread {

struct Fields {
    bool ok = false;
    QString title, artist, album, genre, comment;
    unsigned int year = 0;
};

inline Fields fields(const QString& path)
{
    Fields f;
    TagLib::FileRef ref(QFile::encodeName(path).constData());
    if (ref.isNull() || !ref.tag())
        return f;
    const TagLib::Tag* tag = ref.tag();
    f.ok = true;
    f.title = QString::fromStdString(tag->title().to8Bit(true));
    f.artist = QString::fromStdString(tag->artist().to8Bit(true));
    f.album = QString::fromStdString(tag->album().to8Bit(true));
    f.genre = QString::fromStdString(tag->genre().to8Bit(true));
    f.comment = QString::fromStdString(tag->comment().to8Bit(true));
    f.year = tag->year();
    return f;
}

// The first attached picture of an MP3's ID3v2 tag; empty for none.
inline QByteArray mp3Picture(const QString& path)
{
    TagLib::MPEG::File file(QFile::encodeName(path).constData());
    TagLib::ID3v2::Tag* tag = file.isValid() ? file.ID3v2Tag() : nullptr;
    if (!tag)
        return QByteArray();
    const TagLib::ID3v2::FrameList frames = tag->frameListMap()["APIC"];
    if (frames.isEmpty())
        return QByteArray();
    const auto* picture = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(frames.front());
    if (!picture)
        return QByteArray();
    const TagLib::ByteVector bytes = picture->picture();
    return QByteArray(bytes.data(), int(bytes.size()));
}

} // namespace tagread
