#include "platform/serial/ModeString.h"

#include <QRegularExpression>

namespace varno {
namespace {

bool AllDigits(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

void ParseBaud(const QString& text, TModeRecord& record)
{
    bool ok = false;
    const long value = AllDigits(text) ? text.toLong(&ok) : 0;
    if (!ok) {
        record.Problems << QStringLiteral("baud rate \"%1\" is not a number").arg(text);
        return;
    }
    // MODE still reads the rates of its first versions by their first two digits.
    switch (value) {
    case 11: record.Baud = 110; break;
    case 15: record.Baud = 150; break;
    case 30: record.Baud = 300; break;
    case 60: record.Baud = 600; break;
    case 12: record.Baud = 1200; break;
    case 24: record.Baud = 2400; break;
    case 48: record.Baud = 4800; break;
    case 96: record.Baud = 9600; break;
    case 19: record.Baud = 19200; break;
    default: record.Baud = value; break;
    }
}

void ParseParity(const QString& text, TModeRecord& record)
{
    const QString upper = text.toUpper();
    if (upper.size() == 1 && QStringLiteral("NOEMS").contains(upper[0]))
        record.Parity = upper[0];
    else
        record.Problems << QStringLiteral("parity \"%1\" is not one of N, O, E, M, S").arg(text);
}

void ParseDataBits(const QString& text, TModeRecord& record)
{
    bool ok = false;
    const int value = AllDigits(text) ? text.toInt(&ok) : 0;
    if (ok)
        record.DataBits = value;
    else
        record.Problems << QStringLiteral("data bits \"%1\" is not a number").arg(text);
}

void ParseStopBits(const QString& text, TModeRecord& record)
{
    static const QRegularExpression form(QStringLiteral("^([0-9]{1,2})(?:\\.([0-9]))?$"));
    const auto match = form.match(text);
    if (!match.hasMatch()) {
        record.Problems << QStringLiteral("stop bits \"%1\" is not a number").arg(text);
        return;
    }
    record.StopBitsTenths =
        match.captured(1).toInt() * 10 + (match.captured(2).isEmpty() ? 0 : match.captured(2).toInt());
}

void ParsePositional(const QString& mode, TModeRecord& record)
{
    const QStringList fields = mode.split(QLatin1Char(','));
    for (int i = 0; i < fields.size(); ++i) {
        const QString field = fields[i].trimmed();
        if (field.isEmpty())
            continue;
        switch (i) {
        case 0: ParseBaud(field, record); break;
        case 1: ParseParity(field, record); break;
        case 2: ParseDataBits(field, record); break;
        case 3: ParseStopBits(field, record); break;
        case 4:
            // The retry or flow-control letter of MODE; the line runs without either.
            if (field.size() != 1 || !QStringLiteral("XPEBR").contains(field[0].toUpper()))
                record.Problems << QStringLiteral("\"%1\" is not a retry or flow letter").arg(field);
            break;
        default: record.Problems << QStringLiteral("extra field \"%1\"").arg(field); break;
        }
    }
}

void ParseKeyed(const QString& mode, TModeRecord& record)
{
    static const QRegularExpression blanks(QStringLiteral("[\\s,]+"));
    static const QStringList unusedKeys = {QStringLiteral("to"),   QStringLiteral("xon"), QStringLiteral("odsr"),
                                           QStringLiteral("octs"), QStringLiteral("dtr"), QStringLiteral("rts"),
                                           QStringLiteral("idsr")};
    const QStringList tokens = mode.split(blanks, Qt::SkipEmptyParts);
    for (const QString& token : tokens) {
        const int eq = token.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            record.Problems << QStringLiteral("\"%1\" is not key=value").arg(token);
            continue;
        }
        const QString key = token.left(eq).toLower();
        const QString value = token.mid(eq + 1);
        if (key == QLatin1String("baud"))
            ParseBaud(value, record);
        else if (key == QLatin1String("parity"))
            ParseParity(value, record);
        else if (key == QLatin1String("data"))
            ParseDataBits(value, record);
        else if (key == QLatin1String("stop"))
            ParseStopBits(value, record);
        else if (!unusedKeys.contains(key))
            record.Problems << QStringLiteral("unknown key \"%1\"").arg(token.left(eq));
    }
}

}  // namespace

TModeRecord ParseModeString(const QString& mode)
{
    TModeRecord record;
    if (mode.contains(QLatin1Char('=')))
        ParseKeyed(mode, record);
    else
        ParsePositional(mode, record);
    return record;
}

}  // namespace varno
