#include "agent/core/MainForm.h"

#include <QFileInfo>

#include "agent/service/ServiceEvents.h"
#include "platform/serial/CommError.h"
#include "platform/profile/IniFile.h"

namespace varno {
namespace {

// The program's path with its extension replaced by ".INI".
QString iniPathFor(const QString& programPath)
{
    const QFileInfo info(programPath);
    return info.absolutePath() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".INI");
}

}  // namespace

TMainForm::TMainForm(QString programPath, QStringList arguments, TProcessRole role, TUserPrompt& prompt,
                     QObject* parent)
    : QObject(parent),
      PortCommands(*this, CommPax1),
      Dispatch(*this),
      Polls({TimerTick, TimerAN, TimerSW, TimerSMS, TimerMSG, TimerUR}, config_, log_, nls_),
      programPath_(std::move(programPath)),
      programDir_(QFileInfo(programPath_).absolutePath()),
      arguments_(std::move(arguments)),
      role_(role),
      prompt_(prompt),
      iniPath_(iniPathFor(programPath_)),
      nls_(programDir_),
      log_(this)
{
    for (QTimer* t : {&TimerTick, &TimerAN, &TimerMSG, &TimerSMS, &TimerUR, &TimerSW})
        t->setTimerType(Qt::PreciseTimer);
    TPortCommands::PrepareCommPax1(CommPax1);
    CommPax1.OnRxPacket = [this](TCommPax*, int count, const uint8_t* data) { Dispatch.CommPax1RxPacket(count, data); };
    CommPax1.OnRxChr = [this](TCommPax*, uint8_t chr) {
        if (Conversation_)
            Conversation_->CommPax1RxChr(chr);
    };
    CommPax1.OnCommError = [this](TComm*, const QString& message) { LogLine(QStringLiteral("!Err"), message); };
    connect(&TimerTick, &QTimer::timeout, this, [this]() {
        if (Conversation_)
            Conversation_->TimerTickTimer();
        else
            DeferredTray();  // a monitor has no line to serve
    });
    auto poll = [this](QTimer& timer, void (TPolls::*handler)(TConversation&)) {
        connect(&timer, &QTimer::timeout, this, [this, handler]() {
            if (Conversation_)
                (Polls.*handler)(*Conversation_);
        });
    };
    poll(TimerAN, &TPolls::TimerANTimer);
    poll(TimerSW, &TPolls::TimerSWTimer);
    poll(TimerSMS, &TPolls::TimerSMSTimer);
    poll(TimerMSG, &TPolls::TimerMSGTimer);
    poll(TimerUR, &TPolls::TimerURTimer);
}

TMainForm::~TMainForm() { FormDestroy(); }

void TMainForm::ReportStartupError(const QString& text)
{
    if (role_.ServiceMode)
        ReportServiceEvent(text, TEventType::Error);
}

void TMainForm::FormCreate()
{
    if (created_)
        return;
    created_ = true;

    // 1-2
    LogLine(QStringLiteral("----"), QStringLiteral("Start Varno Agent ----"));
    if (role_.ServiceMode)
        ReportServiceEvent(QStringLiteral("Start"), TEventType::Information);

    // 3-4: only the whole, exact argument hides the window.
    TrayPending_ = arguments_.contains(QStringLiteral("/hide"));
    windowVisible_ = !role_.ServiceMode && !TrayPending_;
    emit visibilityRequested(windowVisible_);

    // 5-7
    TIniFile ini(iniPath_);
    config_.Lang = ini.ReadString(QStringLiteral("Set"), QStringLiteral("Lang"), config_.Lang);
    nls_.SetLanguage(config_.Lang);
    nls_.CloseLanguageFile();
    if (!ini.Exists()) {
        nls_.OpenLanguageFile();
        nls_.LoadTexts();
        prompt_.MessageBox(Text(122), Text(123), TUserPrompt::Icon::Warning);
        nls_.CloseLanguageFile();
    }

    // 8: the window translates itself from the open file on languageChanged.
    nls_.OpenLanguageFile();
    emit languageChanged();
    nls_.LoadTexts();
    nls_.CloseLanguageFile();

    // 9
    QStringList warnings;
    config_.ReadMain(ini, &warnings);
    for (const QString& w : warnings)
        LogLine(QStringLiteral("!Err"), w);
    PortString_ = config_.Port;
    TimerTick.setInterval(config_.Timer.Interval);
    TimerAN.setInterval(config_.Timer.ANInterval);
    TimerSMS.setInterval(config_.Timer.TrapInterval);
    TimerMSG.setInterval(config_.Timer.MSGInterval);
    TimerUR.setInterval(config_.Timer.URInterval);
    TimerSW.setInterval(config_.Timer.SWInterval);

    if (role_.ServiceActive) {
        // 10: a monitor opens neither the server nor the line.
        LogLine(QStringLiteral("----"), QStringLiteral("NT Service -----------"));
    } else {
        OpenTcpServer();   // 11
        OpenSerialPort();  // 12
        // 13: the queue with the start-up requests and the reply cache; the
        // billing list keeps its records through the data model and is made
        // with it in step 14.
        Conversation_ = std::make_unique<TConversation>(*this);
        Conversation_->QueueStartupRequests();
        if (config_.MaxCache < 0)
            config_.MaxCache = 0;
        if (!Gateway_->Cache().Allocate(config_.MaxCache)) {
            LogLine(QStringLiteral("!Err"),
                    QStringLiteral("Reply cache of %1 entries not allocated: the cache is off").arg(config_.MaxCache));
            config_.MaxCache = 0;
        }
    }

    // 14: the data model and the mail gateway; the gateway reads its keys now.
    Data_ = std::make_unique<TData>(*this);
    if (Conversation_)
        Billing_ = std::make_unique<TBilling>(config_, *Data_, log_, nls_, TimerUR);
    config_.ReadGateway(ini, nls_);
    // 15: starting the mail gateway comes with the notification subsystem.

    // 16: the configuration file is not read again.
    // 17: the line interface binding comes with its subsystem (Set/QLIN).

    // 18
    TimerTick.start();
    // 19: the baud menu's check marks follow the window's activation.
}

void TMainForm::OpenTcpServer()
{
    Gateway_ = std::make_unique<TGateway>(*this);
    QString reason;
    if (Gateway_->Open(config_.IPPort, &reason)) {
        LogLine(QStringLiteral("-OK-"), Text(119));
        return;
    }
    const QString status = Text(120) + reason;
    log_.SetStatusText(status);
    LogLine(QStringLiteral("!Err"), Text(121));
    ReportStartupError(status);
}

void TMainForm::OpenSerialPort()
{
    const TPortOpenResult result = PortCommands.OpenPort();
    if (result.Ok) {
        LogLine(QStringLiteral("-OK-"), Text(124) + PortString_);
        return;
    }
    const QString status = Text(125) + PortString_;
    log_.SetStatusText(status);
    LogLine(QStringLiteral("!Err"), status);
    if (!result.Error.isEmpty())
        LogLine(QStringLiteral("!Err"), result.Error);
    ReportStartupError(status);
}

void TMainForm::FormClose()
{
    // 1: stopping the mail gateway's current action comes with that gateway.
    TimerTick.stop();
    FormDestroy();
}

void TMainForm::FormDestroy()
{
    if (!created_ || destroyedDone_)
        return;
    destroyedDone_ = true;
    // 1: the active-window handler belongs to the window.
    // 2: every telephone's message counters back to 0, without waiting for a reply.
    if (Data_ && Conversation_) {
        Data_->ClearCounters();
        uint8_t buf[TData::RequestBufferSize];
        const int len = Data_->BuildCountersWrite(buf);
        try {
            Conversation_->SendPacket(QStringLiteral(">COM"), Text(133), buf, len);
        } catch (const ECommError& e) {
            LogLine(QStringLiteral("!Err"), e.FullMessage());
        }
    }
    // 3: the tray icon belongs to the window.
    for (QTimer* t : {&TimerTick, &TimerAN, &TimerSMS, &TimerMSG, &TimerSW})
        t->stop();  // 4
    if (Conversation_) {  // 5
        Conversation_->PendingTable.Clear();
        Conversation_->RequestQueue.Clear();
    }
    Billing_.reset();
    PortCommands.ClosePort();  // 6
    log_.Clear();  // 7
    if (Gateway_)
        Gateway_->Close();  // 8
    // 9-10: the mail gateway and the line interface come with their subsystems.
    Data_.reset();
    Gateway_.reset();  // 11: with the reply cache
    emit destroyed_();
}

void TMainForm::WriteIniString(const QString& section, const QString& key, const QString& value)
{
    QString error;
    if (!TIniFile::WriteProfileString(iniPath_, section, key, value, &error))
        LogLine(QStringLiteral("!Err"),
                QStringLiteral("%1: %2/%3 not written: %4").arg(iniPath_, section, key, error));
}

void TMainForm::SetTickEnabled(bool on)
{
    if (on)
        TimerTick.start();
    else
        TimerTick.stop();
}

void TMainForm::StopMessageTimers()
{
    TimerMSG.stop();
    TimerSMS.stop();
}

void TMainForm::RestartConversation()
{
    if (Conversation_)
        Conversation_->Restart();
}

void TMainForm::SetBaudChecks(int rate) { baudCheck_ = rate; }

void TMainForm::WritePacket(uint8_t seq, const uint8_t* data, int length) { CommPax1.WritePacket(seq, data, length); }

void TMainForm::StopBox(const QString& text, const QString& caption)
{
    prompt_.MessageBox(text, caption, TUserPrompt::Icon::Error);
}

bool TMainForm::AskYesNo(const QString& text, const QString& caption) { return prompt_.AskYesNo(text, caption); }

QString TMainForm::VersionText() const { return QStringLiteral(VARNO_VERSION); }

void TMainForm::StartLineStatePoll() { TimerAN.start(); }

void TMainForm::StartMessagePolls()
{
    TimerMSG.start();
    TimerSMS.start();
}

void TMainForm::StartBillingPoll() { TimerUR.start(); }

void TMainForm::BillingReply(const uint8_t* reply, int length)
{
    if (Billing_)
        Billing_->BillingReply(reply, length);
}

void TMainForm::IdleExpiryChecks() { Polls.ExpiryChecks(); }

// The TCP/IP gateway's hooks.
void TMainForm::CacheFlush()
{
    if (Gateway_)
        Gateway_->CacheFlush();
}

void TMainForm::RelayReply(const TRequest& request, const uint8_t* reply, int length)
{
    if (Gateway_)
        Gateway_->RelayReply(request, reply, length);
}

void TMainForm::CacheStore(const uint8_t* request, int requestLength, const uint8_t* reply, int replyLength)
{
    if (Gateway_)
        Gateway_->CacheStore(request, requestLength, reply, replyLength);
}

// Enabling a running poll leaves its period alone: clients asking more
// often than the poll runs must not keep it from firing.
void TMainForm::ClientAskedLineStates(double now)
{
    Polls.LastItem22Ask = now;
    if (!TimerAN.isActive())
        TimerAN.start();
}

void TMainForm::ClientAskedCommand14(double now)
{
    Polls.LastCommand14Ask = now;
    if (!TimerSW.isActive())
        TimerSW.start();
}

void TMainForm::ApplyBillingSettings(bool readUct, bool sendUct, const QString& uctFile)
{
    if (!Billing_)
        return;
    Billing_->ApplySettings(readUct, sendUct, uctFile, [this](const QString& section, const QString& key,
                                                              const QString& value) {
        WriteIniString(section, key, value);
    });
}

// Places of the subsystems that come later: the mail gateway
// (mailbox check, forwarding, traps), the tray icon and the line interface.
bool TMainForm::MailboxCheck() { return false; }
bool TMainForm::Mail602Active() const { return false; }
void TMainForm::ForwardMessage(const QByteArray&, uint8_t, const QByteArray&, const QByteArray&) {}
void TMainForm::LineFailureTrap() {}
void TMainForm::LinkRestoredTrap() {}
void TMainForm::DeferredTray() {}
void TMainForm::QlinLine(int, const char*) {}
void TMainForm::QlinPutStates(const TStates&) {}

void TMainForm::SwitchLanguage(const QString& code)
{
    WriteIniString(QStringLiteral("Set"), QStringLiteral("Lang"), code);
    config_.Lang = code;
    nls_.SetLanguage(code);
    emit languageChanged();
    nls_.LoadTexts();
    nls_.CloseLanguageFile();
}

}  // namespace varno
