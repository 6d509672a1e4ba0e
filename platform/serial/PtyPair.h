#pragma once
#include <QString>

namespace varno {

// A pseudo-terminal pair: a serial line inside one machine. The program under
// test opens the slave path like any serial device; the other side (a test,
// the PBX simulator) reads and writes the master descriptor, directly or
// through TComm::OpenFd.
//
// By default the pair also keeps the slave open itself, in raw mode: the
// master then never sees a hang-up while the slave's user closes and reopens
// its port, and nothing written to the master is echoed or translated before
// that user has set the line up.
class PtyPair {
public:
    // Raises ECommError "Error accessing specified device" when the system
    // has no pseudo-terminal to give.
    explicit PtyPair(bool holdSlave = true);
    ~PtyPair();
    PtyPair(PtyPair&& other) noexcept;
    PtyPair& operator=(PtyPair&& other) noexcept;
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int MasterFd() const { return master_; }
    const QString& SlavePath() const { return slavePath_; }
    // Hands the master over; the caller closes it.
    int ReleaseMaster();
    void CloseMaster();
    // Stops holding the slave open, so that closing the master hangs up the
    // slave's user and closing the slave's user hangs up the master.
    void CloseSlaveHold();

private:
    void CloseAll();

    int master_ = -1;
    int slaveHold_ = -1;
    QString slavePath_;
};

}  // namespace varno
