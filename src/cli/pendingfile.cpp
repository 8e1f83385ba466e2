#include "pendingfile.h"

#include "console.h"
#include "interruptwatcher.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The hidden name beside the target: ".house.zelkor.ostrovel-" and six letters or digits.
QString hiddenPrefix(const QString& target)
{
    return QStringLiteral(".%1.ostrovel-").arg(QFileInfo(target).fileName());
}

constexpr int UniqueLength = 6;
const QString JournalSuffix = QStringLiteral("-journal");

bool isHiddenName(const QString& name, const QString& prefix)
{
    if (!name.startsWith(prefix) || name.size() != prefix.size() + UniqueLength)
        return false;
    const QStringView unique = QStringView(name).mid(prefix.size());
    return std::all_of(unique.cbegin(), unique.cend(),
                       [](QChar c) { return c.isLetterOrNumber() && c.unicode() < 128; });
}

// Whether path still names the file open as descriptor.
bool namesFile(const QByteArray& path, int descriptor)
{
    struct stat open = {};
    struct stat named = {};
    return ::fstat(descriptor, &open) == 0 && ::stat(path.constData(), &named) == 0 &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

// Removes the files that runs writing target left when they were killed, with SQLite's journal
// beside them. A living run holds a lock on its file that the system drops with the process, so
// a file that can be locked has nobody writing it any more; where the file system has no such
// locks, nothing is taken for abandoned.
void removeAbandoned(const QString& target)
{
    const QDir dir = QFileInfo(target).absoluteDir();
    const QString prefix = hiddenPrefix(target);
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (!isHiddenName(name, prefix))
            continue;
        const QByteArray path = QFile::encodeName(dir.filePath(name));
        const int descriptor = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (descriptor < 0)
            continue;
        if (::flock(descriptor, LOCK_EX | LOCK_NB) == 0 && namesFile(path, descriptor)) {
            ::unlink(path.constData());
            ::unlink((path + QFile::encodeName(JournalSuffix)).constData());
        }
        ::close(descriptor);
    }
    // A journal outlives its file only when its run was killed while removing both.
    for (const QString& name : names)
        if (name.endsWith(JournalSuffix) &&
            isHiddenName(name.chopped(JournalSuffix.size()), prefix) &&
            !QFileInfo::exists(dir.filePath(name.chopped(JournalSuffix.size()))))
            QFile::remove(dir.filePath(name));
}

} // namespace

PendingFile::PendingFile(const QString& target)
    : m_target(target)
{}

PendingFile::~PendingFile()
{
    InterruptWatcher::setUnfinishedFile({});
}

bool PendingFile::create(QString* error)
{
    if (QFileInfo(m_target).isDir()) {
        *error = failure(QString::fromLocal8Bit(std::strerror(EISDIR)));
        return false;
    }
    removeAbandoned(m_target);
    // Hidden beside the target: the same file system, so the rename cannot copy.
    const QString pattern = QFileInfo(m_target).absoluteDir().filePath(hiddenPrefix(m_target) +
                                                                       QStringLiteral("XXXXXX"));
    for (int attempt = 0; attempt < 3 && !m_file; ++attempt) {
        m_file = std::make_unique<QTemporaryFile>(pattern);
        if (!m_file->open()) {
            *error = failure(m_file->errorString());
            m_file.reset();
            return false;
        }
        // Held until the process ends. Another run may have taken the file for abandoned in
        // the moment before the lock and removed it: then a new one is made.
        const int descriptor = int(m_file->handle());
        if (::flock(descriptor, LOCK_EX) == 0 &&
            !namesFile(QFile::encodeName(m_file->fileName()), descriptor)) {
            m_file->setAutoRemove(false);
            m_file.reset();
        }
    }
    if (!m_file) {
        *error = failure(QString::fromLocal8Bit(std::strerror(EEXIST)));
        return false;
    }
    InterruptWatcher::setUnfinishedFile(m_file->fileName());
    // A temporary file is private to its owner; the finished one gets the permissions any new
    // file of this user gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(int(m_file->handle()), 0666 & ~mask);
    return true;
}

bool PendingFile::commit(QString* error)
{
    // On the disk before it takes the target's place; renamed while still locked.
    ::fsync(int(m_file->handle()));
    if (std::rename(QFile::encodeName(m_file->fileName()).constData(),
                    QFile::encodeName(m_target).constData()) != 0) {
        *error = failure(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_file->setAutoRemove(false);
    m_file->close();
    InterruptWatcher::setUnfinishedFile({});
    return true;
}

QString PendingFile::failure(const QString& reason) const
{
    return QCoreApplication::translate("QExportFromDB", "Ошибка создания файла: %1.\r\nОшибка: %2.")
        .arg(m_target, reason);
}
