#include "tools/pbxsim/BillingQueue.h"

namespace varno::pbxsim {

std::optional<std::string> BillingQueue::Next()
{
    if (cursor_ >= records_.size())
        return std::nullopt;
    return records_[cursor_++];
}

std::optional<std::string> BillingQueue::Previous() const
{
    if (cursor_ == 0)
        return std::nullopt;
    return records_[cursor_ - 1];
}

}  // namespace varno::pbxsim
