#pragma once
#include "agent/pbx/States.h"

#include <QString>

namespace varno {

// What the data model needs of the rest of the agent. The agent's core
// implements it; the data model holds a reference for its whole life and
// calls it only on the main thread.
class TDataHost {
public:
    virtual ~TDataHost() = default;

    // Language text by number; a missing text is empty.
    virtual QString GetText(int number) const = 0;

    // One entry of the event log (bad replies from the PBX are reported here).
    virtual void LogLine(const QString& tag, const QString& text) = 0;

    // Empties the reply cache: the PBX's configuration or identity changed.
    virtual void CacheFlush() = 0;

    // The line-interface switch (key "QLIN" of section "Set").
    virtual bool QlinOn() const = 0;

    // Publishes the name of line `index` (0..55) to the line-interface clients.
    // `name` points to at least 4 characters, zero-padded.
    virtual void QlinLine(int index, const char* name) = 0;

    // Passes one line-state record to the line-interface clients.
    virtual void QlinPutStates(const TStates& record) = 0;

    // The line-state record kept for a pending party lookup (its Line and
    // State are set when the lookup is queued; the data model fills Text).
    virtual TStates& QlinState() = 0;

    // The command most recently taken from the line interface.
    virtual const TStates& QlinCommand() const = 0;

protected:
    TDataHost() = default;
    TDataHost(const TDataHost&) = default;
    TDataHost& operator=(const TDataHost&) = default;
};

}  // namespace varno
