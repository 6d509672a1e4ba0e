#pragma once
#include <QString>

#include "platform/library/RuntimeLibrary.h"
#include "qlin2/qlin2.h"

namespace varno {

// The binding to the line-interface library libQLIN2.so, loaded at run time:
// from the program's own folder first, then by name from the system's
// library path. Loaded only when the library and all nine entry points were
// found; otherwise nothing of the library stays loaded and Problem says what
// was missing. Destroying the binding unloads the library.
class TQLIN : public TRuntimeLibrary {
public:
    static constexpr const char* LibraryName = "libQLIN2.so";

    explicit TQLIN(const QString& programDir);
    ~TQLIN();
    TQLIN(const TQLIN&) = delete;
    TQLIN& operator=(const TQLIN&) = delete;

    // Module, Path (the file that was loaded) and Problem (why the binding
    // is not Loaded: the files tried and the loader's errors, or the missing
    // entry point) come with the library.
    bool Loaded = false;
    decltype(&::QLIN_Init) QLIN_Init = nullptr;
    decltype(&::QLIN_DeInit) QLIN_DeInit = nullptr;
    decltype(&::QLIN_Line) QLIN_Line = nullptr;
    decltype(&::QLIN_PutStates) QLIN_PutStates = nullptr;
    decltype(&::QLIN_Open) QLIN_Open = nullptr;
    decltype(&::QLIN_Close) QLIN_Close = nullptr;
    decltype(&::QLIN_GetCommand) QLIN_GetCommand = nullptr;
    decltype(&::QLIN_PutCommand) QLIN_PutCommand = nullptr;
    decltype(&::QLIN_GetStates) QLIN_GetStates = nullptr;

private:
    void Unload();
};

}  // namespace varno
