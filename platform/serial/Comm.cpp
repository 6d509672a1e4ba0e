#include "platform/serial/Comm.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace varno {
namespace {

QString& ComPattern()
{
    static QString pattern = QStringLiteral("/dev/ttyS%1");
    return pattern;
}

std::optional<speed_t> TermiosSpeed(TBaudRate rate)
{
    switch (rate) {
    case TBaudRate::br110: return B110;
    case TBaudRate::br300: return B300;
    case TBaudRate::br600: return B600;
    case TBaudRate::br1200: return B1200;
    case TBaudRate::br2400: return B2400;
    case TBaudRate::br4800: return B4800;
    case TBaudRate::br9600: return B9600;
    case TBaudRate::br19200: return B19200;
    case TBaudRate::br38400: return B38400;
    case TBaudRate::br57600: return B57600;
    case TBaudRate::br115200: return B115200;
    case TBaudRate::br14400:
    case TBaudRate::br56000:
    case TBaudRate::br128000:
    case TBaudRate::br256000: break;
    }
    return std::nullopt;
}

std::optional<tcflag_t> TermiosCharSize(TDataBits bits)
{
    switch (bits) {
    case TDataBits::da5: return CS5;
    case TDataBits::da6: return CS6;
    case TDataBits::da7: return CS7;
    case TDataBits::da8: return CS8;
    case TDataBits::da4: break;
    }
    return std::nullopt;
}

long long MonotonicMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void CloseQuietly(int fd)
{
    const int saved = errno;
    ::close(fd);
    errno = saved;
}

}  // namespace

TComm::TComm() : alive_(std::make_shared<bool>(true)) {}

TComm::~TComm()
{
    *alive_ = false;
    Close();
}

void TComm::SetDeviceName(const QString& name)
{
    if (Enabled() && name != deviceName_)
        throw ECommError(CommErrorText::AlreadyOpen, EBUSY,
                         QStringLiteral("the device cannot change while the port is open"));
    deviceName_ = name;
}

QString TComm::DevicePath(const QString& name)
{
    static const QRegularExpression com(QStringLiteral("^COM([0-9]+)$"), QRegularExpression::CaseInsensitiveOption);
    if (name.startsWith(QLatin1Char('/')))
        return name;
    const auto match = com.match(name);
    if (match.hasMatch()) {
        bool ok = false;
        const int n = match.captured(1).toInt(&ok);
        if (ok && n >= 1)
            return ComPattern().arg(n - 1);
    }
    return QStringLiteral("/dev/") + name;
}

void TComm::SetComDevicePattern(const QString& pattern) { ComPattern() = pattern; }

QString TComm::ComDevicePattern() { return ComPattern(); }

// On an open port a refused change leaves both the line and the value as
// they were, so that BaudRate() always tells what the line runs.
template <typename T>
static void ChangeSetting(T& field, T value, const std::function<void()>& apply)
{
    const T previous = field;
    field = value;
    try {
        apply();
    } catch (...) {
        field = previous;
        throw;
    }
}

void TComm::SetBaudRate(TBaudRate rate)
{
    ChangeSetting(baudRate_, rate, [this] { ApplyIfOpen(); });
}

void TComm::SetDataBits(TDataBits bits)
{
    ChangeSetting(dataBits_, bits, [this] { ApplyIfOpen(); });
}

void TComm::SetStopBits(TStopBits bits)
{
    ChangeSetting(stopBits_, bits, [this] { ApplyIfOpen(); });
}

void TComm::SetParity(TParity parity)
{
    ChangeSetting(parity_, parity, [this] { ApplyIfOpen(); });
}

void TComm::ApplyIfOpen()
{
    if (Enabled())
        ApplyLineSettings(fd_);
}

void TComm::ApplyLineSettings(int fd) const
{
    const auto speed = TermiosSpeed(baudRate_);
    if (!speed)
        throw ECommError(CommErrorText::ControlBlock, EINVAL,
                         QStringLiteral("the line cannot run at %1 baud").arg(BaudRateValue(baudRate_)));
    const auto charSize = TermiosCharSize(dataBits_);
    if (!charSize)
        throw ECommError(CommErrorText::ControlBlock, EINVAL,
                         QStringLiteral("the line cannot send %1 data bits").arg(DataBitsValue(dataBits_)));

    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        throw ECommError(CommErrorText::ControlBlock, errno);
    ::cfmakeraw(&tio);
    // No flow control of any kind; the modem lines are not watched.
    tio.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD | *charSize;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    if (stopBits_ != TStopBits::sb10)
        tio.c_cflag |= CSTOPB;
    switch (parity_) {
    case TParity::paNone: break;
    case TParity::paOdd: tio.c_cflag |= PARENB | PARODD; break;
    case TParity::paEven: tio.c_cflag |= PARENB; break;
    case TParity::paMark: tio.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case TParity::paSpace: tio.c_cflag |= PARENB | CMSPAR; break;
    }
    // A read returns what is there (at least one byte), so that with the
    // descriptor non-blocking "nothing waiting" reads as EAGAIN and a read of
    // 0 bytes means the line has hung up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, *speed) != 0 || ::cfsetospeed(&tio, *speed) != 0)
        throw ECommError(CommErrorText::ControlBlock, errno);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0)
        throw ECommError(CommErrorText::ControlBlock, errno);
}

void TComm::Open()
{
    if (Enabled())
        throw ECommError(CommErrorText::AlreadyOpen, EBUSY, QStringLiteral("the port is open already"));

    const QString path = DevicePath(deviceName_);
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        const char* text = CommErrorText::AccessDevice;
        if (err == EACCES || err == EPERM)
            text = CommErrorText::AccessDenied;
        else if (err == EBUSY)
            text = CommErrorText::AlreadyOpen;
        throw ECommError(text, err, path);
    }
    try {
        if (!::isatty(fd))
            throw ECommError(CommErrorText::AccessDevice, ENOTTY, path + QStringLiteral(" is not a serial line"));
        // Another program holding the line (or another port object in this
        // one) keeps it.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
            throw ECommError(CommErrorText::AlreadyOpen, errno, path + QStringLiteral(" is in use"));
        ApplyLineSettings(fd);
        // A fresh port starts with empty buffers.
        if (::tcflush(fd, TCIOFLUSH) != 0)
            throw ECommError(CommErrorText::Buffers, errno);
    } catch (...) {
        CloseQuietly(fd);
        throw;
    }
    fd_ = fd;
    ownsFd_ = true;
    StartWatching();
}

void TComm::OpenFd(int fd, bool takeOwnership)
{
    if (Enabled())
        throw ECommError(CommErrorText::AlreadyOpen, EBUSY, QStringLiteral("the port is open already"));
    if (fd < 0 || ::fcntl(fd, F_GETFD) < 0)
        throw ECommError(CommErrorText::AccessDenied, EBADF);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0)
        throw ECommError(CommErrorText::Timeouts, errno);
    fd_ = fd;
    ownsFd_ = takeOwnership;
    StartWatching();
}

void TComm::Close()
{
    if (!Enabled())
        return;
    StopWatching();
    if (ownsFd_)
        ::close(fd_);
    fd_ = -1;
    ownsFd_ = false;
}

void TComm::StartWatching()
{
    if (!MonitorRxChar || !QCoreApplication::instance())
        return;
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this, alive = alive_] {
        if (*alive)
            InputReady();
    });
}

void TComm::StopWatching()
{
    if (!notifier_)
        return;
    notifier_->setEnabled(false);
    // Inside its own signal the notifier may not be destroyed at once.
    if (inHandler_)
        notifier_.release()->deleteLater();
    else
        notifier_.reset();
}

void TComm::InputReady()
{
    QSocketNotifier* const notifier = notifier_.get();
    if (!notifier || inHandler_)
        return;
    const int count = InQueCount();
    if (count <= 0) {
        // Readable with nothing to read: the other end is gone (a hang-up,
        // an unplugged adapter). Watching on would only spin.
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
            StopWatching();
            ReportError(ECommError(CommErrorText::Read, EIO, QStringLiteral("the line has hung up")).FullMessage());
        }
        return;
    }
    if (!OnRxChar) {
        // Nobody takes the bytes; they stay for a later read.
        notifier->setEnabled(false);
        return;
    }

    const std::shared_ptr<bool> alive = alive_;
    notifier->setEnabled(false);
    inHandler_ = true;
    bool stop = false;
    QString failure;
    try {
        OnRxChar(this, count);
    } catch (const ECommError& e) {
        stop = true;
        failure = e.FullMessage();
    } catch (const std::exception& e) {
        failure = QString::fromLocal8Bit(e.what());
    }
    if (!*alive)
        return;
    inHandler_ = false;
    // The handler may have closed or reopened the port.
    if (notifier_.get() == notifier) {
        if (stop)
            StopWatching();
        else
            notifier->setEnabled(true);
    }
    if (!failure.isEmpty())
        ReportError(failure);
}

void TComm::ReportError(const QString& message)
{
    if (OnCommError)
        OnCommError(this, message);
    else
        qWarning("Serial port %s: %s", qPrintable(deviceName_), qPrintable(message));
}

int TComm::Read(void* buffer, int n)
{
    if (!Enabled() || n <= 0)
        return 0;
    for (;;) {
        const ssize_t got = ::read(fd_, buffer, static_cast<size_t>(n));
        if (got > 0)
            return static_cast<int>(got);
        if (got == 0)
            throw ECommError(CommErrorText::Read, EIO, QStringLiteral("the line has hung up"));
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        throw ECommError(CommErrorText::Read, errno);
    }
}

int TComm::Write(const void* data, int n)
{
    if (!Enabled())
        throw ECommError(CommErrorText::Write, EBADF, QStringLiteral("the port is not open"));
    const auto* p = static_cast<const unsigned char*>(data);
    int written = 0;
    const long long start = MonotonicMs();
    while (written < n) {
        const ssize_t put = ::write(fd_, p + written, static_cast<size_t>(n - written));
        if (put > 0) {
            written += static_cast<int>(put);
            continue;
        }
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            throw ECommError(CommErrorText::Write, errno);
        const long long left = WriteTimeout - (MonotonicMs() - start);
        if (left <= 0)
            break;  // abandoned without an error, as a timed-out write is
        pollfd pfd{fd_, POLLOUT, 0};
        if (::poll(&pfd, 1, static_cast<int>(left)) < 0 && errno != EINTR)
            throw ECommError(CommErrorText::Write, errno);
    }
    return written;
}

bool TComm::PurgeOut() { return Enabled() && ::tcflush(fd_, TCOFLUSH) == 0; }

bool TComm::PurgeIn() { return Enabled() && ::tcflush(fd_, TCIFLUSH) == 0; }

bool TComm::SetDTRState(bool on)
{
    if (!Enabled())
        return false;
    int bits = TIOCM_DTR;
    return ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits) == 0;
}

int TComm::InQueCount() const
{
    if (!Enabled())
        return 0;
    int waiting = 0;
    if (::ioctl(fd_, FIONREAD, &waiting) != 0)
        return 0;
    return waiting;
}

}  // namespace varno
