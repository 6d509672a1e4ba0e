#include "agent/app/MainForm.h"
#include "agent/nls/TextIds.h"

#include <QFileInfo>
#include <unistd.h>

#include "platform/profile/IniFile.h"
#include "platform/serial/CommError.h"

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
      programPath_(std::move(programPath)),
      arguments_(std::move(arguments)),
      role_(role),
      prompt_(prompt),
      nls_(QFileInfo(programPath_).absolutePath()),
      log_(this),
      ini_(iniPathFor(programPath_), log_)
{
    for (QTimer* t : {&TimerTick, &TimerAN, &TimerMSG, &TimerSMS, &TimerUR, &TimerSW})
        t->setTimerType(Qt::PreciseTimer);
    TPortCommands::PrepareCommPax1(CommPax1);
    CommPax1.OnCommError = [this](TComm*, const QString& message) { LogLine(QStringLiteral("!Err"), message); };
}

TMainForm::~TMainForm() { FormDestroy(); }

void TMainForm::ReportStartupError(const QString& text)
{
    if (role_.ServiceMode)
        emit serviceEvent(text, true);
}

void TMainForm::FormCreate()
{
    if (created_)
        return;
    created_ = true;

    LogLine(QStringLiteral("----"), QStringLiteral("Start Varno Agent ----"));
    if (role_.ServiceMode)
        emit serviceEvent(QStringLiteral("Start"), false);

    // Only the whole, exact argument hides the window.
    trayPending_ = arguments_.contains(QStringLiteral("/hide"));
    windowVisible_ = !role_.ServiceMode && !trayPending_;
    emit visibilityRequested(windowVisible_);

    // The language first, so that a missing configuration file is reported
    // in it.
    TIniFile ini(ini_.Path());
    config_.Lang = ini.ReadString(QStringLiteral("Set"), QStringLiteral("Lang"), config_.Lang);
    nls_.SetLanguage(config_.Lang);
    nls_.CloseLanguageFile();
    if (!ini.Exists()) {
        nls_.OpenLanguageFile();
        nls_.LoadTexts();
        prompt_.MessageBox(Text(Txt::NoConfigurationFile), Text(Txt::WarningCaption), TUserPrompt::Icon::Warning);
        nls_.CloseLanguageFile();
    }

    // The window translates itself from the open file on languageChanged.
    nls_.OpenLanguageFile();
    emit languageChanged();
    nls_.LoadTexts();
    nls_.CloseLanguageFile();

    QStringList warnings;
    config_.ReadMain(ini, &warnings);
    for (const QString& w : warnings)
        LogLine(QStringLiteral("!Err"), w);
    PortString() = config_.Port;
    TimerTick.setInterval(config_.Timer.Interval);
    TimerAN.setInterval(config_.Timer.ANInterval);
    TimerSMS.setInterval(config_.Timer.TrapInterval);
    TimerMSG.setInterval(config_.Timer.MSGInterval);
    TimerUR.setInterval(config_.Timer.URInterval);
    TimerSW.setInterval(config_.Timer.SWInterval);

    if (role_.ServiceActive) {
        // A monitor of the running service opens neither the server nor the line.
        LogLine(QStringLiteral("----"), QStringLiteral("NT Service -----------"));
    } else {
        MakeSubsystems();
        OpenTcpServer();
        OpenSerialPort();
        conversation_->QueueStartupRequests();
        if (config_.MaxCache < 0)
            config_.MaxCache = 0;
        if (!gateway_->Cache().Allocate(config_.MaxCache)) {
            LogLine(QStringLiteral("!Err"),
                    QStringLiteral("Reply cache of %1 entries not allocated: the cache is off").arg(config_.MaxCache));
            config_.MaxCache = 0;
        }
    }

    // The data model exists in every role; the mail gateway reads its keys now.
    if (!data_)
        data_ = std::make_unique<TData>(context_);
    StartMailGateway(ini);
    // The configuration file is not read again.

    // A monitor leaves the line interface to the service it watches.
    if (config_.QLIN && lineif_)
        StartLineInterface();
    TimerTick.start();
}

void TMainForm::MakeSubsystems()
{
    data_ = std::make_unique<TData>(context_);
    conversation_ = std::make_unique<TConversation>(context_, CommPax1, *data_);
    billing_ = std::make_unique<TBilling>(config_, *data_, log_, nls_, TimerUR);
    dispatch_ = std::make_unique<TReceiveDispatch>(context_, *conversation_, *data_, *billing_, Timers, prompt_);
    gateway_ = std::make_unique<TGateway>(context_, *conversation_, *data_, *billing_, Polls);
    portBinding_.SetConversation(conversation_.get());

    // The line: packets to the receive side, stray bytes to the tick.
    TReceiveDispatch* dispatch = dispatch_.get();
    TConversation* conversation = conversation_.get();
    CommPax1.OnRxPacket = [dispatch](TCommPax*, int count, const uint8_t* data) {
        dispatch->CommPax1RxPacket(count, data);
    };
    CommPax1.OnRxChr = [conversation](TCommPax*, uint8_t chr) { conversation->CommPax1RxChr(chr); };

    // The tick and the polls.
    connect(&TimerTick, &QTimer::timeout, conversation, &TConversation::TimerTickTimer);
    connect(conversation, &TConversation::idleTick, this, [this]() { Polls.ExpiryChecks(); });
    auto poll = [this, conversation](QTimer& timer, void (TPolls::*handler)(TConversation&)) {
        connect(&timer, &QTimer::timeout, conversation,
                [this, conversation, handler]() { (Polls.*handler)(*conversation); });
    };
    poll(TimerAN, &TPolls::TimerANTimer);
    poll(TimerSW, &TPolls::TimerSWTimer);
    poll(TimerSMS, &TPolls::TimerSMSTimer);
    poll(TimerMSG, &TPolls::TimerMSGTimer);
    poll(TimerUR, &TPolls::TimerURTimer);

    // Replies for TCP/IP clients and for the reply cache go straight to the gateway.
    TGateway* gateway = gateway_.get();
    connect(dispatch, &TReceiveDispatch::clientReply, gateway, &TGateway::RelayReply);
    connect(dispatch, &TReceiveDispatch::replyToCache, gateway, &TGateway::CacheStore);
    connect(data_.get(), &TData::blockChanged, gateway, &TGateway::CacheFlush);

    // Lines and their states out to the line interface's clients, their
    // commands in; commands that met a busy library are taken at the tick.
    lineif_ = std::make_unique<TLineInterface>(context_, *conversation_, *data_);
    TLineInterface* lineif = lineif_.get();
    connect(data_.get(), &TData::lineNamed, lineif, &TLineInterface::PublishLineName);
    connect(data_.get(), &TData::lineStateChanged, lineif, &TLineInterface::PublishLineState);
    connect(dispatch, &TReceiveDispatch::lineStateChanged, lineif, &TLineInterface::PublishLineState);
    connect(conversation, &TConversation::tickStarted, lineif, &TLineInterface::RetryCommands);
    connect(lineif, &TLineInterface::showRequested, this, &TMainForm::showRequested);
}

void TMainForm::StartMailGateway(const TIniFile& ini)
{
    mail_ = std::make_unique<TMail602>(context_, nls_, *data_, QFileInfo(programPath_).absolutePath());
    mail_->ReadSettings(ini);
    // A monitor leaves the mailboxes to the service it watches.
    if (role_.ServiceActive)
        return;
    mail_->StartGateway();
    if (mail_->GatewayActive) {
        LogLine(QStringLiteral("-OK-"), Text(Txt::GatewayStarted));
    } else {
        LogLine(QStringLiteral("!Err"), Text(Txt::GatewayNotStarted));
        LogLine(QStringLiteral("!Err"), mail_->Problem());
        ReportStartupError(Text(Txt::GatewayNotStarted));
    }

    // The M request's mailbox check, forwarding of the PBX's text messages,
    // the traps, and the two polls that only an active gateway starts.
    TMail602* mail = mail_.get();
    conversation_->MailboxCheck = [mail]() { return mail->CheckMailboxes(); };
    connect(dispatch_.get(), &TReceiveDispatch::lineListTaken, mail, [this, mail]() {
        if (mail->GatewayActive) {
            TimerMSG.start();
            TimerSMS.start();
        }
    });
    connect(dispatch_.get(), &TReceiveDispatch::slotMessage, mail,
            [mail](const QByteArray& first, uint8_t type, const QByteArray& second, const QByteArray& body) {
                mail->ForwardMessage(first, static_cast<char>(type), second, body, '1');
            });
    connect(conversation_.get(), &TConversation::lineFailed, mail, [mail]() { mail->SendTrap(1); });
    connect(dispatch_.get(), &TReceiveDispatch::lineRestored, mail, [mail]() { mail->SendTrap(2); });
}

void TMainForm::StartLineInterface()
{
    // The process id names the endpoint: unique among the agents on this machine.
    const auto handle = static_cast<uint32_t>(getpid());
    if (!lineif_->Start(QFileInfo(programPath_).absolutePath(), handle))
        config_.QLIN = false;  // without the library the agent runs as with the line interface off
}

void TMainForm::OpenTcpServer()
{
    QString reason;
    if (gateway_->Open(config_.IPPort, &reason)) {
        LogLine(QStringLiteral("-OK-"), Text(Txt::ServerStarted));
        return;
    }
    const QString status = Text(Txt::ServerNotStartedStatus) + reason;
    log_.SetStatusText(status);
    LogLine(QStringLiteral("!Err"), Text(Txt::ServerNotStarted));
    ReportStartupError(status);
}

void TMainForm::OpenSerialPort()
{
    const TPortOpenResult result = PortCommands.OpenPort();
    if (result.Ok) {
        LogLine(QStringLiteral("-OK-"), Text(Txt::PortOpened) + PortString());
        return;
    }
    const QString status = Text(Txt::PortNotOpened) + PortString();
    log_.SetStatusText(status);
    LogLine(QStringLiteral("!Err"), status);
    if (!result.Error.isEmpty())
        LogLine(QStringLiteral("!Err"), result.Error);
    ReportStartupError(status);
}

void TMainForm::FormClose()
{
    // Whatever the gateway is doing is given up; its spool waits for the next start.
    if (mail_)
        mail_->AbortGateway();
    TimerTick.stop();
    FormDestroy();
}

void TMainForm::FormDestroy()
{
    if (!created_ || destroyedDone_)
        return;
    destroyedDone_ = true;
    // Every telephone's message counters back to 0, without waiting for a reply.
    if (data_ && conversation_) {
        data_->ClearCounters();
        uint8_t buf[TData::RequestBufferSize];
        const int len = data_->BuildCountersWrite(buf);
        try {
            conversation_->SendPacket(QStringLiteral(">COM"), Text(Txt::CountersResetting), buf, len);
        } catch (const ECommError& e) {
            LogLine(QStringLiteral("!Err"), e.FullMessage());
        }
    }
    for (QTimer* t : {&TimerTick, &TimerAN, &TimerSMS, &TimerMSG, &TimerSW})
        t->stop();
    if (conversation_)
        conversation_->Clear();
    // Nothing that arrives on the line from now on reaches the receive side.
    CommPax1.OnRxPacket = nullptr;
    CommPax1.OnRxChr = nullptr;
    dispatch_.reset();
    billing_.reset();
    PortCommands.ClosePort();
    log_.Clear();
    if (gateway_)
        gateway_->Close();
    gateway_.reset();  // with the reply cache
    if (mail_)
        mail_->StopGateway();
    if (conversation_)
        conversation_->MailboxCheck = nullptr;
    mail_.reset();  // unloads the gateway library
    // The clients see the agent go only once the line and the server are closed.
    if (lineif_)
        lineif_->Stop();
    lineif_.reset();
    data_.reset();
    emit destroyed_();
}

void TMainForm::WriteIniString(const QString& section, const QString& key, const QString& value)
{
    ini_.WriteIniString(section, key, value);
}

void TMainForm::ApplyBillingSettings(bool readUct, bool sendUct, const QString& uctFile)
{
    if (!billing_)
        return;
    billing_->ApplySettings(readUct, sendUct, uctFile,
                            [this](const QString& section, const QString& key, const QString& value) {
                                WriteIniString(section, key, value);
                            });
}

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
