#pragma once
#include <QString>
#include <cstdint>

namespace varno {

// What the tick drives: the side that knows the PBX's messages gives each
// queued request kind its bytes, and renders request bytes for the log.
class TRequestBuilder {
public:
    // A build buffer holds at least this many bytes.
    static constexpr int BufferSize = 256;

    virtual ~TRequestBuilder() = default;
    // The payload of a request of `kind` (C, I, V, A, X, U, S, M, #, Y) with
    // the queue entry's argument; returns its length.
    virtual int BuildRequest(char kind, int32_t argument, uint8_t* buf) = 0;
    virtual QString DescribeRequest(const uint8_t* bytes, int length, bool showBytes) const = 0;

protected:
    TRequestBuilder() = default;
    TRequestBuilder(const TRequestBuilder&) = default;
    TRequestBuilder& operator=(const TRequestBuilder&) = default;
};

}  // namespace varno
