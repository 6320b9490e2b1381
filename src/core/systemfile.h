#pragma once

#include <QString>

// The few questions about files that Qt does not answer with the system's
// own error code. Everything platform-only in this library is here.
namespace tarvelin {

// A character device (/dev/null, a terminal, a full disk's stand-in): it can
// be written but not replaced.
bool isCharacterDevice(const QString &path);

// The system's error code for looking the path up (ENOENT, EACCES ...); 0
// when it is there.
int lookUpError(const QString &path);

// The system's error code for writing to the file at `path` (EACCES, EROFS
// ...); 0 when it may be written.
int writeAccessError(const QString &path);

} // namespace tarvelin
