#pragma once
#include <QProcess>
#include <QString>

namespace varno::test {

// A client application of the line interface: the library's test peer as a
// process of its own, asked one line at a time (open, get, command, lines).
// It inherits this program's shared block name.
class ClientPeer {
public:
    ClientPeer();
    ~ClientPeer();
    // The peer's one-line answer; "<timeout>" when none came. The event
    // loop runs meanwhile, so that the agent in this process can answer.
    QString Ask(const QString& request);
    QProcess process;
};

}  // namespace varno::test
