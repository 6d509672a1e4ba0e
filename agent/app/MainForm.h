#pragma once
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>

#include "agent/app/PortBinding.h"
#include "agent/core/AgentContext.h"
#include "agent/core/Config.h"
#include "agent/core/Conversation.h"
#include "agent/core/EventLog.h"
#include "agent/core/IniWriter.h"
#include "agent/core/UserPrompt.h"
#include "agent/gateway/Gateway.h"
#include "agent/lineif/LineInterface.h"
#include "agent/nls/Nls.h"
#include "agent/notify/Mail602.h"
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

// The agent's core: owns every piece of runtime state, runs start-up and
// shutdown, and wires the subsystems together: each reaches what lies below
// it by reference, and what it reports upward is connected here, once, in
// FormCreate. It needs no display; the window, when there is one, is a view
// over it.
class TMainForm : public QObject {
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
    void WriteIniString(const QString& section, const QString& key, const QString& value);
    // Sets the language and reloads the texts; writes Set/Lang.
    void SwitchLanguage(const QString& code);
    // The billing settings confirmed (the billing dialog's OK).
    void ApplyBillingSettings(bool readUct, bool sendUct, const QString& uctFile);

    const QString& IniPath() const { return ini_.Path(); }
    const TConfig& Config() const { return config_; }
    TEventLog& Log() { return log_; }
    TNLS& Nls() { return nls_; }
    QString GetText(int number) const { return nls_.GetText(number); }
    const TProcessRole& Role() const { return role_; }
    bool TrayPending() const { return trayPending_; }
    bool WindowVisible() const { return windowVisible_; }
    QString& PortString() { return portBinding_.PortString(); }
    int BaudCheck() const { return portBinding_.BaudCheck(); }

private:
    // Declared first: everything below is made with references to them.
    QString programPath_;
    QStringList arguments_;
    TProcessRole role_;
    TUserPrompt& prompt_;
    TNLS nls_;
    TEventLog log_;
    TConfig config_;
    TAgentContext context_{log_, nls_, config_};
    TIniWriter ini_;

public:
    // The components the core owns.
    TCommPax CommPax1;
    QTimer TimerTick, TimerAN, TimerMSG, TimerSMS, TimerUR, TimerSW;
    TAgentTimers Timers{TimerTick, TimerAN, TimerSW, TimerSMS, TimerMSG, TimerUR};
    TPolls Polls{context_, Timers};

private:
    TPortBinding portBinding_{context_, ini_, Timers};

public:
    TPortCommands PortCommands{portBinding_, CommPax1};

    // Made during start-up. The data model exists in every role; the rest
    // not in the monitor role.
    TData& Data() { return *data_; }
    TConversation& Conversation() { return *conversation_; }
    TBilling& Billing() { return *billing_; }
    TReceiveDispatch& Dispatch() { return *dispatch_; }
    // The TCP/IP gateway and its reply cache; nullptr in the monitor role.
    TGateway* Gateway() { return gateway_.get(); }
    // The line interface for local applications; nullptr in the monitor
    // role. Bound() only while the setting QLIN is on and the library loaded.
    TLineInterface* LineInterface() { return lineif_.get(); }
    // The mail gateway's binding: made in every role (its settings can be
    // edited in each), started only where the agent does the work.
    TMail602& Mail602() { return *mail_; }

signals:
    // The window hides or shows itself on this (at start-up).
    void visibilityRequested(bool visible);
    // After a language switch, so that the window translates itself.
    void languageChanged();
    // An entry for the system's event log, sent only in service mode.
    void serviceEvent(const QString& text, bool error);
    // Shutdown has ended; the event loop may quit.
    void destroyed_();
    // A line-interface client asked for the window (show command); a
    // headless agent has none to show.
    void showRequested(int command);

private:
    QString Text(int number) const { return nls_.GetText(number); }
    void LogLine(const QString& tag, const QString& text) { log_.LogLine(tag, text); }
    void ReportStartupError(const QString& text);
    // The data model, the conversation, the billing download, the receive
    // side and the gateway, connected to one another.
    void MakeSubsystems();
    void OpenTcpServer();
    void OpenSerialPort();
    void StartLineInterface();
    // Makes the mail gateway's binding, reads its settings and, where the
    // agent works the line, starts it and connects it to the polls.
    void StartMailGateway(const TIniFile& ini);

    bool trayPending_ = false;
    bool windowVisible_ = false;
    bool created_ = false;
    bool destroyedDone_ = false;

    std::unique_ptr<TData> data_;
    std::unique_ptr<TConversation> conversation_;
    std::unique_ptr<TBilling> billing_;
    std::unique_ptr<TReceiveDispatch> dispatch_;
    std::unique_ptr<TGateway> gateway_;
    std::unique_ptr<TLineInterface> lineif_;
    std::unique_ptr<TMail602> mail_;
};

}  // namespace varno
