#pragma once
#include <QList>
#include <QPair>
#include <QString>

namespace varno {

class TIniFile;

// Section Log: which kinds of traffic reach the event log.
struct TLogFlags {
    bool Com_In = true;
    bool Com_PureIn = true;
    bool Com_Out = false;
    bool Com_LocOut = false;
    bool TcpIp_In = true;    // key "TCP/IP_In"
    bool TcpIp_Out = false;  // key "TCP/IP_Out"
    bool Extent = false;
};

// Section Timer: intervals in ms, time-outs in s, counts in ticks.
struct TTimerSettings {
    int Interval = 100;
    int ANInterval = 600;
    int ANTimeOut = 10;
    int TrapInterval = 5000;
    int MSGInterval = 11000;
    int URInterval = 1000;
    int URIntervalBezDat = 3000;
    int SWInterval = 600;
    int SWTimeOut = 10;
    int MaxTick = 9;
    int MaxError = 6;
    int MaxErrorTick = 600;
};

// Every value of the configuration file, with its default. Sections M602
// and Trapy belong to the mail gateway's binding, which reads them itself.
struct TConfig {
    // Set
    QString Lang = QStringLiteral("Eng");
    QString Port = QStringLiteral("COM2:19200,N,8,1");
    int IPPort = 1234;
    int MaxCache = 110;
    bool ReadUct = true;
    bool SendUct = false;
    QString UctFile = QStringLiteral("DATA.NEW");
    bool QLIN = false;

    TLogFlags Log;
    TTimerSettings Timer;
    // Section Prefix: "key=value" in file order, empty values left out.
    QStringList Prefix;

    // Sections Set (but Lang), Log, Timer and Prefix. Bad values give their
    // defaults; every value put right is described in warnings.
    void ReadMain(const TIniFile& ini, QStringList* warnings);
};

}  // namespace varno
