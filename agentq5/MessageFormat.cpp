#include "agentq5/MessageFormat.h"

#include "agentq5/Utf8Text.h"

#include <atomic>
#include <cstdio>
#include <sys/random.h>
#include <unistd.h>

namespace varno::agentq5 {
namespace {

constexpr std::string_view base64Alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64(std::string_view bytes)
{
    std::string out;
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t v = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8 |
                           static_cast<unsigned char>(bytes[i + 2]);
        out += base64Alphabet[(v >> 18) & 63];
        out += base64Alphabet[(v >> 12) & 63];
        out += base64Alphabet[(v >> 6) & 63];
        out += base64Alphabet[v & 63];
    }
    if (i + 1 == bytes.size()) {
        const uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
        out += base64Alphabet[(v >> 18) & 63];
        out += base64Alphabet[(v >> 12) & 63];
        out += "==";
    } else if (i + 2 == bytes.size()) {
        const uint32_t v = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += base64Alphabet[(v >> 18) & 63];
        out += base64Alphabet[(v >> 12) & 63];
        out += base64Alphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

bool IsControl(unsigned char byte) { return byte < 0x20 || byte == 0x7f; }

}  // namespace

std::string MailDate(time_t when)
{
    static constexpr const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    tm local{};
    ::localtime_r(&when, &local);
    const long offset = local.tm_gmtoff / 60;
    const long magnitude = offset < 0 ? -offset : offset;
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", days[local.tm_wday % 7],
                  local.tm_mday, months[local.tm_mon % 12], local.tm_year + 1900, local.tm_hour, local.tm_min,
                  local.tm_sec, offset < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
    return text;
}

std::string HeaderSafe(std::string_view value)
{
    std::string out = SanitiseUtf8(value);
    for (char& c : out) {
        if (IsControl(static_cast<unsigned char>(c)))
            c = ' ';
    }
    return out;
}

std::string EncodeSubject(std::string_view subject)
{
    std::string text = HeaderSafe(subject);
    bool plain = text.size() <= 900 && text.find("=?") == std::string::npos;
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            plain = false;
    }
    if (plain)
        return text;
    // Encoded words of at most 75 characters: "=?UTF-8?B?" + base64 of at most 45 bytes + "?=",
    // each holding whole characters, folded onto lines of their own.
    std::string out;
    std::string_view rest(text);
    while (!rest.empty()) {
        size_t take = Utf8CutLength(rest, 45);
        if (take == 0)
            take = 1;
        if (!out.empty())
            out += "\n ";
        out += "=?UTF-8?B?";
        out += Base64(rest.substr(0, take));
        out += "?=";
        rest.remove_prefix(take);
    }
    return out;
}

std::string FormatBody(std::string_view text)
{
    const std::string valid = SanitiseUtf8(text);
    std::string out;
    out.reserve(valid.size() + 1);
    size_t lineLength = 0;
    std::string_view rest(valid);
    while (!rest.empty()) {
        const size_t length = Utf8SequenceLength(rest);
        const std::string_view character = rest.substr(0, length);
        rest.remove_prefix(length);
        const auto byte = static_cast<unsigned char>(character[0]);
        if (byte == '\r')
            continue;  // CR LF and lone CR: the line ends are LF's
        if (byte == '\n') {
            out += '\n';
            lineLength = 0;
            continue;
        }
        std::string_view shown = character;
        if (IsControl(byte) && byte != '\t')
            shown = "\xef\xbf\xbd";
        if (lineLength + shown.size() > 998) {
            out += '\n';
            lineLength = 0;
        }
        out.append(shown);
        lineLength += shown.size();
    }
    if (out.empty() || out.back() != '\n')
        out += '\n';
    return out;
}

std::string HostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "localhost";
    std::string host(name);
    for (char& c : host) {
        if (IsControl(static_cast<unsigned char>(c)) || c == ' ' || c == '>' || c == '<' || c == '@')
            c = '-';
    }
    return host;
}

std::string NewMessageId(const std::string& host)
{
    static std::atomic<uint32_t> counter{0};
    uint64_t random = 0;
    if (::getrandom(&random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random))
        random = static_cast<uint64_t>(::time(nullptr)) * 2654435761U;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    char text[128];
    std::snprintf(text, sizeof text, "%lld.%ld.%u.%016llx", static_cast<long long>(now.tv_sec),
                  static_cast<long>(::getpid()), counter.fetch_add(1), static_cast<unsigned long long>(random));
    return "<" + std::string(text) + "@" + host + ">";
}

std::string FormatMessage(const MessageInput& input, time_t when, const std::string& messageId)
{
    std::string origin;
    if (input.flag == 1)
        origin = "trap";
    else if (input.flag == '1')
        origin = "pbx";
    else
        origin = std::to_string(static_cast<unsigned char>(input.flag));
    std::string message;
    message += "From: " + HeaderSafe(input.from) + "\n";
    message += "To: " + HeaderSafe(input.to) + "\n";
    message += "Subject: " + EncodeSubject(input.subject) + "\n";
    message += "Date: " + MailDate(when) + "\n";
    message += "Message-ID: " + HeaderSafe(messageId) + "\n";
    message += "MIME-Version: 1.0\n";
    message += "Content-Type: text/plain; charset=UTF-8\n";
    message += "Content-Transfer-Encoding: 8bit\n";
    message += "X-Varno-Origin: " + origin + "\n";
    message += "\n";
    message += FormatBody(input.text);
    return message;
}

}  // namespace varno::agentq5
