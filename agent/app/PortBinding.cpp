#include "agent/app/PortBinding.h"

#include <QTimer>

#include "agent/core/Conversation.h"
#include "agent/core/IniWriter.h"

namespace varno {

TPortBinding::TPortBinding(const TAgentContext& context, const TIniWriter& ini, TAgentTimers timers)
    : context_(context), ini_(ini), timers_(timers)
{
}

void TPortBinding::WriteIniString(const QString& section, const QString& key, const QString& value)
{
    ini_.WriteIniString(section, key, value);
}

void TPortBinding::ShowStatusText(const QString& text) { context_.Log.SetStatusText(text); }

void TPortBinding::LogLine(const QString& tag, const QString& text) { context_.LogLine(tag, text); }

QString TPortBinding::GetText(int number) const { return context_.Text(number); }

bool TPortBinding::TickEnabled() const { return timers_.Tick.isActive(); }

void TPortBinding::SetTickEnabled(bool enabled)
{
    if (enabled)
        timers_.Tick.start();
    else
        timers_.Tick.stop();
}

void TPortBinding::StopMessageTimers()
{
    timers_.MSG.stop();
    timers_.SMS.stop();
}

void TPortBinding::RestartConversation()
{
    if (conversation_)
        conversation_->Restart();
}

}  // namespace varno
