#pragma once
#include <cstdio>
#include <string>
#include <string_view>

namespace varno::pbxsim {

// The simulator's log: one line per event, "<seconds> <TAG> <text>", the
// seconds since the simulator started with three decimals. Every line is
// flushed at once, so that a test can read the log while the simulator runs.
class SimLog {
public:
    SimLog() = default;
    ~SimLog();
    SimLog(const SimLog&) = delete;
    SimLog& operator=(const SimLog&) = delete;

    // Writes to the file (created or emptied); false when it cannot be opened.
    bool OpenFile(const std::string& path);
    // Writes to standard error (the default).
    void UseStderr();
    // Writes nothing.
    void Disable();

    void Write(double seconds, std::string_view tag, std::string_view text);

private:
    void CloseFile();
    std::FILE* out_ = stderr;
    bool ownsFile_ = false;
};

}  // namespace varno::pbxsim
