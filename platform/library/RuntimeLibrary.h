#pragma once
#include <QString>

namespace varno {

// A shared library that the agent loads at run time by its file name: from
// the program's own folder first, then by name from the system's library
// path. Module is null when neither could be loaded; Problem then holds the
// loader's errors for both.
struct TRuntimeLibrary {
    void* Module = nullptr;
    QString Path;  // the file that was loaded
    QString Problem;
};
TRuntimeLibrary LoadRuntimeLibrary(const QString& programDir, const char* fileName);

// Looks up one entry point by name; when it is missing, problem says which.
void* FindEntryPoint(void* module, const char* name, QString& problem);

template <typename Function>
bool BindEntryPoint(void* module, const char* name, Function& entry, QString& problem)
{
    entry = reinterpret_cast<Function>(FindEntryPoint(module, name, problem));
    return entry != nullptr;
}

}  // namespace varno
