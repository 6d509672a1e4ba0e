#include "platform/serial/CommError.h"

namespace varno {
namespace {

QString Compose(const QString& text, int systemError)
{
    return QStringLiteral("%1 (Error: %2) ").arg(text).arg(systemError);
}

}  // namespace

ECommError::ECommError(const QString& text, int systemError, const QString& detail)
    : std::runtime_error(Compose(text, systemError).toStdString()),
      text_(text),
      systemError_(systemError),
      detail_(detail)
{
}

QString ECommError::Message() const { return Compose(text_, systemError_); }

QString ECommError::FullMessage() const { return detail_.isEmpty() ? Message() : Message() + detail_; }

}  // namespace varno
