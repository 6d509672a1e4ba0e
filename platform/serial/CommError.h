#pragma once
#include <QString>
#include <stdexcept>

namespace varno {

// The error class of the serial component. Its message has the fixed form
// "<text> (Error: <n>) ", n being the system error number, which is what the
// port's users match and show; Detail() says in plain words what went wrong
// when the number alone would not (for example a rate the line cannot run).
class ECommError : public std::runtime_error {
public:
    ECommError(const QString& text, int systemError, const QString& detail = QString());

    const QString& Text() const { return text_; }
    int SystemError() const { return systemError_; }
    const QString& Detail() const { return detail_; }
    // The message as it stands, "<text> (Error: <n>) ".
    QString Message() const;
    // The message followed by the detail, for a log line.
    QString FullMessage() const;

private:
    QString text_;
    int systemError_;
    QString detail_;
};

// The texts the component raises.
namespace CommErrorText {
inline constexpr const char* AlreadyOpen = "Port already assigned (open)";
inline constexpr const char* AccessDevice = "Error accessing specified device";
inline constexpr const char* AccessDenied = "Invalid device handle, access denied";
inline constexpr const char* Timeouts = "Error updating CommTimeouts";
inline constexpr const char* ControlBlock = "Error updating DataControlBlock";
inline constexpr const char* Buffers = "Error initializing Read/Write Buffers";
inline constexpr const char* Write = "Write error";
inline constexpr const char* Read = "Read error";
}  // namespace CommErrorText

}  // namespace varno
