#include "agent/serial/CommPax.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <string_view>

namespace varno {
namespace {

// Whatever way ModemStart leaves, the packet receiver gets the line back.
class TModemModeGuard {
public:
    explicit TModemModeGuard(bool& mode) : mode_(mode) { mode_ = true; }
    ~TModemModeGuard() { mode_ = false; }
    TModemModeGuard(const TModemModeGuard&) = delete;
    TModemModeGuard& operator=(const TModemModeGuard&) = delete;

private:
    bool& mode_;
};

}  // namespace

int TCommPax::Find(const char* text, int from) const
{
    // The whole text received so far, even past a zero byte the modem sent.
    const std::string_view received(ModemText, static_cast<size_t>(std::clamp(ModemTextLen, 0, ModemTextSize)));
    if (from < 0 || static_cast<size_t>(from) > received.size())
        return -1;
    const size_t at = received.find(text, static_cast<size_t>(from));
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

void TCommPax::WaitABit()
{
    // Lets timers, sockets and this port's own receive events run.
    if (!QCoreApplication::instance()) {
        QThread::msleep(10);
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(10, &loop, &QEventLoop::quit);
    loop.exec();
}

int TCommPax::WaitForText(const QByteArray& text, int from, int* end)
{
    QElapsedTimer since;
    since.start();
    for (;;) {
        const int at = Find(text.constData(), from);
        if (at >= 0) {
            *end = at + static_cast<int>(text.size());
            return 0;
        }
        if (since.elapsed() > ModemStageMs)
            return -2;
        WaitABit();
        if (Cancel)
            return -1;
    }
}

int TCommPax::ModemStart(const QString& Init, const QString& Number, bool Pulse)
{
    const QString init = QStringLiteral("\r\n") + Init + QStringLiteral("\r");
    const QString dial = (Pulse ? QStringLiteral("ATDP") : QStringLiteral("ATDT")) + Number + QStringLiteral("\r");
    // A command that does not fit the buffer (terminator included) is not
    // sent at all: a cut command would dial something else.
    if (init.size() >= ModemCommandSize || dial.size() >= ModemCommandSize)
        return -2;

    SetDTRState(true);
    TModemModeGuard modem(ModemMode);
    ModemTextLen = 0;
    ModemText[0] = '\0';
    Cancel = false;

    const QByteArray initBytes = init.toUtf8();
    Write(initBytes.constData(), static_cast<int>(initBytes.size()));
    int echoEnd = 0;
    if (const int r = WaitForText(initBytes, 0, &echoEnd); r != 0)
        return r;
    int okEnd = 0;
    if (const int r = WaitForText(QByteArrayLiteral("OK"), echoEnd, &okEnd); r != 0)
        return r;

    const QByteArray dialBytes = dial.toUtf8();
    ModemTextLen = 0;
    ModemText[0] = '\0';
    Write(dialBytes.constData(), static_cast<int>(dialBytes.size()));
    if (const int r = WaitForText(dialBytes, 0, &echoEnd); r != 0)
        return r;

    QElapsedTimer since;
    since.start();
    for (;;) {
        if (since.elapsed() > ModemStageMs)
            return -2;
        if (Find("CONNECT", echoEnd) >= 0)
            return 0;
        if (Find("NO DIALTONE", echoEnd) >= 0)
            return 1;
        if (Find("BUSY", echoEnd) >= 0)
            return 2;
        if (Find("NO CARRIER", echoEnd) >= 0)
            return 3;
        WaitABit();
        if (Cancel)
            return -1;
    }
}

}  // namespace varno
