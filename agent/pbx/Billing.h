#pragma once
#include <QByteArray>
#include <QString>
#include <QTimer>
#include <deque>

#include "agent/core/Config.h"

namespace varno {

class TData;
class TEventLog;
class TNLS;

// The billing download: every record the PBX hands over is appended to the
// billing file and kept in a list of the newest records for TCP/IP clients.
class TBilling {
public:
    static constexpr int MaxListed = 201;

    TBilling(TConfig& config, TData& data, TEventLog& log, const TNLS& nls, QTimer& timerUR);

    // The reply to a billing request (status byte first, then the record text).
    void BillingReply(const uint8_t* payload, int length);

    // After the billing settings were confirmed: the download follows ReadUct
    // and the three settings are written with writeIni.
    template <typename WriteIni>
    void ApplySettings(bool readUct, bool sendUct, const QString& uctFile, WriteIni writeIni);
    // Whether a file of that name exists or can be made (a test file is made
    // and removed again).
    static bool CanCreate(const QString& fileName);

    // Record number n is at list position n - BillingBase.
    const std::deque<QByteArray>& List() const { return list_; }
    int32_t BillingBase = 0;
    int32_t BillingNext = 0;
    const QByteArray& LastRecord() const { return lastRecord_; }

private:
    void SetInterval(int ms);

    TConfig& config_;
    TData& data_;
    TEventLog& log_;
    const TNLS& nls_;
    QTimer& timerUR_;
    std::deque<QByteArray> list_;
    QByteArray lastRecord_;
};

template <typename WriteIni>
void TBilling::ApplySettings(bool readUct, bool sendUct, const QString& uctFile, WriteIni writeIni)
{
    config_.ReadUct = readUct;
    config_.SendUct = sendUct;
    config_.UctFile = uctFile;
    if (readUct)
        timerUR_.start();
    else
        timerUR_.stop();
    writeIni(QStringLiteral("Set"), QStringLiteral("ReadUct"), readUct ? QStringLiteral("1") : QStringLiteral("0"));
    writeIni(QStringLiteral("Set"), QStringLiteral("SendUct"), sendUct ? QStringLiteral("1") : QStringLiteral("0"));
    writeIni(QStringLiteral("Set"), QStringLiteral("UctFile"), uctFile);
}

}  // namespace varno
