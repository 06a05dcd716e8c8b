// MP4: a tree of atoms. TagLib reads the whole tree, descending into the
// container atoms, and takes the file as broken when any atom is shorter
// than its header or named outside printable ASCII. The picture is a
// "covr" item below moov/udta/meta/ilst holding "data" atoms of an image
// type; the audio is the first track whose handler says "soun".
#include "artworkscan.h"
#include "scanfile.h"

#include <QByteArray>

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

namespace {

constexpr int kMaxDepth = 32;

struct Atom : tagAtomHeader {
    std::vector<Atom> children;

    // The first child of that name; null when there is none.
    const Atom* child(const char* wanted) const
    {
        for (const Atom& atom : children) {
            if (atom.name == wanted)
                return &atom;
        }
        return nullptr;
    }
    // The first atom along the path of names below this one.
    const Atom* find(std::initializer_list<const char*> path) const
    {
        const Atom* atom = this;
        for (const char* step : path) {
            atom = atom->child(step);
            if (!atom)
                return nullptr;
        }
        return atom;
    }
};

bool IsContainer(const QByteArray& name)
{
    static const char* const kContainers[] = {"moov", "udta", "mdia", "meta", "ilst", "stbl",
                                              "minf", "moof", "traf", "trak", "stsd"};
    for (const char* container : kContainers) {
        if (name == container)
            return true;
    }
    return false;
}

bool IsAtomName(const unsigned char* name)
{
    for (int i = 0; i < 4; ++i) {
        if ((name[i] < ' ' || name[i] > '~') && name[i] != 0xA9)
            return false;
    }
    return true;
}

class CAtomReader
{
public:
    explicit CAtomReader(CScanFile& file) : m_file(file) {}

    // The atom at offset and where reading goes on after it (for a
    // container, where its last child ended). False for a broken atom, or
    // one whose reading the scan does not follow.
    bool read(int64_t offset, int depth, Atom& atom, int64_t* next);

private:
    bool readChildren(int64_t from, int depth, Atom& atom, int64_t* next);

    CScanFile& m_file;
};

bool CAtomReader::read(int64_t offset, int depth, Atom& atom, int64_t* next)
{
    if (depth > kMaxDepth || !ReadAtomHeader(m_file, offset, atom))
        return false;
    if (!IsContainer(atom.name)) {
        *next = offset + atom.length;
        return true;
    }
    int64_t from = offset + atom.headerSize;
    if (atom.name == "meta") {
        // A full atom: version and flags come first. TagLib versions differ
        // on a meta atom without them, so such a file is theirs to read.
        static const char* const kFirstChildren[] = {"hdlr", "ilst", "mhdr", "ctry", "lang"};
        for (const char* name : kFirstChildren) {
            if (m_file.holds(from + 4, name, 4))
                return false;
        }
        from += 4;
    } else if (atom.name == "stsd") {
        from += 8;
    }
    return readChildren(from, depth, atom, next);
}

bool CAtomReader::readChildren(int64_t from, int depth, Atom& atom, int64_t* next)
{
    int64_t position = from;
    while (position < atom.offset + atom.length) {
        Atom child;
        if (!read(position, depth + 1, child, &position))
            return false;
        atom.children.push_back(std::move(child));
    }
    *next = position;
    return true;
}

QByteArray AtomData(CScanFile& file, const Atom& atom, int limit)
{
    QByteArray data(int(std::min<int64_t>(atom.length, limit)), Qt::Uninitialized);
    data.resize(file.read(atom.offset, reinterpret_cast<unsigned char*>(data.data()), int(data.size())));
    return data;
}

// Whether the first sound track has a positive sample rate, read as TagLib
// reads it: from an AAC sample entry of the track's sample description.
bool HasAudio(CScanFile& file, const Atom& moov)
{
    const Atom* sound = nullptr;
    for (const Atom& trak : moov.children) {
        if (trak.name != "trak")
            continue;
        const Atom* handler = trak.find({"mdia", "hdlr"});
        if (!handler)
            return false;
        if (AtomData(file, *handler, 20).mid(16, 4) == "soun") {
            sound = &trak;
            break;
        }
    }
    const Atom* header = sound ? sound->find({"mdia", "mdhd"}) : nullptr;
    if (!header)
        return false;
    const QByteArray times = AtomData(file, *header, 44);
    if (times.size() <= 8 || times.size() < (times.at(8) == 1 ? 44 : 32))
        return false;
    const Atom* description = sound->find({"mdia", "minf", "stbl", "stsd"});
    if (!description)
        return false;
    const QByteArray entry = AtomData(file, *description, 50);
    if (entry.size() < 50 || entry.mid(20, 4) != "mp4a")
        return false;
    const uint32_t rate = BigEndian32(reinterpret_cast<const unsigned char*>(entry.constData()) + 46);
    return rate > 0 && rate <= uint32_t(INT_MAX);
}

// Whether a "covr" item yields a picture: its "data" atoms are walked by
// their headers until one is short or misnamed.
enum CoverItem { COVER_NONE, COVER_FOUND, COVER_UNSURE };

CoverItem ReadCover(CScanFile& file, const Atom& covr)
{
    enum { TYPE_IMPLICIT = 0, TYPE_GIF = 12, TYPE_JPEG = 13, TYPE_PNG = 14, TYPE_BMP = 27 };
    if (covr.headerSize != 8)
        return COVER_UNSURE;
    const int64_t base = covr.offset + 8;
    const int64_t present = std::min<int64_t>(covr.length - 8, file.size() - base);
    int64_t position = 0;
    CoverItem found = COVER_NONE;
    while (position < present) {
        unsigned char header[12];
        // A cut header reads as TagLib's partial numbers; not followed here.
        if (present - position < 12 || !file.readAll(base + position, header, 12))
            return found == COVER_FOUND ? COVER_FOUND : COVER_UNSURE;
        const int length = int(BigEndian32(header));
        if (length < 12 || std::memcmp(header + 4, "data", 4) != 0)
            break;
        const uint32_t type = BigEndian32(header + 8);
        if (type == TYPE_IMPLICIT || type == TYPE_GIF || type == TYPE_JPEG || type == TYPE_PNG || type == TYPE_BMP)
            found = COVER_FOUND;
        position += length;
    }
    return found;
}

} // namespace

bool ReadAtomHeader(CScanFile& file, int64_t offset, tagAtomHeader& atom)
{
    unsigned char header[16];
    if (!file.readAll(offset, header, 8))
        return false;
    atom.offset = offset;
    atom.length = BigEndian32(header);
    atom.headerSize = 8;
    if (atom.length == 0) {
        atom.length = file.size() - offset; // runs to the end of the file
    } else if (atom.length == 1) {
        if (!file.readAll(offset + 8, header + 8, 8) || BigEndian64(header + 8) > uint64_t(LLONG_MAX))
            return false;
        atom.length = int64_t(BigEndian64(header + 8));
        atom.headerSize = 16;
    }
    // An end past what any offset can hold would overflow every sum below.
    if (atom.length < 8 || atom.length > LLONG_MAX - offset || !IsAtomName(header + 4))
        return false;
    atom.name = QByteArray(reinterpret_cast<const char*>(header + 4), 4);
    return true;
}

ScanAnswer ScanMp4(CScanFile& file)
{
    CAtomReader reader(file);
    Atom root;
    int64_t position = 0;
    while (position + 8 <= file.size()) {
        Atom atom;
        if (!reader.read(position, 0, atom, &position))
            return SCAN_UNSURE;
        root.children.push_back(std::move(atom));
    }
    const Atom* moov = root.child("moov");
    if (!moov || !HasAudio(file, *moov))
        return SCAN_UNSURE;
    const Atom* list = moov->find({"udta", "meta", "ilst"});
    if (!list)
        return SCAN_NO_PICTURE;
    bool unsure = false;
    for (const Atom& item : list->children) {
        if (item.name != "covr")
            continue;
        const CoverItem cover = ReadCover(file, item);
        if (cover == COVER_FOUND)
            return SCAN_PICTURE;
        unsure |= cover == COVER_UNSURE;
    }
    return unsure ? SCAN_UNSURE : SCAN_NO_PICTURE;
}
