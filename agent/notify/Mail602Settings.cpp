#include <QDir>

#include "agent/core/IniWriter.h"
#include "agent/nls/Nls.h"
#include "agent/nls/TextIds.h"
#include "agent/notify/Mail602.h"
#include "agent/notify/PasswordScrambler.h"
#include "platform/profile/IniFile.h"

namespace varno {
namespace {

const QString kM602 = QStringLiteral("M602");
const QString kTrapy = QStringLiteral("Trapy");
constexpr int kLongestTempPath = 260;

// The system's folder for temporary files without its final separator;
// empty when it is longer than the system's path limit.
QString defaultWorkDir()
{
    QString dir = QDir::tempPath();
    while (dir.size() > 1 && dir.endsWith(QLatin1Char('/')))
        dir.chop(1);
    return dir.size() > kLongestTempPath ? QString() : dir;
}

}  // namespace

QString TMail602::Fit(const QString& value, int length, const QString& key) const
{
    if (value.size() <= length)
        return value;
    context_.LogLine(QStringLiteral("!Err"),
                     QStringLiteral("Setting %1 longer than %2 characters: cut").arg(key).arg(length));
    QString cut = value.left(length);
    // Never half a surrogate pair.
    if (!cut.isEmpty() && cut.back().isHighSurrogate())
        cut.chop(1);
    return cut;
}

void TMail602::ReadSettings(const TIniFile& ini)
{
    ConfigPath = Fit(ini.ReadString(kM602, QStringLiteral("CestaKeKonfiguraciMail602"), QString()), PathLength,
                     QStringLiteral("CestaKeKonfiguraciMail602"));
    UserName =
        Fit(ini.ReadString(kM602, QStringLiteral("Uzivatel"), QString()), PathLength, QStringLiteral("Uzivatel"));
    Password = Fit(PasswordScrambler::Unscramble(ini.ReadString(kM602, QStringLiteral("Heslo"), QString())),
                   PasswordLength, QStringLiteral("Heslo"));
    WorkDir = Fit(ini.ReadString(kM602, QStringLiteral("CestaKPracovnimuAdresari"), defaultWorkDir()), PathLength,
                  QStringLiteral("CestaKPracovnimuAdresari"));

    // The trap texts are one block: its first text opens the language file, its last closes it.
    const QString recovered = nls_.GetBlockText(BlockTxt::TrapRecovered);
    const QString failed = nls_.GetBlockText(BlockTxt::TrapFailed);
    TrapAddress = Fit(ini.ReadString(kTrapy, QStringLiteral("AdresaPrijemce"), QString()), TextLength,
                      QStringLiteral("AdresaPrijemce"));
    const QString type = ini.ReadString(kTrapy, QStringLiteral("TypAdresyPrijemce"), QString());
    // A type is one letter of the slots' kinds; anything else passes as its first byte.
    TrapAddressType = type.isEmpty() ? char(0) : type.toUtf8().at(0);
    TrapSubject =
        Fit(ini.ReadString(kTrapy, QStringLiteral("Subject"), QString()), TextLength, QStringLiteral("Subject"));
    TrapTextOn = Fit(ini.ReadString(kTrapy, QStringLiteral("ZpravaComOn"), recovered), TextLength,
                     QStringLiteral("ZpravaComOn"));
    TrapTextOff = Fit(ini.ReadString(kTrapy, QStringLiteral("ZpravaComOff"), failed), TrapTextOffLength,
                      QStringLiteral("ZpravaComOff"));

    bool ok = false;
    const QString debug = ini.ReadString(kM602, QStringLiteral("Debug"), QStringLiteral("0")).trimmed();
    DebugLevel = debug.toUInt(&ok, 16);
    if (!ok) {
        DebugLevel = 0;
        context_.LogLine(QStringLiteral("!Err"),
                         QStringLiteral("Setting Debug \"%1\" is no hexadecimal number: 0").arg(debug));
    }
}

void TMail602::SaveSettings(const TIniWriter& ini) const
{
    ini.WriteIniString(kM602, QStringLiteral("CestaKeKonfiguraciMail602"), ConfigPath);
    ini.WriteIniString(kM602, QStringLiteral("CestaKPracovnimuAdresari"), WorkDir);
    ini.WriteIniString(kM602, QStringLiteral("Uzivatel"), UserName);
    ini.WriteIniString(kM602, QStringLiteral("Heslo"), PasswordScrambler::Scramble(Password));
}

}  // namespace varno
