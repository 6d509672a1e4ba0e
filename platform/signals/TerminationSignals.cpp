#include "platform/signals/TerminationSignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace varno {
namespace {

int g_pipe[2] = {-1, -1};

void Handler(int signalNumber)
{
    const unsigned char b = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &b, 1);
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal))
{
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier_ = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { Readable(); });
    struct sigaction action {};
    action.sa_handler = Handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

TerminationSignals::~TerminationSignals()
{
    ::signal(SIGTERM, SIG_DFL);
    ::signal(SIGINT, SIG_DFL);
    notifier_.reset();
    for (int& fd : g_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void TerminationSignals::Readable()
{
    unsigned char b = 0;
    while (::read(g_pipe[0], &b, 1) == 1)
        if (onSignal_)
            onSignal_(b);
}

}  // namespace varno
