#pragma once
#include "tools/pbxsim/PbxState.h"
#include "tools/pbxsim/RequestKind.h"

#include <cstdint>
#include <string>
#include <vector>

namespace varno::pbxsim {

// The answer of the simulated PBX to one request payload.
struct PbxAnswer {
    RequestKind Kind = RequestKind::Other;
    std::vector<uint8_t> Reply;  // the reply payload: status first, no sequence number
    std::string Note;            // what the request did, for the log; empty when nothing to say
};

// Answers request payloads from the state, as the PBX would: reads are served
// from it, writes change it (slot clear, message counters, other items), and
// billing reads move through the records.
//
// Layouts: item commands (0 read, 1 write) answer status, item, index and
// then the item's data; other commands answer status and then their data. A
// kind whose status is set to anything but 0 answers only the status (with
// item and index for item commands) and changes nothing. A request the PBX
// cannot carry out answers the state's invalid status in the same short form.
class PbxResponder {
public:
    explicit PbxResponder(PbxState& state) : state_(state) {}

    PbxAnswer Answer(const uint8_t* payload, size_t length);

private:
    void AnswerItemRead(PbxAnswer& answer, uint8_t item, uint8_t index);
    void AnswerItemWrite(PbxAnswer& answer, const uint8_t* payload, size_t length);
    void AnswerCommand(PbxAnswer& answer, const uint8_t* payload, size_t length);
    void Refuse(PbxAnswer& answer, const uint8_t* payload, size_t length, const std::string& why);

    PbxState& state_;
};

}  // namespace varno::pbxsim
