// The status message as an RFC 5322 mail: UTF-8 text/plain, header fields that no input can add
// to or break (control characters never reach a header), the subject RFC 2047 encoded when it
// is not plain ASCII.
#ifndef VARNO_AGENTQ5_MESSAGEFORMAT_H
#define VARNO_AGENTQ5_MESSAGEFORMAT_H

#include <ctime>
#include <string>
#include <string_view>

namespace varno::agentq5 {

struct MessageInput {
    std::string from;
    std::string to;
    std::string_view subject;
    std::string_view text;
    char flag = 0;
    char type = 'I';
};

// "Thu, 05 Mar 2026 14:07:09 +0100", English names whatever the process's locale.
std::string MailDate(time_t when);
// The subject as header text: control characters as blanks, invalid UTF-8 as U+FFFD, encoded
// words (folded) when it is not short printable ASCII.
std::string EncodeSubject(std::string_view subject);
// The body: valid UTF-8, line ends LF, no line longer than 998 bytes.
std::string FormatBody(std::string_view text);
// Header value with every control character replaced by a blank.
std::string HeaderSafe(std::string_view value);
// The complete message, header and body, LF line ends (the local convention sendmail expects).
std::string FormatMessage(const MessageInput& input, time_t when, const std::string& messageId);
// A fresh Message-ID value, "<...@host>".
std::string NewMessageId(const std::string& host);
std::string HostName();

}  // namespace varno::agentq5

#endif
