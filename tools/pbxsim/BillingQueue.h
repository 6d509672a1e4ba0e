#pragma once
#include <optional>
#include <string>
#include <vector>

namespace varno::pbxsim {

// The PBX's billing records: handed out one at a time, oldest first, and the
// one handed out last can be asked for again.
class BillingQueue {
public:
    void Append(std::string record) { records_.push_back(std::move(record)); }
    // The next record not yet handed out; it becomes the previous one.
    std::optional<std::string> Next();
    // The record handed out last, if any was.
    std::optional<std::string> Previous() const;
    size_t Waiting() const { return records_.size() - cursor_; }
    size_t HandedOut() const { return cursor_; }
    size_t Total() const { return records_.size(); }

private:
    std::vector<std::string> records_;
    size_t cursor_ = 0;
};

}  // namespace varno::pbxsim
