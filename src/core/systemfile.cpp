#include "core/systemfile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tarvelin {

#ifdef Q_OS_UNIX

bool isCharacterDevice(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISCHR(info.st_mode);
}

int lookUpError(const QString &path)
{
    struct stat info {};
    errno = 0;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? 0 : errno;
}

int writeAccessError(const QString &path)
{
    errno = 0;
    return ::access(QFile::encodeName(path).constData(), W_OK) == 0 ? 0 : errno;
}

#else

// Elsewhere Qt's answers stand in for the system's codes.
bool isCharacterDevice(const QString &)
{
    return false;
}

int lookUpError(const QString &path)
{
    return QFileInfo::exists(path) ? 0 : ENOENT;
}

int writeAccessError(const QString &path)
{
    return QFileInfo(path).isWritable() ? 0 : EACCES;
}

#endif

} // namespace tarvelin
