#include "tools/pbxsim/PbxResponder.h"

#include "tools/pbxsim/PbxDigits.h"

#include <algorithm>

namespace varno::pbxsim {
namespace {

bool IsItemCommand(uint8_t command) { return command == 0 || command == 1; }

// Stand-alone commands that consist of their code byte alone.
bool IsSingleByteCommand(uint8_t command)
{
    return command == 2 || command == 4 || command == 5 || command == 13 || command == 14;
}

void AppendText(std::vector<uint8_t>& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }

}  // namespace

PbxAnswer PbxResponder::Answer(const uint8_t* payload, size_t length)
{
    PbxAnswer answer;
    answer.Kind = ClassifyRequest(payload, length);
    if (length == 0) {
        answer.Reply = state_.DefaultAnswer.value_or(std::vector<uint8_t>{state_.StatusOf(RequestKind::Other)});
        answer.Note = "empty request";
        return answer;
    }
    const uint8_t command = payload[0];
    if (IsItemCommand(command) && length < 3) {
        Refuse(answer, payload, length, "item command without item or index");
        return answer;
    }
    const uint8_t status = state_.StatusOf(answer.Kind);
    if (status != 0 && answer.Kind != RequestKind::Other) {
        answer.Reply = {status};
        if (IsItemCommand(command))
            answer.Reply.insert(answer.Reply.end(), {payload[1], payload[2]});
        answer.Note = "status " + std::to_string(status) + " set for this kind";
        return answer;
    }
    if (command == 0)
        AnswerItemRead(answer, payload[1], payload[2]);
    else if (command == 1)
        AnswerItemWrite(answer, payload, length);
    else
        AnswerCommand(answer, payload, length);
    return answer;
}

void PbxResponder::Refuse(PbxAnswer& answer, const uint8_t* payload, size_t length, const std::string& why)
{
    answer.Reply = {state_.InvalidStatus};
    if (length > 0 && IsItemCommand(payload[0]))
        answer.Reply.insert(answer.Reply.end(), payload + 1, payload + std::min<size_t>(length, 3));
    answer.Note = "refused: " + why;
}

void PbxResponder::AnswerItemRead(PbxAnswer& answer, uint8_t item, uint8_t index)
{
    std::vector<uint8_t>& out = answer.Reply;
    out = {0, item, index};
    switch (answer.Kind) {
    case RequestKind::Lines:
        for (const SimLine& line : state_.Lines)
            out.insert(out.end(), line.NumberCodes.begin(), line.NumberCodes.end());
        return;
    case RequestKind::States:
        for (const SimLine& line : state_.Lines)
            out.insert(out.end(), {line.State, line.Party, 0, 0});
        return;
    case RequestKind::Party: {
        const uint8_t party = static_cast<uint8_t>(state_.FirstExternalParty() + index);
        const auto found = state_.Parties.find(party);
        if (found == state_.Parties.end()) {
            const uint8_t request[] = {0, item, index};
            Refuse(answer, request, 3, "no external party " + std::to_string(party));
            return;
        }
        out.insert(out.end(), 8, 0);
        AppendText(out, found->second);
        out.push_back(0);
        answer.Note = "party " + std::to_string(party);
        return;
    }
    case RequestKind::Slot: {
        if (index >= PbxState::SlotCount) {
            const uint8_t request[] = {0, item, index};
            Refuse(answer, request, 3, "no message slot " + std::to_string(index));
            return;
        }
        const MessageSlot& slot = state_.MessageSlots[index];
        out.push_back(slot.Type);
        if (slot.Type != 0)
            AppendText(out, slot.Text);
        return;
    }
    default: {
        const auto found = state_.Items.find({item, index});
        if (found != state_.Items.end())
            out.insert(out.end(), found->second.begin(), found->second.end());
        else
            answer.Note = "item has no data";
        return;
    }
    }
}

void PbxResponder::AnswerItemWrite(PbxAnswer& answer, const uint8_t* payload, size_t length)
{
    const uint8_t item = payload[1];
    const uint8_t index = payload[2];
    const uint8_t* data = payload + 3;
    const size_t dataLength = length - 3;
    switch (answer.Kind) {
    case RequestKind::SlotClear:
        if (index >= PbxState::SlotCount) {
            Refuse(answer, payload, length, "no message slot " + std::to_string(index));
            return;
        }
        state_.MessageSlots[index] = MessageSlot{};
        answer.Note = "slot " + std::to_string(index) + " cleared";
        break;
    case RequestKind::Counters: {
        const size_t groups = dataLength / 4;
        const size_t taken = std::min(groups, state_.Lines.size());
        std::string note;
        for (size_t i = 0; i < taken; ++i) {
            auto& counters = state_.Lines[i].Counters;
            for (size_t k = 0; k < 4; ++k)
                counters[k] = data[4 * i + k];
            if (!note.empty())
                note += ' ';
            note += std::to_string(i) + ":" + std::to_string(counters[0]) + "/" + std::to_string(counters[1]) + "/" +
                    std::to_string(counters[2]) + "/" + std::to_string(counters[3]);
        }
        if (dataLength % 4 != 0 || groups != state_.Lines.size())
            note += (note.empty() ? "" : " ") + std::string("(") + std::to_string(dataLength) + " counter bytes for " +
                    std::to_string(state_.Lines.size()) + " lines)";
        answer.Note = note;
        break;
    }
    default:
        state_.Items[{item, index}].assign(data, data + dataLength);
        answer.Note = "item " + std::to_string(item) + "[" + std::to_string(index) + "] stored";
        break;
    }
    answer.Reply = {0, item, index};
}

void PbxResponder::AnswerCommand(PbxAnswer& answer, const uint8_t* payload, size_t length)
{
    const uint8_t command = payload[0];
    std::vector<uint8_t>& out = answer.Reply;
    if (answer.Kind == RequestKind::Other) {
        if (state_.DefaultAnswer)
            out = *state_.DefaultAnswer;
        else
            out = {state_.StatusOf(RequestKind::Other)};
        return;
    }
    if (IsSingleByteCommand(command) && length > 1) {
        Refuse(answer, payload, length, "command " + std::to_string(command) + " takes no data");
        return;
    }
    out = {0};
    switch (answer.Kind) {
    case RequestKind::Config: out.insert(out.end(), state_.Config.begin(), state_.Config.end()); break;
    case RequestKind::Identity: out.insert(out.end(), state_.Identity.begin(), state_.Identity.end()); break;
    case RequestKind::Command14: out.insert(out.end(), state_.Command14.begin(), state_.Command14.end()); break;
    case RequestKind::Bill:
    case RequestKind::Rebill: {
        const bool again = answer.Kind == RequestKind::Rebill;
        const auto record = again ? state_.Billing.Previous() : state_.Billing.Next();
        if (record) {
            AppendText(out, *record);
            answer.Note = "record " + std::to_string(state_.Billing.HandedOut()) + (again ? " again" : "") + ", " +
                          std::to_string(state_.Billing.Waiting()) + " waiting";
        } else {
            answer.Note = again ? "no record handed out yet" : "no record waiting";
        }
        break;
    }
    case RequestKind::Keys: {
        if (length < 2) {
            Refuse(answer, payload, length, "keys without a line");
            return;
        }
        const uint8_t line = payload[1];
        if (line >= state_.Lines.size()) {
            Refuse(answer, payload, length, "no line " + std::to_string(line));
            return;
        }
        answer.Note = "line " + std::to_string(line) + " " + DescribeKeyCodes(payload + 2, length - 2);
        break;
    }
    default: break;
    }
}

}  // namespace varno::pbxsim
