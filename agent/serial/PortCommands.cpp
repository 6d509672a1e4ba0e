#include "agent/serial/PortCommands.h"

#include <QRegularExpression>

namespace varno {
namespace {

const QString ErrTag = QStringLiteral("!Err");

}  // namespace

TPortCommands::TPortCommands(TPortHost& host, TCommPax& port) : host_(host), port_(port) {}

void TPortCommands::PrepareCommPax1(TCommPax& port)
{
    port.SetDeviceName(QStringLiteral("Com2"));
    port.MaxPacketSize = 512;
}

void TPortCommands::ApplyPortString()
{
    QString problems;
    port_.Set(host_.PortString(), &problems);
    if (!problems.isEmpty())
        host_.LogLine(ErrTag, problems);
}

TPortOpenResult TPortCommands::OpenPort()
{
    try {
        ApplyPortString();
        port_.Open();
        return {true, QString()};
    } catch (const ECommError& e) {
        return {false, e.FullMessage()};
    }
}

void TPortCommands::ClosePort()
{
    if (port_.Enabled())
        port_.Close();
}

std::optional<int> TPortCommands::PortSelectionEntry()
{
    const QString& portString = host_.PortString();
    if (portString.size() < 4) {
        host_.LogLine(ErrTag, QStringLiteral("Port settings \"%1\" are too short to name a port (COM1 ... COM4); "
                                             "the port is not changed")
                                  .arg(portString));
        return std::nullopt;
    }
    const int entry = portString[3].unicode() - '1';
    return entry >= 0 && entry < PortEntries ? entry : -1;
}

bool TPortCommands::SelectPort(int entry)
{
    QString& portString = host_.PortString();
    if (portString.size() < 4) {
        PortSelectionEntry();  // logs the refusal
        return false;
    }
    if (entry < 0 || entry >= PortEntries) {
        host_.LogLine(
            ErrTag, QStringLiteral("Port entry %1 is not one of COM 1 ... COM 4; the port is not changed").arg(entry));
        return false;
    }

    host_.StopMessageTimers();
    ClosePort();
    portString[3] = QLatin1Char(static_cast<char>('1' + entry));
    host_.WriteIniString(QStringLiteral("Set"), QStringLiteral("Port"), portString);
    try {
        ApplyPortString();
        port_.Open();
    } catch (const ECommError&) {
        host_.ShowStatusText(host_.GetText(PortChangeFailedText));
        return false;
    }
    host_.ShowStatusText(QString());
    host_.RestartConversation();
    return true;
}

bool TPortCommands::Volbasriovhoportu1Click(const std::function<std::optional<int>(int preselected)>& choosePort)
{
    const std::optional<int> preselected = PortSelectionEntry();
    if (!preselected)
        return false;
    const std::optional<int> chosen = choosePort(*preselected);
    if (!chosen)
        return false;
    return SelectPort(*chosen);
}

void TPortCommands::COMBaudClick(const QString& caption)
{
    // Menu captions may carry an accelerator mark.
    QString digits = caption;
    digits.remove(QLatin1Char('&'));
    bool ok = false;
    int rate = digits.trimmed().toInt(&ok);
    if (!ok)
        rate = 9600;
    SetBaud(QString::number(rate));
}

std::optional<QString> TPortCommands::ReplaceBaud(const QString& portString, const QString& baud)
{
    const int colon = portString.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return std::nullopt;
    const QString prefix = portString.left(colon + 1);
    const QString mode = portString.mid(colon + 1);
    if (mode.contains(QLatin1Char('='))) {
        static const QRegularExpression key(QStringLiteral("(^|[\\s,])baud=[^\\s,]*"),
                                            QRegularExpression::CaseInsensitiveOption);
        const auto match = key.match(mode);
        if (!match.hasMatch())
            return prefix + QStringLiteral("baud=") + baud + QLatin1Char(' ') + mode;
        QString replaced = mode;
        replaced.replace(match.capturedStart(), match.capturedLength(),
                         match.captured(1) + QStringLiteral("baud=") + baud);
        return prefix + replaced;
    }
    const int comma = mode.indexOf(QLatin1Char(','));
    return prefix + baud + (comma < 0 ? QString() : mode.mid(comma));
}

bool TPortCommands::SetBaud(const QString& baud)
{
    const std::optional<QString> changed = ReplaceBaud(host_.PortString(), baud);
    if (!changed) {
        host_.LogLine(ErrTag, QStringLiteral("Port settings \"%1\" have no \":\" before the mode; the rate is not "
                                             "changed")
                                  .arg(host_.PortString()));
        return false;
    }
    const bool tickWasEnabled = host_.TickEnabled();
    host_.SetTickEnabled(false);
    ClosePort();
    bool ok = true;
    try {
        host_.PortString() = *changed;
        ApplyPortString();
        port_.Open();
        UpdateBaudChecks();
    } catch (const ECommError&) {
        ok = false;
    }
    host_.SetTickEnabled(tickWasEnabled);
    return ok;
}

void TPortCommands::Ulo6itdosouboru1Click()
{
    host_.WriteIniString(QStringLiteral("Set"), QStringLiteral("Port"), host_.PortString());
}

int TPortCommands::BaudCheckFor(TBaudRate rate)
{
    const int value = BaudRateValue(rate);
    for (const int menuRate : MenuRates) {
        if (menuRate == value)
            return value;
    }
    return 0;
}

void TPortCommands::UpdateBaudChecks() { host_.SetBaudChecks(BaudCheckFor(port_.BaudRate())); }

}  // namespace varno
