#pragma once
#include "agent/nls/Nls.h"

#include <QString>
#include <cstdint>

namespace varno {

enum class TPacketDirection {
    Request,  // decoded by its own command byte
    Reply,    // decoded by the command byte of the request it answers
};

// Renders one request or reply payload as a log text. `command` is used only
// for replies (the first byte of the request). Command names are language
// texts 1000 + code, item names 2000 + item; each piece the renderer formats
// (a command name with its space, a name with its index, the error note)
// is at most 63 characters, long names being shortened so that the index or
// the space stays. With `showBytes` the bytes not described are appended in
// decimal. Never reads past `length`; an empty request renders as an empty text.
QString RenderPacket(const TNLS& texts, TPacketDirection direction, const uint8_t* bytes, int length, int command,
                     bool showBytes);

}  // namespace varno
