#include "tools/pbxsim/StatementInterpreter.h"

#include "tools/pbxsim/ByteText.h"
#include "tools/pbxsim/PbxDigits.h"

#include <algorithm>

namespace varno::pbxsim {
namespace {

using Words = std::vector<std::string_view>;
using Parsed = StatementInterpreter::Parsed;

Parsed Refused(std::string why) { return Parsed{nullptr, std::move(why)}; }

std::string Quoted(std::string_view word) { return "\"" + std::string(word) + "\""; }

// Bytes from words[from] up to (not including) words[to].
std::optional<std::vector<uint8_t>> ParseBytes(const Words& words, size_t from, size_t to, std::string& error)
{
    std::vector<uint8_t> bytes;
    for (size_t i = from; i < to && i < words.size(); ++i) {
        const auto b = ParseByte(words[i]);
        if (!b) {
            error = Quoted(words[i]) + " is not a byte (0..255, 0xNN or 'c')";
            return std::nullopt;
        }
        bytes.push_back(*b);
    }
    return bytes;
}

// `count N` and `on KINDS` may follow a fault in either order.
bool IsFaultOption(std::string_view word) { return word == "on" || word == "count"; }

bool IsLineKeyword(std::string_view word)
{
    return word == "state" || word == "party" || word == "codes" || word == "number";
}

std::string ReplaceAll(std::string text, std::string_view from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

}  // namespace

StatementInterpreter::Outcome StatementInterpreter::Execute(std::string_view line, double now)
{
    Parsed parsed = Parse(line);
    if (!parsed.Error.empty())
        return Outcome{false, "ERR " + parsed.Error};
    if (!parsed.Action)
        return Outcome{true, "OK"};
    std::string data = parsed.Action(now);
    return Outcome{true, data.empty() ? "OK" : data};
}

void StatementInterpreter::RunDue(double now)
{
    while (auto entry = timeline_.TakeNextDue(now)) {
        host_.Log("EVENT", entry->Text);
        const std::string data = entry->Action(entry->Time);
        if (!data.empty())
            host_.Log("EVENT", data);
    }
}

StatementInterpreter::Parsed StatementInterpreter::Parse(std::string_view line)
{
    const Words words = SplitWords(line);
    if (words.empty() || words[0].front() == '#' || words[0].front() == ';')
        return Parsed{};
    return ParseWords(line, words);
}

StatementInterpreter::Parsed StatementInterpreter::ParseWords(std::string_view line, const Words& words)
{
    const std::string_view verb = words[0];
    std::string error;

    if (verb == "config")
        return ParseConfig(words);
    if (verb == "identity")
        return ParseIdentity(words);
    if (verb == "command14") {
        auto bytes = ParseBytes(words, 1, words.size(), error);
        if (!bytes)
            return Refused(error);
        if (bytes->size() > 500)
            return Refused("command14 holds at most 500 bytes");
        return Parsed{[this, data = *bytes](double) {
                          state_.Command14 = data;
                          return std::string();
                      },
                      {}};
    }
    if (verb == "lines") {
        const auto count = words.size() == 2 ? ParseInteger(words[1], 0, PbxState::MaxLines) : std::nullopt;
        if (!count)
            return Refused("lines takes a count from 0 to " + std::to_string(PbxState::MaxLines));
        return Parsed{[this, n = size_t(*count)](double) {
                          state_.Lines.resize(n);
                          return std::string();
                      },
                      {}};
    }
    if (verb == "line")
        return ParseLine(words);
    if (verb == "party") {
        const auto party = words.size() >= 2 ? ParseByte(words[1]) : std::nullopt;
        if (!party)
            return Refused("party takes a party number (0..255) and its number text");
        const auto text = Unescape(RestAfterWords(line, 2));
        if (!text)
            return Refused("bad escape in the party's number text");
        return Parsed{[this, p = *party, t = *text](double) {
                          if (t.empty())
                              state_.Parties.erase(p);
                          else
                              state_.Parties[p] = t;
                          return std::string();
                      },
                      {}};
    }
    if (verb == "slot")
        return ParseSlot(line, words);
    if (verb == "bill") {
        const auto text = Unescape(RestAfterWords(line, 1));
        if (!text || text->empty())
            return Refused(text ? "bill needs the record's text" : "bad escape in the record's text");
        return Parsed{[this, t = *text](double) {
                          state_.Billing.Append(ReplaceAll(t, "{n}", std::to_string(state_.Billing.Total() + 1)));
                          return std::string();
                      },
                      {}};
    }
    if (verb == "item") {
        const auto item = words.size() >= 3 ? ParseByte(words[1]) : std::nullopt;
        const auto index = words.size() >= 3 ? ParseByte(words[2]) : std::nullopt;
        if (!item || !index)
            return Refused("item takes an item number, an index and the data bytes");
        auto bytes = ParseBytes(words, 3, words.size(), error);
        if (!bytes)
            return Refused(error);
        if (bytes->size() > 500)
            return Refused("an item holds at most 500 bytes");
        return Parsed{[this, key = std::make_pair(*item, *index), data = *bytes](double) {
                          state_.Items[key] = data;
                          return std::string();
                      },
                      {}};
    }
    if (verb == "status")
        return ParseStatus(words);
    if (verb == "default") {
        auto bytes = ParseBytes(words, 1, words.size(), error);
        if (!bytes)
            return Refused(error);
        return Parsed{[this, data = *bytes](double) {
                          if (data.empty())
                              state_.DefaultAnswer.reset();
                          else
                              state_.DefaultAnswer = data;
                          return std::string();
                      },
                      {}};
    }
    if (verb == "fault")
        return ParseFault(words);
    if (verb == "send")
        return ParseSend(words);
    if (verb == "at" || verb == "after" || verb == "every")
        return ParseScheduled(line, words);
    if (verb == "timeline") {
        if (words.size() != 2 || words[1] != "clear")
            return Refused("timeline takes \"clear\"");
        return Parsed{[this](double) {
                          timeline_.Clear();
                          return std::string();
                      },
                      {}};
    }
    if (verb == "stats" && words.size() == 1)
        return Parsed{[this](double) { return host_.StatsLine(); }, {}};
    if (verb == "quit" && words.size() == 1)
        return Parsed{[this](double) {
                          host_.Quit();
                          return std::string();
                      },
                      {}};
    return Refused("unknown statement " + Quoted(verb));
}

StatementInterpreter::Parsed StatementInterpreter::ParseConfig(const Words& words)
{
    std::string error;
    if (words.size() >= 2 && words[1] == "byte") {
        const auto at = words.size() == 4 ? ParseInteger(words[2], 0, 15) : std::nullopt;
        const auto value = words.size() == 4 ? ParseByte(words[3]) : std::nullopt;
        if (!at || !value)
            return Refused("config byte takes a position 0..15 and a value");
        return Parsed{[this, i = size_t(*at), v = *value](double) {
                          state_.Config[i] = v;
                          return std::string();
                      },
                      {}};
    }
    auto bytes = ParseBytes(words, 1, words.size(), error);
    if (!bytes)
        return Refused(error);
    if (bytes->size() > state_.Config.size())
        return Refused("the configuration block has 16 bytes");
    return Parsed{[this, data = *bytes](double) {
                      state_.Config.fill(0);
                      std::copy(data.begin(), data.end(), state_.Config.begin());
                      return std::string();
                  },
                  {}};
}

StatementInterpreter::Parsed StatementInterpreter::ParseIdentity(const Words& words)
{
    std::string error;
    if (words.size() >= 2 && words[1] == "byte") {
        const auto at = words.size() == 4 ? ParseInteger(words[2], 0, 6) : std::nullopt;
        const auto value = words.size() == 4 ? ParseByte(words[3]) : std::nullopt;
        if (!at || !value)
            return Refused("identity byte takes a position 0..6 and a value");
        return Parsed{[this, i = size_t(*at), v = *value](double) {
                          state_.Identity[i] = v;
                          return std::string();
                      },
                      {}};
    }
    auto bytes = ParseBytes(words, 1, words.size(), error);
    if (!bytes)
        return Refused(error);
    if (bytes->size() > state_.Identity.size())
        return Refused("the identity block has 7 bytes");
    return Parsed{[this, data = *bytes](double) {
                      state_.Identity.fill(0);
                      std::copy(data.begin(), data.end(), state_.Identity.begin());
                      return std::string();
                  },
                  {}};
}

StatementInterpreter::Parsed StatementInterpreter::ParseLine(const Words& words)
{
    const auto index = words.size() >= 2 ? ParseInteger(words[1], 0, PbxState::MaxLines - 1) : std::nullopt;
    if (!index)
        return Refused("line takes a line index from 0 to " + std::to_string(PbxState::MaxLines - 1));
    std::optional<std::array<uint8_t, 4>> codes;
    std::optional<uint8_t> lineState;
    std::optional<uint8_t> party;
    for (size_t i = 2; i < words.size(); ++i) {
        const std::string_view word = words[i];
        if (word == "state" || word == "party") {
            const auto value = i + 1 < words.size() ? ParseByte(words[i + 1]) : std::nullopt;
            if (!value)
                return Refused(std::string(word) + " takes a value 0..255");
            (word == "state" ? lineState : party) = *value;
            ++i;
        } else if (word == "codes") {
            std::array<uint8_t, 4> raw{};
            size_t n = 0;
            while (i + 1 < words.size() && !IsLineKeyword(words[i + 1]) && n < raw.size()) {
                const auto value = ParseByte(words[i + 1]);
                if (!value)
                    return Refused(Quoted(words[i + 1]) + " is not a digit code (0..255)");
                raw[n++] = *value;
                ++i;
            }
            if (n == 0)
                return Refused("codes takes one to four code bytes");
            codes = raw;
        } else {
            std::string_view number = word;
            if (word == "number") {
                if (i + 1 >= words.size())
                    return Refused("number takes the extension number");
                number = words[++i];
            }
            if (codes)
                return Refused("the line's number is given twice");
            codes = number == "-" ? std::array<uint8_t, 4>{} : EncodeExtension(number);
            if (!codes)
                return Refused(Quoted(number) + " is not an extension number (up to 4 of 1234567890*#FPSABCD)");
        }
    }
    return Parsed{[this, i = size_t(*index), codes, lineState, party](double) {
                      if (state_.Lines.size() <= i)
                          state_.Lines.resize(i + 1);
                      SimLine& line = state_.Lines[i];
                      if (codes)
                          line.NumberCodes = *codes;
                      if (lineState)
                          line.State = *lineState;
                      if (party)
                          line.Party = *party;
                      return std::string();
                  },
                  {}};
}

StatementInterpreter::Parsed StatementInterpreter::ParseSlot(std::string_view line, const Words& words)
{
    const auto slot = words.size() >= 3 ? ParseInteger(words[1], 0, PbxState::SlotCount - 1) : std::nullopt;
    if (!slot)
        return Refused("slot takes a slot 0..3, a type (Q F I L V Z, empty, or a byte) and the text");
    uint8_t type = 0;
    const std::string_view typeWord = words[2];
    if (typeWord == "empty")
        type = 0;
    else if (typeWord.size() == 1 && !(typeWord[0] >= '0' && typeWord[0] <= '9'))
        type = static_cast<uint8_t>(typeWord[0]);
    else if (const auto b = ParseByte(typeWord))
        type = *b;
    else
        return Refused(Quoted(typeWord) + " is not a message type");
    const auto text = Unescape(RestAfterWords(line, 3));
    if (!text)
        return Refused("bad escape in the message text");
    return Parsed{[this, i = size_t(*slot), type, t = *text](double) {
                      state_.MessageSlots[i] = MessageSlot{type, type == 0 ? std::string() : t};
                      return std::string();
                  },
                  {}};
}

StatementInterpreter::Parsed StatementInterpreter::ParseStatus(const Words& words)
{
    const auto value = words.size() == 3 ? ParseByte(words[2]) : std::nullopt;
    if (!value)
        return Refused("status takes a kind (or \"invalid\") and a status 0..255");
    if (words[1] == "invalid")
        return Parsed{[this, v = *value](double) {
                          state_.InvalidStatus = v;
                          return std::string();
                      },
                      {}};
    const auto kinds = ParseKindSet(words[1]);
    if (!kinds)
        return Refused(Quoted(words[1]) + " is not a request kind");
    return Parsed{[this, k = *kinds, v = *value](double) {
                      for (int i = 0; i < RequestKindCount; ++i)
                          if (k & (KindSet(1) << i))
                              state_.Status[i] = v;
                      return std::string();
                  },
                  {}};
}

StatementInterpreter::Parsed StatementInterpreter::ParseFault(const Words& words)
{
    if (words.size() < 2)
        return Refused("fault takes a fault type, \"clear\" or \"list\"");
    if (words[1] == "list" && words.size() == 2)
        return Parsed{[this](double) { return "FAULTS " + faults_.Describe(); }, {}};

    const bool clearing = words[1] == "clear";
    std::optional<FaultType> type;
    size_t i = 2;
    if (!clearing || (words.size() > 2 && !IsFaultOption(words[2]))) {
        type = ParseFaultType(words[clearing ? 2 : 1]);
        if (!type)
            return Refused(Quoted(words[clearing ? 2 : 1]) +
                           " is not a fault (silent delay twice crc e0 e0only noise)");
        i = clearing ? 3 : 2;
    }
    Fault fault;
    if (type)
        fault.Type = *type;
    if (!clearing && fault.Type == FaultType::Delay) {
        const auto ms = i < words.size() ? ParseInteger(words[i], 0, 600000) : std::nullopt;
        if (!ms)
            return Refused("delay takes milliseconds (0..600000)");
        fault.DelayMs = int(*ms);
        ++i;
    }
    if (!clearing && fault.Type == FaultType::Noise) {
        size_t end = i;
        while (end < words.size() && !IsFaultOption(words[end]))
            ++end;
        std::string error;
        auto bytes = ParseBytes(words, i, end, error);
        if (!bytes)
            return Refused(error);
        // Bytes that mean nothing to a receiver between packets: no 0xEE
        // (which would start a frame) and no 0xE0 (which has a meaning of its own).
        fault.Noise = bytes->empty() ? std::vector<uint8_t>{0x11, 0x55, 0xAA, 0x7F} : *bytes;
        i = end;
    }
    while (i < words.size()) {
        if (words[i] == "on" && i + 1 < words.size()) {
            const auto kinds = ParseKindSet(words[i + 1]);
            if (!kinds)
                return Refused(Quoted(words[i + 1]) + " is not a request kind");
            fault.Kinds = *kinds;
            i += 2;
        } else if (!clearing && words[i] == "count" && i + 1 < words.size()) {
            const auto n = ParseInteger(words[i + 1], 1, 1000000000);
            if (!n)
                return Refused("count takes a number of requests (1 or more)");
            fault.Remaining = *n;
            i += 2;
        } else {
            return Refused("unexpected " + Quoted(words[i]) + " in the fault");
        }
    }
    if (clearing)
        return Parsed{[this, type, kinds = fault.Kinds](double) {
                          faults_.Clear(type, kinds);
                          return std::string();
                      },
                      {}};
    return Parsed{[this, fault](double) {
                      faults_.Add(fault);
                      return std::string();
                  },
                  {}};
}

StatementInterpreter::Parsed StatementInterpreter::ParseSend(const Words& words)
{
    std::string error;
    const std::string_view what = words.size() >= 2 ? words[1] : std::string_view();
    if (what == "e0") {
        const auto n = words.size() == 3 ? ParseInteger(words[2], 1, 100) : std::optional<long>(1);
        if (!n || words.size() > 3)
            return Refused("send e0 takes how many (1..100)");
        return Parsed{[this, n = size_t(*n)](double) {
                          host_.SendRaw(std::vector<uint8_t>(n, 0xE0));
                          return std::string();
                      },
                      {}};
    }
    if (what == "noise" || what == "raw") {
        auto bytes = ParseBytes(words, 2, words.size(), error);
        if (!bytes || bytes->empty())
            return Refused(bytes ? "send " + std::string(what) + " takes the bytes" : error);
        return Parsed{[this, data = *bytes](double) {
                          host_.SendRaw(data);
                          return std::string();
                      },
                      {}};
    }
    if (what == "packet" || what == "badcrc") {
        const auto sequence = words.size() >= 3 ? ParseByte(words[2]) : std::nullopt;
        if (!sequence)
            return Refused("send " + std::string(what) + " takes a sequence number and the payload bytes");
        auto bytes = ParseBytes(words, 3, words.size(), error);
        if (!bytes)
            return Refused(error);
        return Parsed{[this, s = *sequence, data = *bytes, bad = what == "badcrc"](double) {
                          host_.SendPacket(s, data, bad);
                          return std::string();
                      },
                      {}};
    }
    return Refused("send takes e0, noise, raw, packet or badcrc");
}

StatementInterpreter::Parsed StatementInterpreter::ParseScheduled(std::string_view line, const Words& words)
{
    const std::string_view verb = words[0];
    const auto seconds = words.size() >= 3 ? ParseSeconds(words[1]) : std::nullopt;
    if (!seconds)
        return Refused(std::string(verb) + " takes seconds and a statement");
    size_t skip = 2;
    long repeats = -1;
    if (verb == "every") {
        if (*seconds <= 0)
            return Refused("every takes a period above 0");
        if (words[2] == "count") {
            const auto n = words.size() >= 5 ? ParseInteger(words[3], 1, 1000000000) : std::nullopt;
            if (!n)
                return Refused("every ... count takes a number of runs and a statement");
            repeats = *n;
            skip = 4;
        }
    }
    const std::string_view inner = RestAfterWords(line, skip);
    Parsed parsed = Parse(inner);
    if (!parsed.Error.empty())
        return parsed;
    if (!parsed.Action)
        return Refused(std::string(verb) + " needs a statement");
    const double s = *seconds;
    std::string text(inner);
    Timeline::Action action = parsed.Action;
    if (verb == "at")
        return Parsed{[this, s, text, action](double) {
                          timeline_.Add(s, text, action);
                          return std::string();
                      },
                      {}};
    if (verb == "after")
        return Parsed{[this, s, text, action](double now) {
                          timeline_.Add(now + s, text, action);
                          return std::string();
                      },
                      {}};
    return Parsed{[this, s, repeats, text, action](double now) {
                      std::string data = action(now);
                      timeline_.Add(now + s, text, action, s, repeats < 0 ? -1 : repeats - 1);
                      return data;
                  },
                  {}};
}

}  // namespace varno::pbxsim
