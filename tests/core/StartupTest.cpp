#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "agent/app/MainForm.h"
#include "agent/nls/Nls.h"
#include "tests/support/CoreApplication.h"

using namespace varno;

namespace {

// A prompt that remembers what it was asked.
class RecordingPrompt : public TUserPrompt {
public:
    void MessageBox(const QString& text, const QString& caption, Icon) override { boxes << caption + "|" + text; }
    bool AskYesNo(const QString&, const QString&) override { return true; }
    QStringList boxes;
};

void writeFile(const QString& path, const QByteArray& contents)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(contents);
}

// A folder that holds a copy of the program and its language files.
struct ProgramFolder {
    QTemporaryDir dir;
    ProgramFolder()
    {
        QFile::copy(VARNO_BIN_DIR "/agent", dir.filePath("agent"));
        QFile::setPermissions(dir.filePath("agent"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        for (const char* code : {"Cz", "De", "Eng"})
            QFile::copy(QString(VARNO_SOURCE_DIR "/lang/Language.") + code, dir.filePath(QString("Language.") + code));
    }
    QString program() const { return dir.filePath("agent"); }
};

}  // namespace

TEST(Startup, HeadlessWithoutConfigurationFile)
{
    ProgramFolder folder;
    TNLS nls(folder.dir.path());
    nls.SetLanguage("Eng");
    nls.LoadTexts();
    nls.CloseLanguageFile();
    const QString warning = nls.GetText(122);
    ASSERT_FALSE(warning.isEmpty());

    QProcess agent;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    agent.setProcessEnvironment(env);
    agent.start(folder.program(), {});
    ASSERT_TRUE(agent.waitForStarted());
    QByteArray err;
    // Running: wait until the start-up has gone through its last step.
    for (int i = 0; i < 100 && !err.contains("Start Varno Agent"); ++i) {
        agent.waitForReadyRead(100);
        err += agent.readAllStandardError();
    }
    agent.waitForReadyRead(500);
    err += agent.readAllStandardError();
    EXPECT_EQ(agent.state(), QProcess::Running);
    agent.terminate();  // SIGTERM
    ASSERT_TRUE(agent.waitForFinished(5000));
    err += agent.readAllStandardError();
    EXPECT_EQ(agent.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(agent.exitCode(), 0);

    const QString text = QString::fromUtf8(err);
    EXPECT_EQ(text.count(warning), 1) << text.toStdString();
    EXPECT_TRUE(text.contains("COM2:19200,N,8,1")) << text.toStdString();
    EXPECT_FALSE(QFile::exists(folder.dir.filePath("agent.INI")));
}

TEST(Startup, RolesArgumentsAndSettings)
{
    test::EnsureCoreApplication();
    QTemporaryDir dir;
    writeFile(dir.filePath("agent.INI"), "[Set]\nIPPort=0\nMaxCache=0\n[Timer]\nInterval=50\n");
    const QString program = dir.filePath("agent");

    struct Case {
        QStringList args;
        bool hidden;
    } cases[] = {{{program}, false},          {{program, "/hide"}, true},        {{program, "x", "/hide", "y"}, true},
                 {{program, "/HIDE"}, false}, {{program, "/hidewindow"}, false}, {{program, "a/hide"}, false}};
    for (const Case& c : cases) {
        RecordingPrompt prompt;
        TMainForm form(program, c.args, TProcessRole{}, prompt);
        form.FormCreate();
        EXPECT_EQ(form.TrayPending(), c.hidden) << c.args.join(' ').toStdString();
        EXPECT_EQ(form.WindowVisible(), !c.hidden);
        EXPECT_TRUE(prompt.boxes.isEmpty());  // the file exists: no warning
        EXPECT_EQ(form.TimerTick.interval(), 50);
        EXPECT_TRUE(form.TimerTick.isActive());
        EXPECT_EQ(form.Config().MaxCache, 0);
        form.FormClose();
        EXPECT_FALSE(form.TimerTick.isActive());
        EXPECT_EQ(form.Log().Count(), 0);  // cleared by the shutdown
    }

    {  // the service stays hidden; a monitor opens nothing
        RecordingPrompt prompt;
        TMainForm service(program, {program, "/service"}, TProcessRole{true, false}, prompt);
        service.FormCreate();
        EXPECT_FALSE(service.WindowVisible());
        service.FormDestroy();

        TMainForm monitor(program, {program}, TProcessRole{false, true}, prompt);
        monitor.FormCreate();
        QStringList lines;
        for (int i = 0; i < monitor.Log().Count(); ++i)
            lines << monitor.Log().Line(i);
        const QString all = lines.join('\n');
        EXPECT_TRUE(all.contains("---- NT Service -----------"));
        EXPECT_FALSE(all.contains("-OK-"));
        EXPECT_FALSE(all.contains("!Err"));
    }
}

TEST(Startup, LanguageSwitchWritesOneKey)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("agent.INI"), "[Set]\nLang=Eng\nIPPort=0\n[Log]\nCom_In=1\n");
    writeFile(dir.filePath("Language.De"), "[Texty]\n116=Leitung ausgefallen\n");
    writeFile(dir.filePath("Language.Eng"), "[Texty]\n116=Line failed\n");
    RecordingPrompt prompt;
    TMainForm form(dir.filePath("agent"), {}, TProcessRole{true, true}, prompt);
    form.FormCreate();
    EXPECT_EQ(form.Nls().GetText(116), "Line failed");
    form.SwitchLanguage("De");
    EXPECT_EQ(form.Nls().GetText(116), "Leitung ausgefallen");
    QFile f(dir.filePath("agent.INI"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "[Set]\nLang=De\nIPPort=0\n[Log]\nCom_In=1\n");
}

TEST(Startup, MailGatewayStartsWhereTheAgentWorksTheLine)
{
    ProgramFolder folder;
    writeFile(folder.dir.filePath("agent.INI"), "[Set]\nLang=Eng\nIPPort=0\nPort=/nonexistent/pbx:19200,N,8,1\n");
    RecordingPrompt prompt;
    const auto logLines = [](TMainForm& form) {
        QStringList lines;
        for (int i = 0; i < form.Log().Count(); ++i)
            lines << form.Log().Line(i);
        return lines.join('\n');
    };

    // Without the gateway library: "!Err" with text 127 and why; the service
    // also reports it to the journal.
    TMainForm service(folder.program(), {folder.program(), "/service"}, TProcessRole{true, false}, prompt);
    QStringList events;
    QObject::connect(&service, &TMainForm::serviceEvent,
                     [&events](const QString& text, bool error) { events << (error ? "error:" : "info:") + text; });
    service.FormCreate();
    const QString notStarted = service.GetText(127);
    ASSERT_FALSE(notStarted.isEmpty());
    EXPECT_TRUE(logLines(service).contains("!Err " + notStarted));
    EXPECT_TRUE(logLines(service).contains("libagentq5.so not loaded"));
    EXPECT_TRUE(events.contains("error:" + notStarted)) << events.join('|').toStdString();
    EXPECT_FALSE(service.Mail602().GatewayActive);
    service.FormDestroy();

    // With the library beside the program and a gateway that accepts the
    // agent: "-OK-" with text 126.
    ASSERT_TRUE(QFile::copy(VARNO_BIN_DIR "/libagentq5.so", folder.dir.filePath("libagentq5.so")));
    writeFile(folder.dir.filePath("gateway.ini"),
              "[Gateway]\nUser=agent\n[Mailbox a]\nPhone=101\nMaildir=" + folder.dir.filePath("mail").toUtf8() + "\n");
    writeFile(folder.dir.filePath("agent.INI"),
              "[Set]\nLang=Eng\nIPPort=0\nPort=/nonexistent/pbx:19200,N,8,1\n[M602]\nCestaKeKonfiguraciMail602=" +
                  folder.dir.filePath("gateway.ini").toUtf8() +
                  "\nUzivatel=agent\nCestaKPracovnimuAdresari=" + folder.dir.path().toUtf8() + "\n");
    TMainForm window(folder.program(), {folder.program()}, TProcessRole{}, prompt);
    window.FormCreate();
    EXPECT_TRUE(window.Mail602().GatewayActive) << window.Mail602().Problem().toStdString();
    EXPECT_TRUE(logLines(window).contains("-OK- " + window.GetText(126)));
    window.FormClose();
}
