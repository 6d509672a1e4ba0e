#pragma once
#include <QString>

#include "agent/core/AgentContext.h"
#include "agent/core/AgentTimers.h"
#include "agent/serial/PortHost.h"

namespace varno {

class TConversation;
class TIniWriter;

// What the port commands change around the port: the settings string and
// its key in the configuration file, the tick and the message polls, the
// conversation that starts again on a new port, and the baud-rate check
// marks the window shows.
class TPortBinding final : public TPortHost {
public:
    TPortBinding(const TAgentContext& context, const TIniWriter& ini, TAgentTimers timers);

    // Made during start-up; none in the monitor role.
    void SetConversation(TConversation* conversation) { conversation_ = conversation; }
    // The rate whose baud-rate menu item is checked; 0 for none.
    int BaudCheck() const { return baudCheck_; }

    QString& PortString() override { return portString_; }
    void WriteIniString(const QString& section, const QString& key, const QString& value) override;
    void ShowStatusText(const QString& text) override;
    void LogLine(const QString& tag, const QString& text) override;
    QString GetText(int number) const override;
    bool TickEnabled() const override;
    void SetTickEnabled(bool enabled) override;
    void StopMessageTimers() override;
    void RestartConversation() override;
    void SetBaudChecks(int rate) override { baudCheck_ = rate; }

private:
    const TAgentContext& context_;
    const TIniWriter& ini_;
    TAgentTimers timers_;
    TConversation* conversation_ = nullptr;
    QString portString_;
    int baudCheck_ = 0;
};

}  // namespace varno
