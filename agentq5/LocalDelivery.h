// Type 'L': the message goes straight into a mailbox of this gateway, as a mail server would
// deliver it: written in tmp/ under a unique name, then moved to new/.
#ifndef VARNO_AGENTQ5_LOCALDELIVERY_H
#define VARNO_AGENTQ5_LOCALDELIVERY_H

#include <string>

namespace varno::agentq5 {

// The Maildir unique name "<seconds>.M<microseconds>P<pid>Q<count>.<host>".
std::string MaildirUniqueName();
// false with the reason in error when the message could not be delivered.
bool DeliverToMaildir(const std::string& maildir, const std::string& message, std::string& error);

}  // namespace varno::agentq5

#endif
