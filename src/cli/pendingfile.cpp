#include "pendingfile.h"

#include "console.h"
#include "heldfiles.h"
#include "interruptwatcher.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
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

// Removes the files that runs writing target left when they were killed, with SQLite's journal
// beside them, never the file of a run still going (HeldFiles).
void removeAbandoned(const QString& target)
{
    const QDir dir = QFileInfo(target).absoluteDir();
    const QString prefix = hiddenPrefix(target);
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names)
        if (isHiddenName(name, prefix))
            HeldFiles::removeAbandoned(dir.filePath(name), {JournalSuffix});
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
    QString reason;
    m_file = HeldFiles::create(pattern, &reason);
    if (!m_file) {
        *error = failure(reason);
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
