#include "agent/core/Config.h"

#include "platform/profile/IniFile.h"

namespace varno {
namespace {

const QString kSet = QStringLiteral("Set");
const QString kLog = QStringLiteral("Log");
const QString kTimer = QStringLiteral("Timer");

}  // namespace

void TConfig::ReadMain(const TIniFile& ini, QStringList* warnings)
{
    Port = ini.ReadString(kSet, QStringLiteral("Port"), Port);
    IPPort = ini.ReadInteger(kSet, QStringLiteral("IPPort"), IPPort);

    Log.Com_In = ini.ReadBool(kLog, QStringLiteral("Com_In"), Log.Com_In);
    Log.Com_PureIn = ini.ReadBool(kLog, QStringLiteral("Com_PureIn"), Log.Com_PureIn);
    Log.Com_Out = ini.ReadBool(kLog, QStringLiteral("Com_Out"), Log.Com_Out);
    Log.Com_LocOut = ini.ReadBool(kLog, QStringLiteral("Com_LocOut"), Log.Com_LocOut);
    Log.TcpIp_In = ini.ReadBool(kLog, QStringLiteral("TCP/IP_In"), Log.TcpIp_In);
    Log.TcpIp_Out = ini.ReadBool(kLog, QStringLiteral("TCP/IP_Out"), Log.TcpIp_Out);
    Log.Extent = ini.ReadBool(kLog, QStringLiteral("Extent"), Log.Extent);

    struct Item {
        const char* key;
        int* value;
        bool isInterval;  // a timer interval must be at least 1 ms
    };
    const Item items[] = {
        {"Interval", &Timer.Interval, true},
        {"ANInterval", &Timer.ANInterval, true},
        {"ANTimeOut", &Timer.ANTimeOut, false},
        {"TrapInterval", &Timer.TrapInterval, true},
        {"MSGInterval", &Timer.MSGInterval, true},
        {"URInterval", &Timer.URInterval, true},
        {"URIntervalBezDat", &Timer.URIntervalBezDat, true},
        {"SWInterval", &Timer.SWInterval, true},
        {"SWTimeOut", &Timer.SWTimeOut, false},
        {"MaxTick", &Timer.MaxTick, false},
        {"MaxError", &Timer.MaxError, false},
        {"MaxErrorTick", &Timer.MaxErrorTick, false},
    };
    for (const Item& item : items) {
        const int def = *item.value;
        const int v = ini.ReadInteger(kTimer, QString::fromLatin1(item.key), def);
        // A timer of zero or less would spin the event loop or never run;
        // such a value is taken as a typing error.
        if (item.isInterval && v < 1) {
            if (warnings)
                warnings->append(QStringLiteral("Timer/%1=%2 is no interval; %3 ms used")
                                     .arg(QString::fromLatin1(item.key))
                                     .arg(v)
                                     .arg(def));
            continue;
        }
        *item.value = v;
    }

    MaxCache = ini.ReadInteger(kSet, QStringLiteral("MaxCache"), MaxCache);
    ReadUct = ini.ReadBool(kSet, QStringLiteral("ReadUct"), ReadUct);
    SendUct = ini.ReadBool(kSet, QStringLiteral("SendUct"), SendUct);
    UctFile = ini.ReadString(kSet, QStringLiteral("UctFile"), UctFile);
    QLIN = ini.ReadBool(kSet, QStringLiteral("QLIN"), QLIN);

    Prefix.clear();
    for (const auto& [key, value] : ini.ReadSection(QStringLiteral("Prefix")))
        if (!value.isEmpty())
            Prefix.append(key + QLatin1Char('=') + value);
}

}  // namespace varno
