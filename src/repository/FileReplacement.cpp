#include "FileReplacement.h"

#include "AppError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

static QString systemError() { return QString::fromLocal8Bit(std::strerror(errno)); }

static mode_t currentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

FileReplacement::FileReplacement(const QString &target)
{
    // A link keeps pointing where it did: the file it names is the one replaced.
    const QFileInfo info(target);
    m_target = info.isSymLink() && info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
    QTemporaryFile reserve(m_target + QStringLiteral("-XXXXXX.tmp"));
    reserve.setAutoRemove(false);
    if (!reserve.open())
        throw AppError(ErrorNumber::BadFile, QStringLiteral("The file '%1' cannot be created: %2")
                                                 .arg(QDir::toNativeSeparators(target), reserve.errorString()));
    m_temporary = reserve.fileName();
}

FileReplacement::~FileReplacement()
{
    if (m_committed)
        return;
    for (const QString &suffix : {QString(), QStringLiteral("-journal"), QStringLiteral("-wal"), QStringLiteral("-shm")})
        QFile::remove(m_temporary + suffix);
}

void FileReplacement::commit(bool replace)
{
    const QByteArray temporary = QFile::encodeName(m_temporary);
    const QByteArray target = QFile::encodeName(m_target);
    struct stat old;
    const mode_t mode = ::stat(target.constData(), &old) == 0 ? (old.st_mode & 07777) : (0666 & ~currentUmask());
    auto fail = [&](const QString &what) {
        return AppError(ErrorNumber::BadFile, QStringLiteral("The file '%1' cannot be written: %2: %3")
                                                  .arg(QDir::toNativeSeparators(m_target), what, systemError()));
    };
    if (::chmod(temporary.constData(), mode) != 0)
        throw fail(QStringLiteral("setting its permissions"));
    // The content must be on the disk before the name points at it.
    const int fd = ::open(temporary.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        const AppError e = fail(QStringLiteral("flushing it"));
        if (fd >= 0)
            ::close(fd);
        throw e;
    }
    ::close(fd);
    if (replace ? ::rename(temporary.constData(), target.constData()) != 0
                : ::link(temporary.constData(), target.constData()) != 0)
        throw fail(QStringLiteral("renaming it"));
    if (!replace)
        ::unlink(temporary.constData());
    m_committed = true;
    const int dir = ::open(QFile::encodeName(QFileInfo(m_target).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}
