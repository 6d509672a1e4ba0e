#include "platform/library/RuntimeLibrary.h"

#include <dlfcn.h>

namespace varno {
namespace {

// The loader's last error, or a stand-in when it has none.
QString loaderError()
{
    const char* error = dlerror();
    return error ? QString::fromLocal8Bit(error) : QStringLiteral("unknown error");
}

}  // namespace

TRuntimeLibrary LoadRuntimeLibrary(const QString& programDir, const char* fileName)
{
    TRuntimeLibrary library;
    const QString own = programDir + QLatin1Char('/') + QLatin1String(fileName);
    library.Module = dlopen(own.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
    if (library.Module) {
        library.Path = own;
        return library;
    }
    const QString ownError = loaderError();
    library.Module = dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
    if (library.Module)
        library.Path = QLatin1String(fileName);
    else
        library.Problem = ownError + QStringLiteral("; ") + loaderError();
    return library;
}

void* FindEntryPoint(void* module, const char* name, QString& problem)
{
    dlerror();
    void* entry = dlsym(module, name);
    if (!entry)
        problem = QStringLiteral("entry point %1 missing").arg(QLatin1String(name));
    return entry;
}

}  // namespace varno
