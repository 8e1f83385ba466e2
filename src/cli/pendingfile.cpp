#include "pendingfile.h"

#include "console.h"
#include "interruptwatcher.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

PendingFile::PendingFile(const QString& target)
    : m_target(target)
    // Hidden beside the target: the same file system, so the rename cannot copy.
    , m_file(QFileInfo(target).absoluteDir().filePath(
          QStringLiteral(".%1.XXXXXX").arg(QFileInfo(target).fileName())))
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
    if (!m_file.open()) {
        *error = failure(m_file.errorString());
        return false;
    }
    InterruptWatcher::setUnfinishedFile(m_file.fileName());
    // A temporary file is private to its owner; the finished one gets the permissions any new
    // file of this user gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(QFile::encodeName(m_file.fileName()).constData(), 0666 & ~mask);
    return true;
}

bool PendingFile::commit(QString* error)
{
    m_file.close();
    if (std::rename(QFile::encodeName(m_file.fileName()).constData(),
                    QFile::encodeName(m_target).constData()) != 0) {
        *error = failure(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_file.setAutoRemove(false);
    InterruptWatcher::setUnfinishedFile({});
    return true;
}

QString PendingFile::failure(const QString& reason) const
{
    return QCoreApplication::translate("QExportFromDB", "Ошибка создания файла: %1.\r\nОшибка: %2.")
        .arg(m_target, reason);
}
