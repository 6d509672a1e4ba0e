#pragma once
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>

#include "agent/core/Config.h"
#include "agent/core/Conversation.h"
#include "agent/core/EventLog.h"
#include "agent/core/UserPrompt.h"
#include "agent/gateway/Gateway.h"
#include "agent/nls/Nls.h"
#include "agent/pbx/Billing.h"
#include "agent/pbx/Data.h"
#include "agent/pbx/Polls.h"
#include "agent/pbx/ReceiveDispatch.h"
#include "agent/serial/CommPax.h"
#include "agent/serial/PortCommands.h"

namespace varno {

// How this process runs; fixed before the core is made.
struct TProcessRole {
    bool ServiceMode = false;    // started with "/service"
    bool ServiceActive = false;  // a monitor of a running service
};

// The agent's core: owns every piece of runtime state and runs start-up,
// the conversation with the PBX and shutdown. It needs no display; the
// window, when there is one, is a view over it.
class TMainForm : public QObject,
                  public TPortHost,
                  public TDataHost,
                  public TConversationHost,
                  public TReceiveHost,
                  public TGatewayHost {
    Q_OBJECT
public:
    // programPath: the program file; the configuration file and the
    // language files are found beside it. arguments: the command line with
    // the program at position 0.
    TMainForm(QString programPath, QStringList arguments, TProcessRole role, TUserPrompt& prompt,
              QObject* parent = nullptr);
    ~TMainForm() override;

    void FormCreate();
    // The close command: stops the current work, then the whole shutdown.
    void FormClose();
    void FormDestroy();

    // Writes one key of the configuration file at once; a failure is logged.
    void WriteIniString(const QString& section, const QString& key, const QString& value) override;
    // Sets the language and reloads the texts; writes Set/Lang.
    void SwitchLanguage(const QString& code);

    const QString& IniPath() const { return iniPath_; }
    const TConfig& Config() const override { return config_; }
    TEventLog& Log() { return log_; }
    TNLS& Nls() { return nls_; }
    const TProcessRole& Role() const { return role_; }
    bool TrayPending() const { return TrayPending_; }
    bool WindowVisible() const { return windowVisible_; }
    QString& PortString() override { return PortString_; }

    // The components the core owns. The conversation and the data model do
    // not exist in the monitor role or before start-up.
    TCommPax CommPax1;
    TPortCommands PortCommands;
    std::unique_ptr<TConversation> Conversation_;
    std::unique_ptr<TData> Data_;
    TReceiveDispatch Dispatch;
    std::unique_ptr<TBilling> Billing_;
    TStates QlinState_{};
    TStates QlinCommand_{};
    QTimer TimerTick, TimerAN, TimerMSG, TimerSMS, TimerUR, TimerSW;
    TPolls Polls;
    // The billing settings confirmed (the billing dialog's OK).
    void ApplyBillingSettings(bool readUct, bool sendUct, const QString& uctFile);

    // Shared by the hosts of the serial commands, the data model, the
    // conversation and the receive side.
    void LogLine(const QString& tag, const QString& text) override { log_.LogLine(tag, text); }
    void ShowStatus(const QString& tag, const QString& text) override { log_.ShowStatus(tag, text); }
    void ShowStatusText(const QString& text) override { log_.SetStatusText(text); }
    QString GetText(int number) const override { return nls_.GetText(number); }
    bool TickEnabled() const override { return TimerTick.isActive(); }
    void SetTickEnabled(bool on) override;
    void StopMessageTimers() override;
    void RestartConversation() override;
    void SetBaudChecks(int rate) override;
    int BaudCheck() const { return baudCheck_; }

    void CacheFlush() override;
    bool QlinOn() const override { return config_.QLIN; }
    void QlinLine(int index, const char* name) override;
    void QlinPutStates(const TStates& record) override;
    TStates& QlinState() override { return QlinState_; }
    const TStates& QlinCommand() const override { return QlinCommand_; }

    bool PortOpen() const override { return CommPax1.Enabled(); }
    void WritePacket(uint8_t seq, const uint8_t* data, int length) override;
    TData& Data() override { return *Data_; }
    void DeferredTray() override;
    void IdleExpiryChecks() override;
    bool MailboxCheck() override;
    void LineFailureTrap() override;

    TConversation& Conversation() override { return *Conversation_; }
    void StartLineStatePoll() override;
    void StartMessagePolls() override;
    void StartBillingPoll() override;
    void StopBox(const QString& text, const QString& caption) override;
    bool AskYesNo(const QString& text, const QString& caption) override;
    QString VersionText() const override;
    bool Mail602Active() const override;
    void ForwardMessage(const QByteArray& first, uint8_t type, const QByteArray& second,
                        const QByteArray& body) override;
    void LinkRestoredTrap() override;
    void RelayReply(const TRequest& request, const uint8_t* reply, int length) override;
    void CacheStore(const uint8_t* request, int requestLength, const uint8_t* reply, int replyLength) override;
    void BillingReply(const uint8_t* reply, int length) override;

    // The TCP/IP gateway and its reply cache; nullptr in the monitor role.
    TGateway* Gateway() { return Gateway_.get(); }
    TData* GatewayData() override { return Data_.get(); }
    TConversation* GatewayConversation() override { return Conversation_.get(); }
    const TBilling* GatewayBilling() const override { return Billing_.get(); }
    void ClientAskedLineStates(double now) override;
    void ClientAskedCommand14(double now) override;

signals:
    // The window hides or shows itself on this (start-up step 4).
    void visibilityRequested(bool visible);
    // After a language switch, so that the window translates itself.
    void languageChanged();
    // Shutdown has ended; the event loop may quit.
    void destroyed_();

private:
    QString Text(int number) const { return nls_.GetText(number); }
    void ReportStartupError(const QString& text);
    void OpenTcpServer();
    void OpenSerialPort();

    QString programPath_;
    QString programDir_;
    QStringList arguments_;
    TProcessRole role_;
    TUserPrompt& prompt_;
    QString iniPath_;

    TNLS nls_;
    TEventLog log_;
    TConfig config_;
    QString PortString_;
    bool TrayPending_ = false;
    bool windowVisible_ = false;
    bool created_ = false;
    bool destroyedDone_ = false;
    int baudCheck_ = 0;

    std::unique_ptr<TGateway> Gateway_;
};

}  // namespace varno
