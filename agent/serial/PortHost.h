#pragma once
#include <QString>

namespace varno {

// What the port commands need of the main window's core.
class TPortHost {
public:
    virtual ~TPortHost() = default;

    // The port settings string, Set/Port of the configuration file.
    virtual QString& PortString() = 0;
    // Writes one key of the configuration file at once.
    virtual void WriteIniString(const QString& section, const QString& key, const QString& value) = 0;
    // Sets the status line to a text of its own, without a tag.
    virtual void ShowStatusText(const QString& text) = 0;
    virtual void LogLine(const QString& tag, const QString& text) = 0;
    // A language message text (section Texty); empty when missing.
    virtual QString GetText(int number) const = 0;
    virtual bool TickEnabled() const = 0;
    virtual void SetTickEnabled(bool enabled) = 0;
    // Switches TimerMSG and TimerSMS off; the reply to V switches them on again.
    virtual void StopMessageTimers() = 0;
    // After a port change: the tick goes idle, C, I and V are queued in this
    // order and the error count starts again at 0.
    virtual void RestartConversation() = 0;
    // Checks the item of the baud-rate menu whose rate is given (57600,
    // 38400, 19200 or 9600) and unchecks the others; 0 checks none.
    virtual void SetBaudChecks(int rate) = 0;
};

}  // namespace varno
