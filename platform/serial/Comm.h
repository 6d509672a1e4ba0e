#pragma once
#include "platform/serial/CommError.h"
#include "platform/serial/CommSettings.h"

#include <QString>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace varno {

// A serial port over POSIX termios.
//
// The port is a file descriptor in non-blocking mode, watched on the thread
// that opened it by a QSocketNotifier; arriving bytes raise OnRxChar there with
// the number of bytes waiting, so every user of the port runs on the main
// thread. Reads never block; a write blocks until its bytes are handed to the
// system or WriteTimeout has passed.
//
// Device names: "COMn" (any letter case) is the n-th standard serial port,
// /dev/ttyS(n-1) by default (see SetComDevicePattern); a name that begins with
// "/" is a path (USB adapters, pseudo-terminals); any other name is looked up
// in /dev.
//
// Line settings may be changed at any time. On a closed port they are only
// kept; they are applied when the port opens and at once while it is open. A
// setting the line cannot do (a rate without a termios speed, 4 data bits)
// makes Open fail, or a change of an open port fail with the port left as it
// was, with ECommError "Error updating DataControlBlock".
class TComm {
public:
    TComm();
    virtual ~TComm();
    TComm(const TComm&) = delete;
    TComm& operator=(const TComm&) = delete;

    // The device used by Open. Refused while the port is open with another
    // device (ECommError "Port already assigned (open)").
    void SetDeviceName(const QString& name);
    const QString& DeviceName() const { return deviceName_; }
    // The path that Open uses for a device name.
    static QString DevicePath(const QString& name);
    // Where "COMn" leads: the pattern's "%1" is replaced by n - 1. The default
    // is "/dev/ttyS%1"; "/dev/ttyUSB%1" suits a machine whose lines are USB
    // adapters.
    static void SetComDevicePattern(const QString& pattern);
    static QString ComDevicePattern();

    void SetBaudRate(TBaudRate rate);
    TBaudRate BaudRate() const { return baudRate_; }
    void SetDataBits(TDataBits bits);
    TDataBits DataBits() const { return dataBits_; }
    void SetStopBits(TStopBits bits);
    TStopBits StopBits() const { return stopBits_; }
    void SetParity(TParity parity);
    TParity Parity() const { return parity_; }

    // Milliseconds a write may wait for room in the system's output buffer.
    int WriteTimeout = 1000;
    // Whether arriving bytes raise OnRxChar. A port that is read by polling
    // turns it off before opening.
    bool MonitorRxChar = true;

    // Opens DeviceName and applies the line settings. Raises ECommError with
    // one of the open texts when the device cannot be opened or set up; the
    // port is closed then.
    void Open();
    // Adopts a descriptor that is open already (a pseudo-terminal master, one
    // end of a socket pair). The descriptor is switched to non-blocking mode
    // and used as it is: its line settings are left to whoever opened it. With
    // takeOwnership the port closes it on Close.
    void OpenFd(int fd, bool takeOwnership);
    // Closes the port if it is open. Safe to call from inside OnRxChar.
    void Close();
    bool Enabled() const { return fd_ >= 0; }
    int Handle() const { return fd_; }

    // Reads up to n waiting bytes without waiting; returns how many it read (0
    // when none are waiting or the port is closed). Raises ECommError "Read
    // error" when the system refuses the read or the line has hung up.
    int Read(void* buffer, int n);
    // Writes n bytes, waiting at most WriteTimeout ms for room; returns the
    // number written, fewer when the time ran out (the rest is abandoned).
    // Raises ECommError "Write error" when the system refuses the write or the
    // port is closed.
    int Write(const void* data, int n);
    // Discards output that the system has not sent yet. False when the port
    // is closed or the system refused.
    bool PurgeOut();
    // Discards input that has not been read yet.
    bool PurgeIn();
    // Raises or drops DTR. A device without modem lines (a pseudo-terminal)
    // is not an error: the call returns false and nothing changes.
    bool SetDTRState(bool on);
    // Bytes waiting to be read (0 when closed).
    int InQueCount() const;

    // Bytes have arrived; Count is the number waiting. Runs on the thread that
    // opened the port. While it runs the port is not watched, so a nested
    // event loop inside the handler does not re-enter it.
    std::function<void(TComm* Sender, int Count)> OnRxChar;
    // A failure found while watching the port (a read error, a hang-up, an
    // exception escaping OnRxChar). After a read error or a hang-up the port
    // stays open but is no longer watched until it is opened again. Without a
    // handler the error goes to the Qt warning output.
    std::function<void(TComm* Sender, const QString& Message)> OnCommError;

private:
    void ApplyLineSettings(int fd) const;
    void ApplyIfOpen();
    void StartWatching();
    void StopWatching();
    void InputReady();
    void ReportError(const QString& message);

    QString deviceName_ = QStringLiteral("COM2");
    TBaudRate baudRate_ = TBaudRate::br9600;
    TDataBits dataBits_ = TDataBits::da8;
    TStopBits stopBits_ = TStopBits::sb10;
    TParity parity_ = TParity::paNone;

    int fd_ = -1;
    bool ownsFd_ = false;
    bool inHandler_ = false;
    std::unique_ptr<QSocketNotifier> notifier_;
    // Lets the watcher see that the port was destroyed from inside a handler.
    std::shared_ptr<bool> alive_;
};

}  // namespace varno
