#include "tagfile.h"

#include <taglib/aifffile.h>
#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/asfpicture.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4coverart.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/trueaudiofile.h>
#include <taglib/wavfile.h>

#include <QFile>

#include <new>

#include <sys/stat.h>
#include <unistd.h>

using namespace TagLib;

namespace {

const char* const kPictureFrame = "APIC";
const char* const kCoverItem = "covr";
const char* const kPictureAttribute = "WM/Picture";

// Empty in the sense readers of the tag kinds share: no title, artist,
// album, comment, genre, year or track. ID3v2's own isEmpty also counts
// pictures and other frames, which would stop an MP3 with a bare picture
// frame from falling back to its ID3v1 text.
bool HasText(const Tag* tag)
{
    return tag
        && !(tag->title().isEmpty() && tag->artist().isEmpty() && tag->album().isEmpty()
             && tag->comment().isEmpty() && tag->genre().isEmpty() && tag->year() == 0
             && tag->track() == 0);
}

int Mp3Tag(MPEG::File* file, Tag** tag, bool forWrite)
{
    if (!forWrite) {
        if (HasText(file->ID3v2Tag())) {
            *tag = file->ID3v2Tag();
            return TAG_ID3V2;
        }
        if (HasText(file->ID3v1Tag())) {
            *tag = file->ID3v1Tag();
            return TAG_ID3V1;
        }
        if (HasText(file->APETag())) {
            *tag = file->APETag();
            return TAG_APE;
        }
    }
    // An MP3 without any tag still gets one in memory, so an untagged file
    // reads as empty fields rather than as a file without a tag.
    *tag = file->ID3v2Tag(true);
    return TAG_ID3V2;
}

// The tag of a file of class F, or an unknown extension when TagLib made
// the file object of another class.
template <class F, class Pick>
int PickTag(File* file, Tag** tag, int kind, Pick pick)
{
    F* typed = dynamic_cast<F*>(file);
    if (!typed)
        return FT_UNKNOWN_EXTENSION;
    *tag = pick(typed);
    return kind;
}

ID3v2::AttachedPictureFrame* FirstPictureFrame(ID3v2::Tag* tag)
{
    const ID3v2::FrameList frames = tag->frameList(kPictureFrame);
    return frames.isEmpty() ? nullptr : dynamic_cast<ID3v2::AttachedPictureFrame*>(frames.front());
}

int AddId3v2Picture(ID3v2::Tag* tag, const ByteVector& bytes, CPICTURE_TYPE type)
{
    if (type != CPICTURE_JPEG && type != CPICTURE_PNG)
        return -7;
    auto* frame = new (std::nothrow) ID3v2::AttachedPictureFrame;
    if (!frame)
        return -6;
    frame->setMimeType(type == CPICTURE_JPEG ? "image/jpeg" : "image/png");
    frame->setPicture(bytes);
    tag->addFrame(frame); // the tag owns it from here
    return 0;
}

int AddMp4Picture(MP4::Tag* tag, const ByteVector& bytes, CPICTURE_TYPE type)
{
    MP4::CoverArt::Format format;
    switch (type) {
    case CPICTURE_JPEG: format = MP4::CoverArt::JPEG; break;
    case CPICTURE_PNG: format = MP4::CoverArt::PNG; break;
    case CPICTURE_BMP: format = MP4::CoverArt::BMP; break;
    case CPICTURE_GIF: format = MP4::CoverArt::GIF; break;
    default: return -9;
    }
    MP4::CoverArtList covers = tag->item(kCoverItem).toCoverArtList();
    covers.append(MP4::CoverArt(format, bytes));
    tag->setItem(kCoverItem, MP4::Item(covers));
    return 0;
}

int AddAsfPicture(ASF::Tag* tag, const ByteVector& bytes)
{
    ASF::Picture picture;
    picture.setPicture(bytes);
    tag->setAttribute(kPictureAttribute, ASF::Attribute(picture));
    return 0;
}

} // namespace

QString ExtensionOf(const QString& path)
{
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : path.mid(dot + 1).toUpper();
}

int GetFileType(const QString& path, File* file, Tag** tag, bool forWrite)
{
    if (path.isNull() || !file || !tag)
        return FT_NULL_ARGUMENT;
    *tag = nullptr;
    if (!path.contains(QLatin1Char('.')))
        return FT_NO_EXTENSION;
    const QString ext = ExtensionOf(path);
    if (ext == QLatin1String("MP3")) {
        auto* mpeg = dynamic_cast<MPEG::File*>(file);
        return mpeg ? Mp3Tag(mpeg, tag, forWrite) : FT_UNKNOWN_EXTENSION;
    }
    if (ext == QLatin1String("WMA") || ext == QLatin1String("ASF"))
        return PickTag<ASF::File>(file, tag, TAG_ASF, [](ASF::File* f) { return f->tag(); });
    if (ext == QLatin1String("FLAC"))
        return PickTag<FLAC::File>(file, tag, TAG_ID3V2, [](FLAC::File* f) { return f->ID3v2Tag(false); });
    if (ext == QLatin1String("TTA"))
        return PickTag<TrueAudio::File>(file, tag, TAG_ID3V2,
                                        [](TrueAudio::File* f) { return f->ID3v2Tag(false); });
    if (ext == QLatin1String("AIF") || ext == QLatin1String("AIFF"))
        return PickTag<RIFF::AIFF::File>(file, tag, TAG_ID3V2, [](RIFF::AIFF::File* f) { return f->tag(); });
    if (ext == QLatin1String("WAV"))
        return PickTag<RIFF::WAV::File>(file, tag, TAG_ID3V2, [](RIFF::WAV::File* f) { return f->ID3v2Tag(); });
    if (ext == QLatin1String("M4A"))
        return PickTag<MP4::File>(file, tag, TAG_MP4, [](MP4::File* f) { return f->tag(); });
    return FT_UNKNOWN_EXTENSION;
}

MusicFileState CheckMusicFile(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    if (name.isEmpty() || ::stat(name.constData(), &st) != 0)
        return MUSIC_FILE_MISSING;
    if (!S_ISREG(st.st_mode) || ::access(name.constData(), R_OK) != 0)
        return MUSIC_FILE_UNREADABLE;
    return MUSIC_FILE_OK;
}

std::unique_ptr<FileRef> OpenMusicFile(const QString& path)
{
    if (CheckMusicFile(path) != MUSIC_FILE_OK)
        return nullptr;
    const QByteArray name = QFile::encodeName(path);
    auto ref = std::make_unique<FileRef>(name.constData(), true, AudioProperties::Average);
    // TagLib happily opens a zero-length or truncated file as valid with no
    // audio in it; such a file is not music, whatever its extension says.
    if (ref->isNull() || !ref->file()->isValid() || !ref->audioProperties()
        || ref->audioProperties()->sampleRate() <= 0)
        return nullptr;
    return ref;
}

bool HasPicture(Tag* tag, int kind)
{
    switch (kind) {
    case TAG_ID3V2: {
        auto* id3 = dynamic_cast<ID3v2::Tag*>(tag);
        return id3 && !id3->frameList(kPictureFrame).isEmpty();
    }
    case TAG_MP4: {
        auto* mp4 = dynamic_cast<MP4::Tag*>(tag);
        return mp4 && !mp4->item(kCoverItem).toCoverArtList().isEmpty();
    }
    case TAG_ASF: {
        auto* asf = dynamic_cast<ASF::Tag*>(tag);
        return asf && !asf->attribute(kPictureAttribute).isEmpty();
    }
    default:
        return false;
    }
}

ByteVector FirstPicture(Tag* tag, int kind)
{
    if (!HasPicture(tag, kind))
        return ByteVector();
    switch (kind) {
    case TAG_ID3V2: {
        ID3v2::AttachedPictureFrame* frame = FirstPictureFrame(static_cast<ID3v2::Tag*>(tag));
        return frame ? frame->picture() : ByteVector();
    }
    case TAG_MP4:
        return static_cast<MP4::Tag*>(tag)->item(kCoverItem).toCoverArtList().front().data();
    case TAG_ASF:
        return static_cast<ASF::Tag*>(tag)->attribute(kPictureAttribute).front().toPicture().picture();
    default:
        return ByteVector();
    }
}

int AddPicture(Tag* tag, int kind, const ByteVector& bytes, CPICTURE_TYPE type)
{
    if (auto* id3 = kind == TAG_ID3V2 ? dynamic_cast<ID3v2::Tag*>(tag) : nullptr)
        return AddId3v2Picture(id3, bytes, type);
    if (auto* mp4 = kind == TAG_MP4 ? dynamic_cast<MP4::Tag*>(tag) : nullptr)
        return AddMp4Picture(mp4, bytes, type);
    if (auto* asf = kind == TAG_ASF ? dynamic_cast<ASF::Tag*>(tag) : nullptr)
        return AddAsfPicture(asf, bytes);
    return -6;
}

void KeepShownFields(File* file)
{
    auto* mpeg = dynamic_cast<MPEG::File*>(file);
    if (!mpeg || HasText(mpeg->ID3v2Tag()))
        return;
    const Tag* shown = HasText(mpeg->ID3v1Tag()) ? static_cast<const Tag*>(mpeg->ID3v1Tag())
                     : HasText(mpeg->APETag())   ? static_cast<const Tag*>(mpeg->APETag())
                                                 : nullptr;
    if (shown)
        Tag::duplicate(shown, mpeg->ID3v2Tag(true), false);
}

QString FromTagText(const String& text)
{
    if (text.isLatin1()) {
        const ByteVector bytes = text.data(String::Latin1);
        return QString::fromLatin1(bytes.data(), int(bytes.size()));
    }
    const ByteVector bytes = text.data(String::UTF8);
    return QString::fromUtf8(bytes.data(), int(bytes.size()));
}

String ToTagText(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    return String(std::string(utf8.constData(), size_t(utf8.size())), String::UTF8);
}
