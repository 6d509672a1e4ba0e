#pragma once
#include <QCoreApplication>

namespace varno::test {

// The one application object of a test program, made on first use: the
// serial port, sockets and timers need an event loop.
inline void EnsureCoreApplication()
{
    static int argc = 1;
    static char name[] = "varno-test";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

}  // namespace varno::test
