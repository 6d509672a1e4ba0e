#pragma once
#include "agent/serial/CommPax.h"
#include "agent/serial/PortHost.h"

#include <QString>
#include <functional>
#include <optional>

namespace varno {

struct TPortOpenResult {
    bool Ok = false;
    QString Error;  // the port's error message when it did not open
};

// The main window's commands on the serial port: opening it at start-up and
// closing it at shutdown, the port selection, the baud-rate menu and its save
// item, and the baud-rate check marks.
class TPortCommands {
public:
    // Entries of the port selection dialog: "COM 1" ... "COM 4".
    static constexpr int PortEntries = 4;
    // The language text the status line shows after a failed port change.
    static constexpr int PortChangeFailedText = 134;
    // The rates of the baud-rate menu.
    static constexpr int MenuRates[4] = {57600, 38400, 19200, 9600};

    TPortCommands(TPortHost& host, TCommPax& port);

    // How the agent's component is set up before any settings string is
    // applied: device "Com2", payloads of up to 512 bytes.
    static void PrepareCommPax1(TCommPax& port);

    // Start-up: applies PortString and opens the port.
    TPortOpenResult OpenPort();
    // Shutdown: closes the port if it is open.
    void ClosePort();

    // The entry the port selection dialog preselects: the 4th character of
    // PortString minus "1"; -1 when that is not one of the four entries.
    // Empty, with a log line, when PortString is too short to name a port.
    std::optional<int> PortSelectionEntry();
    // The port selection confirmed with entry 0 ... 3: closes the port, puts
    // the port's digit into PortString and saves it at once, applies it and
    // opens the port, then restarts the conversation with the PBX. When the
    // port does not open the status line shows language text 134 and the
    // conversation is left as it was. False when the port is not open
    // afterwards or the command was refused.
    bool SelectPort(int entry);
    // The whole command: choosePort shows the dialog with the preselected
    // entry and returns the confirmed entry, or nothing when cancelled.
    bool Volbasriovhoportu1Click(const std::function<std::optional<int>(int preselected)>& choosePort);

    // A baud-rate menu item: its caption as a number (9600 if it is none).
    void COMBaudClick(const QString& caption);
    // Puts the rate into PortString and reopens the port with the tick held.
    // False when the port did not open again (silently: the tick finds the
    // port closed) or PortString names no mode to change. The configuration
    // file is not written.
    bool SetBaud(const QString& baud);
    // The save item of the baud-rate menu: PortString to Set/Port.
    void Ulo6itdosouboru1Click();

    // Sets the baud-rate check marks from the port's current rate.
    void UpdateBaudChecks();
    // The menu rate to check for a port rate; 0 when it is none of them.
    static int BaudCheckFor(TBaudRate rate);
    // PortString with its baud rate replaced: the first field of a positional
    // mode ("COM2:19200,N,8,1" with 57600 gives "COM2:57600,N,8,1"), the
    // baud= key of a keyed mode (added when missing). Empty when the string
    // has no ":".
    static std::optional<QString> ReplaceBaud(const QString& portString, const QString& baud);

private:
    // Applies PortString, logging whatever it refused or did not understand.
    void ApplyPortString();

    TPortHost& host_;
    TCommPax& port_;
};

}  // namespace varno
