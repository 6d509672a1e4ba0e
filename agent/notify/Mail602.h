#pragma once
#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <memory>

#include "agent/core/AgentContext.h"
#include "agent/notify/GatewayLibrary.h"

namespace varno {

class TData;
class TIniFile;
class TIniWriter;
class TNLS;

// The binding to the mail gateway library: the mailbox check that turns the
// messages waiting for each line's owner into the telephone's message
// counters, the forwarding of the PBX's outgoing text messages, the local
// traps, and the settings of sections M602 and Trapy. One object lives from
// start-up to shutdown; everything runs on the main thread, and no call into
// the library waits on the mail system.
class TMail602 : public QObject {
    Q_OBJECT
public:
    // Field sizes in characters (without the terminator).
    static constexpr int PathLength = 100;
    static constexpr int PasswordLength = 20;
    static constexpr int TextLength = 100;
    static constexpr int TrapTextOffLength = 201;

    // Loads the library (LoadGateway): from programDir first.
    TMail602(const TAgentContext& context, TNLS& nls, TData& data, const QString& programDir,
             QObject* parent = nullptr);
    ~TMail602() override;

    // Sections M602 and Trapy of the configuration file, cut to the fields.
    void ReadSettings(const TIniFile& ini);
    // Section M602 as the settings dialog confirms it; the password stored
    // scrambled.
    void SaveSettings(const TIniWriter& ini) const;
    // Section Trapy as the trap dialog confirms it.
    void SaveTrapSettings(const TIniWriter& ini) const;

    // Initialises the gateway; GatewayActive tells whether it took.
    void StartGateway();
    void StopGateway();
    void AbortGateway();

    // Reads the mailboxes (all of them the first time and after a failed
    // read, else only the changed ones) into the counters of the data model.
    // Whether something was read, so that the counters go to the PBX.
    bool CheckMailboxes();
    // Hands a message to the gateway while it is active. A message the
    // gateway refuses is logged, so that it is never lost unseen.
    void ForwardMessage(const QByteArray& address, char type, const QByteArray& subject, const QByteArray& text,
                        char flag);
    // Trap kind 1: the PBX line failed; 2: it answers again.
    void SendTrap(int kind);

    bool GatewayActive = false;
    bool ReloadAll = false;
    QString ConfigPath;
    QString UserName;
    QString Password;  // plain
    QString WorkDir;
    QString TrapAddress;
    char TrapAddressType = 0;
    QString TrapSubject;
    QString TrapTextOn;
    QString TrapTextOff;
    uint32_t DebugLevel = 0;

    // One entry per counted message: its identifier and category letter.
    // Never holds an identifier twice.
    QHash<uint32_t, char> MessageList;

    // Why the gateway is off (library missing or incomplete, initialisation
    // refused); empty while it is active.
    QString Problem() const;

private:
    // Counters of one mailbox as a read gives them.
    struct TCounts {
        int Sms = 0, Fax = 0, Voice = 0;
        void Add(char letter, int n);
    };
    void HandleMailbox(AQ5_Mailbox* record, AQ5_Params& params, int mode, const QString& reReadText,
                       const QString& failedText);
    TCounts CountFolders(const AQ5_Mailbox& mailbox, int mode);
    // A setting longer than its field is cut to it, with a line that says so.
    QString Fit(const QString& value, int length, const QString& key) const;

    const TAgentContext& context_;
    TNLS& nls_;
    TData& data_;
    std::unique_ptr<TGatewayLibrary> library_;
    int initResult_ = 0;
};

}  // namespace varno
