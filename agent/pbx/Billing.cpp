#include "agent/pbx/Billing.h"

#include <QFile>
#include <QTimer>
#include <cstring>

#include "agent/core/EventLog.h"
#include "agent/nls/Nls.h"
#include "agent/nls/TextIds.h"
#include "agent/pbx/Data.h"

namespace varno {

TBilling::TBilling(TConfig& config, TData& data, TEventLog& log, const TNLS& nls, QTimer& timerUR)
    : config_(config), data_(data), log_(log), nls_(nls), timerUR_(timerUR)
{
}

void TBilling::SetInterval(int ms)
{
    // A new interval starts a new period; the same interval changes nothing.
    if (timerUR_.interval() != ms)
        timerUR_.setInterval(ms);
}

void TBilling::BillingReply(const uint8_t* payload, int length)
{
    // The record runs from byte 1 to the end or to its first zero byte. A
    // record is kept whole, however long: cutting it would corrupt it.
    QByteArray text;
    if (payload && length >= 2) {
        const uint8_t* start = payload + 1;
        const void* zero = std::memchr(start, 0, static_cast<size_t>(length - 1));
        const int n = zero ? static_cast<int>(static_cast<const uint8_t*>(zero) - start) : length - 1;
        text = QByteArray(reinterpret_cast<const char*>(start), n);
    }
    if (text.isEmpty()) {
        if (config_.Log.Com_PureIn)
            log_.LogLine(QStringLiteral("<COM"), nls_.GetText(Txt::NoBillingRecord));
        SetInterval(config_.Timer.URIntervalBezDat);
        return;
    }
    const bool repeated = text == lastRecord_;
    SetInterval(config_.Timer.URInterval);
    if (repeated && !data_.BillingWriteFailed)
        return;  // the PBX sent the same record twice: it is on file already

    if (!repeated) {
        lastRecord_ = text;
        if (config_.Log.Com_In)
            log_.LogLine(QStringLiteral("<COM"), QString::fromUtf8(text));
    }
    // After a failed append the PBX is asked for the record again; its copy
    // is the record that is not on file yet, and is written now.
    QString error;
    if (!data_.AppendBillingRecord(config_.UctFile, text, &error))
        log_.LogLine(
            QStringLiteral("!Err"),
            QStringLiteral("Billing record not written to %1 (%2); it is asked for again").arg(config_.UctFile, error));
    if (repeated)
        return;  // listed already when it first came
    if (static_cast<int>(list_.size()) >= MaxListed) {
        list_.pop_front();
        ++BillingBase;
    }
    list_.push_back(text);
    ++BillingNext;
}

bool TBilling::CanCreate(const QString& fileName)
{
    if (QFile::exists(fileName))
        return true;
    QFile probe(fileName);
    if (!probe.open(QIODevice::WriteOnly))
        return false;
    probe.close();
    probe.remove();
    return true;
}

}  // namespace varno
