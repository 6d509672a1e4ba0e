#pragma once
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "agent/core/AgentContext.h"
#include "agent/notify/Mail602.h"
#include "agent/pbx/Data.h"
#include "platform/profile/IniFile.h"
#include "tests/support/Maildirs.h"

// The binding in real surroundings: an event log, the configuration, a
// language file of the test's own, a data model with the lines 101, 102 and
// 200, two Maildirs (Anna at 101, Karel at 102) and a gateway configuration
// whose sendmail is a stand-in that files every message in "outbox".
class MailWorld {
public:
    MailWorld()
    {
        QFile lang(dir.filePath("Language.Eng"));
        if (!lang.open(QIODevice::WriteOnly))
            throw std::runtime_error("language file not written");
        lang.write("[Texty]\n126=Mail gateway started\n127=Mail gateway not started\n"
                   "[Text]\n200=PBX answers again\n299=PBX line failed\n300=Mailbox changed, read again\n"
                   "301=\"Mailbox not read again, error \"\n399=\"Mailboxes not read, error \"\n");
        lang.close();
        nls.SetLanguage("Eng");
        nls.LoadTexts();
        nls.CloseLanguageFile();
        QObject::connect(&log, &varno::TEventLog::logged,
                         [this](const QString& tag, const QString& text) { Log.emplace_back(tag, text); });
        // Lines 101, 102 and 200 (digit codes: 1 is 1, 0 is 10).
        const uint8_t lines[] = {0, 14, 0, 1, 10, 1, 0, 1, 10, 2, 0, 2, 10, 10, 0};
        data.LineListMessage(1, lines, sizeof lines);
        if (data.LineTableCount != 3)
            throw std::runtime_error("lines not loaded");

        anna = dir.filePath("mail/anna");
        karel = dir.filePath("mail/karel");
        varno::test::Maildirs::Make(anna);
        varno::test::Maildirs::Make(karel);
        outbox = dir.filePath("outbox");
        sendmail = varno::test::Maildirs::WriteSendmail(dir.path(), outbox);
        WriteGatewayConfig("");
    }

    // The gateway's configuration; extra lines go into [Gateway].
    void WriteGatewayConfig(const QByteArray& extra)
    {
        QFile f(dir.filePath("gateway.ini"));
        if (!f.open(QIODevice::WriteOnly))
            throw std::runtime_error("gateway configuration not written");
        f.write("[Gateway]\nUser=agent\nSendmail=" + sendmail.toUtf8() +
                " -t -i\nFrom=agent@pbx.example.net\nTimeout=5\n" + extra +
                "\n[Mailbox anna]\nOwner=Anna Nov\xc3\xa1kov\xc3\xa1\nPhone=101\nMaildir=" + anna.toUtf8() +
                "\n[Mailbox karel]\nOwner=Karel\nPhone=102\nMaildir=" + karel.toUtf8() +
                "\n[Routes]\nQ=%s@sms.example.net\n");
    }

    // A binding over the library in libraryDir, with the agent's settings:
    // sections M602 and Trapy given whole (M602 points at the gateway
    // configuration unless the text names it).
    std::unique_ptr<varno::TMail602> Make(const QByteArray& ini = "", const QString& libraryDir = VARNO_BIN_DIR)
    {
        QFile f(dir.filePath("agent.INI"));
        if (!f.open(QIODevice::WriteOnly))
            throw std::runtime_error("agent.INI not written");
        if (!ini.contains("CestaKeKonfiguraciMail602"))
            f.write("[M602]\nCestaKeKonfiguraciMail602=" + dir.filePath("gateway.ini").toUtf8() + "\nUzivatel=agent\n" +
                    "CestaKPracovnimuAdresari=" + dir.path().toUtf8() + "\n");
        f.write(ini);
        f.close();
        auto mail = std::make_unique<varno::TMail602>(context, nls, data, libraryDir);
        mail->ReadSettings(varno::TIniFile(f.fileName()));
        return mail;
    }

    // SMS, fax and voice counters of the line with that number.
    std::tuple<int, int, int> Counters(const char* number) const
    {
        const int i = data.FindLine(number);
        if (i == varno::TData::NoLine)
            return {-1, -1, -1};
        const varno::TLineEntry& e = data.LineTable[static_cast<size_t>(i)];
        return {e.SmsCount, e.FaxCount, e.VoiceCount};
    }

    bool Logged(const QString& tag, const QString& text) const
    {
        for (const auto& [t, x] : Log)
            if (t == tag && x == text)
                return true;
        return false;
    }

    static bool WaitUntil(const std::function<bool()>& condition, int ms = 8000)
    {
        QElapsedTimer t;
        t.start();
        while (!condition()) {
            if (t.elapsed() > ms)
                return false;
            QThread::msleep(10);
        }
        return true;
    }

    QTemporaryDir dir;
    varno::TEventLog log;
    varno::TConfig config;
    varno::TNLS nls{dir.path()};
    varno::TAgentContext context{log, nls, config};
    varno::TData data{context};
    std::vector<std::pair<QString, QString>> Log;
    QString anna, karel, outbox, sendmail;
};
