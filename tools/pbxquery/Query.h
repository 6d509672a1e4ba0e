#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace varno::pbxquery {

struct QueryResult {
    enum Status {
        Answered,      // Reply holds the answer
        NotConnected,  // no connection within the time, or refused
        SendFailed,
        NoReply,  // connected and sent, but nothing came within the time
        Closed,   // the agent closed the connection without answering
    };
    Status Outcome = NotConnected;
    std::vector<uint8_t> Reply;
    std::string Error;  // what went wrong, for the user
};

// Connects to the agent's gateway, sends the request in one piece and
// waits for its reply. The gateway does not frame its replies: the reply is
// what arrives first, together with whatever follows it without a pause.
// timeoutMs bounds the whole exchange, connecting included.
QueryResult Query(const std::string& host, uint16_t port, const std::vector<uint8_t>& request, int timeoutMs);

}  // namespace varno::pbxquery
