#include "ProcessSetup.h"

#include <QFileInfo>
#include <QtGlobal>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void setUpProcess()
{
#if defined(Q_OS_UNIX)
    // Without TZ the C library looks at /etc/localtime again on every local
    // time conversion (libzip makes one per entry); naming the same file reads
    // it once. The zone is the same one either way.
    if (qEnvironmentVariableIsEmpty("TZ") && QFileInfo::exists(QStringLiteral("/etc/localtime")))
        qputenv("TZ", ":/etc/localtime");
#endif
#if defined(__GLIBC__)
    // Compression state and part buffers of each file come and go in sizes
    // just above the default thresholds: keep up to 32 MiB of freed memory and
    // take blocks under 4 MiB from the heap. Large parts still get their own
    // mapping and are returned whole.
    mallopt(M_TRIM_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_MMAP_THRESHOLD, 4 * 1024 * 1024);
#endif
}
