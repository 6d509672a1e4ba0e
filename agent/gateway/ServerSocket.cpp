#include "agent/gateway/ServerSocket.h"

#include <unistd.h>

namespace varno {

void TServerSocket::incomingConnection(qintptr handle)
{
    if (OnIncoming)
        OnIncoming(handle);
    else
        ::close(static_cast<int>(handle));  // nobody to serve it
}

}  // namespace varno
