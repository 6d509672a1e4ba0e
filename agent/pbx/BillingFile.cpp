#include "agent/pbx/BillingFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varno {
namespace {

QString systemError(const char* what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

}  // namespace

bool AppendRecordToFile(const QString& path, const QByteArray& record, QString* error)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = systemError("open");
        return false;
    }
    // Other programs may read the file meanwhile, but no second writer may
    // interleave with this record.
    ::flock(fd, LOCK_EX);
    struct stat st {};
    const off_t before = ::fstat(fd, &st) == 0 ? st.st_size : -1;

    const QByteArray line = record + "\r\n";
    bool ok = true;
    const char* p = line.constData();
    qsizetype left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = systemError("write");
            ok = false;
            break;
        }
        p += n;
        left -= n;
    }
    if (ok && ::fsync(fd) != 0) {
        *error = systemError("fsync");
        ok = false;
    }
    if (!ok && before >= 0) [[maybe_unused]]
        int r = ::ftruncate(fd, before);
    if (::close(fd) != 0 && ok) {
        *error = systemError("close");
        ok = false;
    }
    return ok;
}

}  // namespace varno
