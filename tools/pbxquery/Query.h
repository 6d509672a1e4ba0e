#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace pbxquery {

struct QueryResult {
    enum Status {
        Answered,       // reply holds the answer
        NotConnected,   // no connection within the time, or refused
        SendFailed,
        NoReply,        // connected and sent, but nothing came within the time
        Closed,         // the agent closed the connection without answering
    };
    Status status = NotConnected;
    std::vector<uint8_t> reply;
    std::string error;  // what went wrong, for the user
};

// Connects to the agent's gateway, sends the request in one piece and
// waits for its reply. The gateway does not frame its replies: the reply is
// what arrives first, together with whatever follows it without a pause.
// timeoutMs bounds the whole exchange, connecting included.
QueryResult Query(const std::string& host, uint16_t port, const std::vector<uint8_t>& request, int timeoutMs);

}  // namespace pbxquery
