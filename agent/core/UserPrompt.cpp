#include "agent/core/UserPrompt.h"

#include <cstdio>

namespace varno {
namespace {

void writeLine(const char* kind, const QString& caption, const QString& text)
{
    // A caption that only repeats the kind ("Warning: Warning: ...") says nothing.
    QByteArray line = QByteArray(kind) + ": ";
    if (!caption.isEmpty() && caption.compare(QLatin1String(kind), Qt::CaseInsensitive) != 0)
        line += caption.toUtf8() + ": ";
    line += text.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}

}  // namespace

void THeadlessPrompt::MessageBox(const QString& text, const QString& caption, Icon icon)
{
    const char* kind = icon == Icon::Warning ? "Warning" : icon == Icon::Error ? "Error" : "Message";
    writeLine(kind, caption, text);
}

bool THeadlessPrompt::AskYesNo(const QString& text, const QString& caption)
{
    writeLine("Question (answered Yes)", caption, text);
    return true;
}

}  // namespace varno
