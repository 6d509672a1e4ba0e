#include "agent/core/IniWriter.h"
#include "agent/notify/Mail602.h"

namespace varno {

void TMail602::SendTrap(int kind)
{
    if (!GatewayActive)
        return;
    QString text;
    if (kind == 1)
        text = TrapTextOff;
    else if (kind == 2)
        text = TrapTextOn;
    else
        return;
    // An empty text switches that trap off.
    if (text.isEmpty())
        return;
    const int result =
        library_->PosliStavovouZpravu(TrapAddress.toUtf8().constData(), TrapAddressType,
                                      TrapSubject.toUtf8().constData(), text.toUtf8().constData(), char(1));
    if (result == 0)
        context_.LogLine(QStringLiteral("Mail"), TrapAddress + QStringLiteral(" > ") + text);
}

void TMail602::SaveTrapSettings(const TIniWriter& ini) const
{
    const QString section = QStringLiteral("Trapy");
    ini.WriteIniString(section, QStringLiteral("AdresaPrijemce"), TrapAddress);
    ini.WriteIniString(section, QStringLiteral("TypAdresyPrijemce"),
                       TrapAddressType ? QString(QLatin1Char(TrapAddressType)) : QString());
    ini.WriteIniString(section, QStringLiteral("Subject"), TrapSubject);
    ini.WriteIniString(section, QStringLiteral("ZpravaComOn"), TrapTextOn);
    ini.WriteIniString(section, QStringLiteral("ZpravaComOff"), TrapTextOff);
}

}  // namespace varno
