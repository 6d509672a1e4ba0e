#pragma once
#include <QByteArray>
#include <QList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "agent/app/MainForm.h"
#include "agent/serial/CommPax.h"
#include "platform/serial/PtyPair.h"

namespace varno::test {

// The PBX's end of a pty pair, played by the test through the same packet
// component the agent uses.
class PbxPeer {
public:
    struct Packet {
        uint8_t Seq;
        QByteArray Payload;
    };
    PbxPeer();
    const QString& SlavePath() const { return pty_.SlavePath(); }
    void Reply(uint8_t seq, const QByteArray& payload);
    void SendByte(uint8_t b);
    // Waits, running the event loop, until n packets have arrived in all.
    bool WaitFor(int n, int ms = 2000);
    QList<Packet> Received;

private:
    PtyPair pty_;
    TCommPax port_;
};

// A prompt that answers as told and remembers what it showed.
class ScriptedPrompt : public TUserPrompt {
public:
    void MessageBox(const QString& text, const QString& caption, Icon) override { Boxes << caption + "|" + text; }
    bool AskYesNo(const QString& text, const QString& caption) override
    {
        Questions << caption + "|" + text;
        return Answer;
    }
    bool Answer = true;
    QStringList Boxes, Questions;
};

// An agent core with its serial port on the peer's pty. The tick timer is
// started by the core but never fires (its interval is long): the tests tick
// by hand.
struct AgentOnPty {
    explicit AgentOnPty(const QByteArray& extraIni = {});
    ~AgentOnPty();
    void Tick(int n = 1);
    // Runs the event loop for a moment so that replies reach the agent.
    static void Pump(int ms = 30);
    QStringList LogLines() const;
    int CountLog(const QString& tag, const QString& text) const;
    TConversation& Conv() { return form->Conversation(); }

    QTemporaryDir dir;
    PbxPeer pbx;
    ScriptedPrompt prompt;
    std::unique_ptr<TMainForm> form;
};

}  // namespace varno::test
