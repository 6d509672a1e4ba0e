#include "tests/serial/SerialTestSupport.h"

#include "agent/serial/Crc32.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <unistd.h>

namespace varno::test {
namespace {

// Ports deliver their events through the Qt event loop, so every test of
// this program runs with an application object.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override { app_ = new QCoreApplication(argc_, argv_); }
    void TearDown() override { delete app_; }

private:
    int argc_ = 1;
    char name_[16] = "serial_tests";
    char* argv_[2] = {name_, nullptr};
    QCoreApplication* app_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const qtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

void PutStuffed(Bytes& out, std::uint8_t b)
{
    out.push_back(b);
    if (b == 0xEE)
        out.push_back(b);
}

}  // namespace

bool PumpUntil(const std::function<bool()>& pred, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (pred())
            return true;
        if (timer.elapsed() > timeoutMs)
            return false;
        QThread::usleep(300);
    }
}

void Pump(int ms)
{
    PumpUntil([] { return false; }, ms);
}

std::uint32_t CrcOf(const Bytes& body) { return Crc32(body.data(), body.size()); }

Bytes RawFrame(std::uint16_t lengthField, const Bytes& body, std::uint32_t crc)
{
    Bytes out = {0xEE, 0x23};
    PutStuffed(out, static_cast<std::uint8_t>(lengthField & 0xFF));
    PutStuffed(out, static_cast<std::uint8_t>(lengthField >> 8));
    for (const std::uint8_t b : body)
        PutStuffed(out, b);
    for (int i = 0; i < 4; ++i)
        PutStuffed(out, static_cast<std::uint8_t>(crc >> (8 * i)));
    return out;
}

Bytes Frame(std::uint8_t sequence, const Bytes& payload)
{
    Bytes body = {sequence};
    body.insert(body.end(), payload.begin(), payload.end());
    return RawFrame(static_cast<std::uint16_t>(body.size()), body, CrcOf(body));
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

TPtyPeer::TPtyPeer(bool packetMode, bool holdSlave) : pair_(holdSlave), packetMode_(packetMode)
{
    const int fd = pair_.MasterFd();
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    if (packetMode_) {
        int on = 1;
        if (::ioctl(fd, TIOCPKT, &on) != 0)
            throw std::runtime_error("packet mode refused");
    }
}

void TPtyPeer::Write(const Bytes& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(pair_.MasterFd(), bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            throw std::runtime_error("pty master write failed");
        } else {
            // The slave's input is full: let its user read.
            QCoreApplication::processEvents();
            QThread::usleep(200);
        }
    }
}

void TPtyPeer::Drain()
{
    std::uint8_t buffer[8192];
    for (;;) {
        const ssize_t n = ::read(pair_.MasterFd(), buffer, sizeof buffer);
        if (n <= 0)
            return;
        if (!packetMode_) {
            received_.insert(received_.end(), buffer, buffer + n);
        } else if (buffer[0] == TIOCPKT_DATA) {
            received_.insert(received_.end(), buffer + 1, buffer + n);
        } else if (buffer[0] & TIOCPKT_FLUSHWRITE) {
            ++flushWrites_;
        }
    }
}

Bytes TPtyPeer::ReadNow()
{
    Drain();
    Bytes out;
    out.swap(received_);
    return out;
}

Bytes TPtyPeer::ReadCount(size_t n, int timeoutMs)
{
    PumpUntil(
        [&] {
            Drain();
            return received_.size() >= n;
        },
        timeoutMs);
    return ReadNow();
}

int TPtyPeer::FlushWrites()
{
    Drain();
    return flushWrites_;
}

}  // namespace varno::test
