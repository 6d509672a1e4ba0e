#include "agent/pbx/PacketRenderer.h"

#include "agent/nls/TextIds.h"

#include <algorithm>

namespace varno {
namespace {

// Room of one formatted piece of the rendering.
constexpr int PieceRoom = 63;

// Item numbers from here on are PBX strings without a name of their own.
constexpr int FirstStringItem = 48;

// Commands of one byte: a request that carries more is malformed.
bool IsOneByteCommand(int code)
{
    switch (code) {
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 13:
    case 14:
    case 16:
    case 17:
    case 23: return true;
    default: return false;
    }
}

// The first `maxChars` characters of `text`, never splitting a surrogate pair.
QString LeftChars(const QString& text, int maxChars)
{
    int units = 0;
    for (int chars = 0; chars < maxChars && units < text.size(); ++chars)
        units += (text.at(units).isHighSurrogate() && units + 1 < text.size()) ? 2 : 1;
    return text.left(units);
}

// One piece: the name, shortened when needed so that the suffix (a space or
// an index in brackets) always stays and the whole fits its room.
QString Piece(const QString& name, const QString& suffix = QString())
{
    return LeftChars(name, PieceRoom - static_cast<int>(suffix.size())) + suffix;
}

QString Index(int index) { return QStringLiteral("[%1]").arg(index); }

QString RenderRequest(const TNLS& texts, const uint8_t* b, int n, int& consumed)
{
    const int code = b[0];
    consumed = 1;
    if (code == 0 || code == 1 || code >= 32) {
        const QString name = code < 32 ? texts.GetText(Txt::CommandNames + code) : QStringLiteral("Cmd: %1").arg(code);
        QString text = Piece(name, QStringLiteral(" "));
        if (n <= 1)
            return text;
        const int item = b[1];
        // A two-byte request has no index byte; it is shown as index 0.
        const int index = n > 2 ? b[2] : 0;
        if (item >= FirstStringItem)
            text += Piece(QStringLiteral("Str:%1").arg(item), Index(index));
        else if (index != 0)
            text += Piece(texts.GetText(Txt::ItemNames + item), Index(index));
        else
            text += Piece(texts.GetText(Txt::ItemNames + item));
        consumed = std::min(n, 3);
        return text;
    }
    if (IsOneByteCommand(code) && n > 1) {
        consumed = n;  // nothing more is shown of a malformed request
        return QStringLiteral("Cmd: ERROR");
    }
    return Piece(texts.GetText(Txt::CommandNames + code));
}

QString RenderReply(const TNLS& texts, const uint8_t* b, int n, int command, int& consumed)
{
    QString text;
    consumed = 1;
    if (command == 2 || command == 3 || (command >= 6 && command <= 14)) {
        text = Piece(texts.GetText(Txt::CommandNames + command));
    } else if (command == 4 || command == 5) {
        text = Piece(texts.GetText(Txt::CommandNames + command), QStringLiteral(" "));
    } else if (n >= 2) {
        const int item = b[1];
        const QString name =
            item >= FirstStringItem ? QStringLiteral("Str:%1").arg(item) : texts.GetText(Txt::ItemNames + item);
        if (n > 2) {
            text = b[2] != 0 ? Piece(name, Index(b[2])) : Piece(name);
            consumed = 3;
        } else {
            text = Piece(name);
            consumed = 2;
        }
    }
    // An empty reply has no status byte to report.
    if (n >= 1 && b[0] != 0)
        text += QStringLiteral("Error %1: ").arg(b[0]);
    return text;
}

}  // namespace

QString RenderPacket(const TNLS& texts, TPacketDirection direction, const uint8_t* bytes, int length, int command,
                     bool showBytes)
{
    const int n = bytes ? std::max(length, 0) : 0;
    int consumed = 0;
    QString text;
    if (direction == TPacketDirection::Request) {
        if (n == 0)
            return text;
        text = RenderRequest(texts, bytes, n, consumed);
    } else {
        text = RenderReply(texts, bytes, n, command, consumed);
    }
    if (showBytes) {
        for (int i = consumed; i < n; ++i)
            text += QStringLiteral(" %1").arg(bytes[i]);
    }
    return text;
}

}  // namespace varno
