#include "heldfiles.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace HeldFiles {

namespace {

// Whether path still names the file open as descriptor.
bool namesFile(const QByteArray& path, int descriptor)
{
    struct stat open = {};
    struct stat named = {};
    return ::fstat(descriptor, &open) == 0 && ::stat(path.constData(), &named) == 0 &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

} // namespace

std::unique_ptr<QTemporaryFile> create(const QString& pattern, QString* error)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        auto file = std::make_unique<QTemporaryFile>(pattern);
        if (!file->open()) {
            *error = file->errorString();
            return nullptr;
        }
        // Another run may have taken the file for abandoned in the moment before the lock and
        // removed it: then a new one is made.
        const int descriptor = int(file->handle());
        if (::flock(descriptor, LOCK_EX) == 0 &&
            namesFile(QFile::encodeName(file->fileName()), descriptor))
            return file;
        file->setAutoRemove(false);
    }
    *error = QString::fromLocal8Bit(std::strerror(EEXIST));
    return nullptr;
}

std::unique_ptr<QFile> createNew(const QString& path, QString* error)
{
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadWrite | QIODevice::NewOnly)) {
        *error = file->errorString();
        return nullptr;
    }
    // Swept by another run in the moment before the lock: the name is no longer this file.
    const int descriptor = int(file->handle());
    if (::flock(descriptor, LOCK_EX) == 0 && namesFile(QFile::encodeName(path), descriptor))
        return file;
    *error = QString::fromLocal8Bit(std::strerror(ENOENT));
    return nullptr;
}

bool removeAbandoned(const QString& path, const QStringList& companions,
                     const std::function<bool()>& abandoned)
{
    const QByteArray name = QFile::encodeName(path);
    const int descriptor = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (descriptor < 0)
        return false;
    // Its companions go while it is still held here, before a new run can take its name.
    const bool removed = ::flock(descriptor, LOCK_EX | LOCK_NB) == 0 &&
                         namesFile(name, descriptor) && (!abandoned || abandoned()) &&
                         ::unlink(name.constData()) == 0;
    if (removed)
        for (const QString& companion : companions)
            ::unlink(QFile::encodeName(path + companion).constData());
    ::close(descriptor);
    return removed;
}

} // namespace HeldFiles
