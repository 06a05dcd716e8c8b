#include "places.h"
#include "desktop.h"
#include "platformbase.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QVector>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include <sys/statvfs.h>

namespace desktop {

namespace {

// Kernel, container and desktop-service file systems: nothing a user keeps
// music on, even where one happens to be mounted below a user's folder
// (the document portal under ~/.cache, gvfs under /run/user, snaps).
const QSet<QByteArray>& systemTypes()
{
    static const QSet<QByteArray> types = {
        "proc", "sysfs", "devtmpfs", "devpts", "tmpfs", "ramfs", "cgroup", "cgroup2", "securityfs", "pstore",
        "bpf", "debugfs", "tracefs", "configfs", "fusectl", "mqueue", "hugetlbfs", "autofs", "binfmt_misc",
        "efivarfs", "rpc_pipefs", "nsfs", "nfsd", "selinuxfs", "squashfs", "overlay", "fuse.gvfsd-fuse",
        "fuse.portal", "fuse.snapfuse", "fuse.lxcfs"};
    return types;
}

const QSet<QByteArray>& networkTypes()
{
    static const QSet<QByteArray> types = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "sshfs",
                                           "davfs", "fuse.davfs2", "ceph", "glusterfs", "afs"};
    return types;
}

bool isBelow(const QString& path, const QString& folder)
{
    return !folder.isEmpty() && path.startsWith(folder.endsWith(QLatin1Char('/')) ? folder : folder + '/');
}

bool hasHiddenPart(const QString& path)
{
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return std::any_of(parts.cbegin(), parts.cend(),
                       [](const QString& part) { return part.startsWith(QLatin1Char('.')); });
}

// The folder below which root lies where udisks, habit or the user put
// volumes, or empty.
QString userLocation(const QString& root, const QString& home)
{
    for (const char* folder : {"/media", "/run/media", "/mnt"}) {
        if (isBelow(root, QLatin1String(folder)))
            return QLatin1String(folder);
    }
    return isBelow(root, home) ? home : QString();
}

// Folders of the system itself; a network share mounted there is the
// system's business, not a place to look for music.
bool isSystemLocation(const QString& root)
{
    for (const char* folder : {"/proc", "/sys", "/dev", "/run", "/snap", "/boot", "/var", "/usr", "/etc", "/tmp"}) {
        if (root == QLatin1String(folder) || isBelow(root, QLatin1String(folder)))
            return true;
    }
    return false;
}

// Hidden parts count only below the user's folder: a home that itself
// lies below a hidden folder still shows the disks mounted in it.
bool userSees(const MountRecord& mount, const QString& root, const QString& home)
{
    if (!mount.ready || root.isEmpty() || QDir(root).isRoot())
        return false;
    if (systemTypes().contains(mount.fileSystemType))
        return false;
    const QString base = userLocation(root, home);
    if (!base.isEmpty())
        return !hasHiddenPart(root.mid(base.size()));
    return networkTypes().contains(mount.fileSystemType) && !isSystemLocation(root) && !hasHiddenPart(root);
}

Place volumePlace(const MountRecord& mount, const QString& root)
{
    Place place;
    place.path = root;
    place.name = mount.label.isEmpty() ? QFileInfo(root).fileName() : mount.label;
    place.kind = networkTypes().contains(mount.fileSystemType) ? PlaceKind::Network : PlaceKind::Volume;
    return place;
}

QString clean(const QString& path)
{
    return path.isEmpty() ? QString() : QDir::cleanPath(path);
}

void addFolder(QList<Place>& places, QSet<QString>& seen, const QString& path, const char* name, PlaceKind kind)
{
    const QString folder = clean(path);
    if (folder.isEmpty() || seen.contains(folder) || !QFileInfo(folder).isDir())
        return;
    seen.insert(folder);
    places << Place{QCoreApplication::translate("desktop", name), folder, kind};
}

} // namespace

QList<Place> buildPlaces(const PlaceFolders& folders, const QList<MountRecord>& mounts)
{
    QList<Place> places;
    QSet<QString> seen;
    addFolder(places, seen, folders.home, QT_TRANSLATE_NOOP("desktop", "Home"), PlaceKind::Home);
    addFolder(places, seen, folders.music, QT_TRANSLATE_NOOP("desktop", "Music"), PlaceKind::Music);
    addFolder(places, seen, folders.desktop, QT_TRANSLATE_NOOP("desktop", "Desktop"), PlaceKind::Desktop);
    addFolder(places, seen, QDir::rootPath(), QT_TRANSLATE_NOOP("desktop", "File System"), PlaceKind::Root);

    const QString home = clean(folders.home);
    QList<Place> volumes;
    for (const MountRecord& mount : mounts) {
        const QString root = clean(mount.root);
        if (seen.contains(root) || !userSees(mount, root, home))
            continue;
        seen.insert(root);
        volumes << volumePlace(mount, root);
    }
    std::stable_sort(volumes.begin(), volumes.end(), [](const Place& a, const Place& b) {
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    return places + volumes;
}

PlaceFolders currentFolders()
{
    return PlaceFolders{QDir::homePath(), standardFolder(Folder::Music), standardFolder(Folder::Desktop)};
}

QList<Place> folderPlaces()
{
    return buildPlaces(currentFolders(), {});
}

namespace {

// The kernel writes a blank, a tab, a newline and a backslash in a mount
// point as \040, \011, \012 and \134.
QByteArray unescapeOctal(const QByteArray& field)
{
    QByteArray out;
    out.reserve(field.size());
    const auto isOctal = [](char c) { return c >= '0' && c <= '7'; };
    for (int i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) && isOctal(field[i + 2])
            && isOctal(field[i + 3])) {
            out += char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

// udev names a label's link with \xHH for what a file name cannot hold.
QString decodeUdevName(const QString& name)
{
    QByteArray out;
    const QByteArray raw = QFile::encodeName(name);
    for (int i = 0; i < raw.size(); ++i) {
        bool hex = false;
        const int value = i + 3 < raw.size() && raw[i] == '\\' && raw[i + 1] == 'x'
                              ? raw.mid(i + 2, 2).toInt(&hex, 16)
                              : 0;
        if (hex) {
            out += char(value);
            i += 3;
        } else {
            out += raw[i];
        }
    }
    return QString::fromUtf8(out);
}

QString canonicalDevice(const QByteArray& device)
{
    if (!device.startsWith("/dev/"))
        return QString::fromUtf8(device);
    const QString canonical = QFileInfo(QFile::decodeName(device)).canonicalFilePath();
    return canonical.isEmpty() ? QFile::decodeName(device) : canonical;
}

// Device nodes by their canonical path, to the volume labels udev keeps links for.
QHash<QString, QString> labelsByDevice()
{
    QHash<QString, QString> labels;
    const QFileInfoList links = QDir(QStringLiteral("/dev/disk/by-label"))
                                    .entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& link : links)
        labels.insert(link.canonicalFilePath(), decodeUdevName(link.fileName()));
    return labels;
}

} // namespace

QList<MountRecord> parseMountTable(const QByteArray& table)
{
    const QHash<QString, QString> labels = labelsByDevice();
    QList<MountRecord> mounts;
    for (const QByteArray& line : table.split('\n')) {
        // ID, parent, device number, root, mount point, options, optional
        // fields up to "-", then the type, the source and its options.
        const QList<QByteArray> fields = line.split(' ');
        const int dash = int(fields.indexOf(QByteArray("-")));
        if (dash < 6 || dash + 2 >= fields.size())
            continue;
        MountRecord mount;
        mount.root = QFile::decodeName(unescapeOctal(fields.at(4)));
        mount.fileSystemType = fields.at(dash + 1);
        mount.device = unescapeOctal(fields.at(dash + 2));
        mount.label = labels.value(canonicalDevice(mount.device));
        mounts << mount;
    }
    return mounts;
}

namespace {

MountSource& testSource()
{
    static MountSource source;
    return source;
}

QByteArray machineTable()
{
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    return table.open(QIODevice::ReadOnly) ? table.readAll() : QByteArray();
}

bool statAnswers(const QString& root)
{
    struct statvfs info;
    return ::statvfs(QFile::encodeName(root).constData(), &info) == 0;
}

bool statIsFolder(const QString& path)
{
    return QFileInfo(path).isDir();
}

// What the threads asking one listing's mounts share with it; it outlives
// the listing while a thread is still blocked in its mount.
struct Answers {
    std::mutex mutex;
    std::condition_variable answered;
    QVector<int> ready;  // per mount: -1 no answer yet, 0 not ready, 1 ready
    int pending = 0;
};

// Roots whose question from an earlier listing has not come back: asked
// again, each would leave one more thread blocked there. Never destroyed,
// since such a thread may return during the program's end.
struct Unanswered {
    std::mutex mutex;
    QSet<QString> roots;
};

Unanswered& unanswered()
{
    static auto* roots = new Unanswered;
    return *roots;
}

// False when the mount is still blocked from an earlier listing or no
// thread could be made.
bool ask(const std::shared_ptr<Answers>& answers, int index, const QString& root,
         const std::function<bool(const QString&)>& answersAt)
{
    {
        std::lock_guard<std::mutex> lock(unanswered().mutex);
        if (unanswered().roots.contains(root))
            return false;
        unanswered().roots.insert(root);
    }
    try {
        std::thread([answers, index, root, answersAt] {
            const bool ready = answersAt(root);
            {
                std::lock_guard<std::mutex> lock(unanswered().mutex);
                unanswered().roots.remove(root);
            }
            std::lock_guard<std::mutex> lock(answers->mutex);
            answers->ready[index] = ready ? 1 : 0;
            --answers->pending;
            answers->answered.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        std::lock_guard<std::mutex> lock(unanswered().mutex);
        unanswered().roots.remove(root);
        return false;
    }
    return true;
}

enum Answer { kNoAnswer = -1, kNo = 0, kYes = 1, kNotAsked = -2 };

// Asks question of every path, each on a thread of its own, and waits for
// the answers up to deadlineMs; per path an Answer.
QVector<int> askWithDeadline(const QStringList& paths, const std::function<bool(const QString&)>& question,
                             int deadlineMs)
{
    auto answers = std::make_shared<Answers>();
    answers->ready.fill(kNoAnswer, paths.size());
    answers->pending = int(paths.size());
    QVector<bool> asked(paths.size(), false);
    for (int i = 0; i < paths.size(); ++i) {
        asked[i] = ask(answers, i, paths.at(i), question);
        if (!asked[i]) {
            std::lock_guard<std::mutex> lock(answers->mutex);
            --answers->pending;
        }
    }
    std::unique_lock<std::mutex> lock(answers->mutex);
    answers->answered.wait_for(lock, std::chrono::milliseconds(deadlineMs), [&] { return answers->pending == 0; });
    QVector<int> result = answers->ready;
    for (int i = 0; i < paths.size(); ++i) {
        if (!asked.at(i))
            result[i] = kNotAsked;
    }
    return result;
}

QString unansweredText(int answer, int deadlineMs)
{
    return answer == kNotAsked ? QStringLiteral("has not answered an earlier look")
                               : QStringLiteral("did not answer within %1 ms").arg(deadlineMs);
}

// The one object a listing may hand its result to: a child of the
// receiver, so it goes when the receiver goes, and the listing sees it gone.
struct Delivery {
    std::mutex mutex;
    QObject* guard = nullptr;
};

class DeliveryGuard : public QObject
{
public:
    DeliveryGuard(QObject* receiver, std::shared_ptr<Delivery> delivery)
        : QObject(receiver), m_delivery(std::move(delivery))
    {
        std::lock_guard<std::mutex> lock(m_delivery->mutex);
        m_delivery->guard = this;
    }
    ~DeliveryGuard() override
    {
        std::lock_guard<std::mutex> lock(m_delivery->mutex);
        m_delivery->guard = nullptr;
    }
    DeliveryGuard(const DeliveryGuard&) = delete;
    DeliveryGuard& operator=(const DeliveryGuard&) = delete;

private:
    std::shared_ptr<Delivery> m_delivery;
};

} // namespace

MountSource mountSource()
{
    MountSource source = testSource();
    if (!source.table)
        source.table = machineTable;
    if (!source.answers)
        source.answers = statAnswers;
    if (!source.isFolder)
        source.isFolder = statIsFolder;
    return source;
}

void setMountSource(const MountSource& source)
{
    testSource() = source;
}

QList<MountRecord> answeringMounts(const MountSource& source)
{
    QList<MountRecord> mounts;
    for (const MountRecord& mount : parseMountTable(source.table())) {
        if (!systemTypes().contains(mount.fileSystemType))
            mounts << mount;
    }
    QStringList roots;
    for (const MountRecord& mount : mounts)
        roots << mount.root;
    const QVector<int> answers = askWithDeadline(roots, source.answers, source.deadlineMs);
    QList<MountRecord> answering;
    for (int i = 0; i < mounts.size(); ++i) {
        MountRecord mount = mounts.at(i);
        if (answers.at(i) < 0) {
            PlatformLog(QStringLiteral("Places: %1 (%2 on %3) %4; left out")
                            .arg(mount.root, QString::fromUtf8(mount.fileSystemType), QString::fromUtf8(mount.device),
                                 unansweredText(answers.at(i), source.deadlineMs)));
            continue;
        }
        mount.ready = answers.at(i) == kYes;
        answering << mount;
    }
    return answering;
}

bool folderAnswers(const QString& folder, const MountSource& source)
{
    const int answer = askWithDeadline({folder}, source.isFolder, source.deadlineMs).at(0);
    if (answer < 0)
        PlatformLog(QStringLiteral("Places: the folder %1 %2").arg(folder, unansweredText(answer, source.deadlineMs)));
    return answer == kYes;
}

void listMountsLater(QObject* receiver, std::function<void(const QList<MountRecord>&)> done,
                     const MountSource& source)
{
    auto delivery = std::make_shared<Delivery>();
    new DeliveryGuard(receiver, delivery);
    // Never joined: it ends at the deadline, and the program's end does
    // not wait for it.
    std::thread([delivery, done = std::move(done), source] {
        const QList<MountRecord> mounts = answeringMounts(source);
        std::lock_guard<std::mutex> lock(delivery->mutex);
        if (delivery->guard)
            QMetaObject::invokeMethod(delivery->guard, [done, mounts] { done(mounts); }, Qt::QueuedConnection);
    }).detach();
}

} // namespace desktop
