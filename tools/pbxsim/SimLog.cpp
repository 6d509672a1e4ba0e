#include "tools/pbxsim/SimLog.h"

namespace varno::pbxsim {

SimLog::~SimLog() { CloseFile(); }

void SimLog::CloseFile()
{
    if (ownsFile_ && out_)
        std::fclose(out_);
    ownsFile_ = false;
}

bool SimLog::OpenFile(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file)
        return false;
    CloseFile();
    out_ = file;
    ownsFile_ = true;
    return true;
}

void SimLog::UseStderr()
{
    CloseFile();
    out_ = stderr;
}

void SimLog::Disable()
{
    CloseFile();
    out_ = nullptr;
}

void SimLog::Write(double seconds, std::string_view tag, std::string_view text)
{
    if (!out_)
        return;
    std::fprintf(out_, "%.3f %.*s%s%.*s\n", seconds, int(tag.size()), tag.data(), text.empty() ? "" : " ",
                 int(text.size()), text.data());
    std::fflush(out_);
}

}  // namespace varno::pbxsim
