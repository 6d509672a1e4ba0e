#pragma once
#include <QString>

#include "agent/core/Config.h"

namespace varno {

class TBilling;
class TConversation;
class TData;

// What the gateway needs of the agent around it. The agent's core
// implements it; calls come on the main thread only.
class TGatewayHost {
public:
    virtual ~TGatewayHost() = default;
    virtual void LogLine(const QString& tag, const QString& text) = 0;
    // The status line with a text of its own, no tag.
    virtual void ShowStatusText(const QString& text) = 0;
    virtual QString GetText(int number) const = 0;
    virtual const TConfig& Config() const = 0;
    // Made during start-up; nullptr before that or in the monitor role.
    virtual TData* GatewayData() = 0;
    virtual TConversation* GatewayConversation() = 0;
    virtual const TBilling* GatewayBilling() const = 0;
    // A client asked for item 22 or for command 14 at `now`: the interest
    // time is set and the poll that keeps that data fresh is enabled.
    virtual void ClientAskedLineStates(double now) = 0;
    virtual void ClientAskedCommand14(double now) = 0;

protected:
    TGatewayHost() = default;
    TGatewayHost(const TGatewayHost&) = default;
    TGatewayHost& operator=(const TGatewayHost&) = default;
};

}  // namespace varno
