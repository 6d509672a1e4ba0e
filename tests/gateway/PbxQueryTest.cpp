#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QTcpServer>

#include "GatewayFixture.h"

using namespace varno;
using namespace varno::test;

namespace {

struct ToolRun {
    int exitCode = -1;
    QString out, err;
};

class PbxQuery : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "gateway_tests";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
    }

    // Starts the tool; the agent in this process goes on running meanwhile.
    static std::unique_ptr<QProcess> Start(const QStringList& args)
    {
        auto p = std::make_unique<QProcess>();
        p->start(QStringLiteral(VARNO_BIN_DIR "/pbxquery"), args);
        return p;
    }
    static ToolRun Finish(QProcess& p, int ms = 10000)
    {
        PumpUntil([&]() { return p.state() == QProcess::NotRunning; }, ms);
        ToolRun r;
        if (p.state() != QProcess::NotRunning) {
            p.kill();
            p.waitForFinished();
            return r;
        }
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }
    static ToolRun Query(const QStringList& args) { return Finish(*Start(args)); }
};

TEST_F(PbxQuery, PrintsTheReplyOfAForwardedAndOfACachedRequest)
{
    GatewayAgent a;
    a.StartUp();
    const QString port = QString::number(a.Port());
    auto p = Start({"--port", port, "00", "05", "03"});
    ASSERT_EQ(a.NextToPbx(5000), Bytes({0, 5, 3}));
    a.ReplyToLast(Bytes({0, 5, 3, 0x4A, 0xFF}));
    const ToolRun forwarded = Finish(*p);
    EXPECT_EQ(forwarded.exitCode, 0) << forwarded.err.toStdString();
    EXPECT_EQ(forwarded.out, "00 05 03 4A FF\n");

    const int sent = a.SentToPbx();
    const ToolRun cached = Query({"--port=" + port, "000503"});
    EXPECT_EQ(cached.exitCode, 0) << cached.err.toStdString();
    EXPECT_EQ(cached.out, "00 05 03 4A FF\n");
    EXPECT_EQ(a.SentToPbx(), sent);

    const ToolRun billing = Query({"--host", "localhost", "--port", port, "4"});
    EXPECT_EQ(billing.exitCode, 0) << billing.err.toStdString();
    EXPECT_EQ(billing.out, "00\n");
}

TEST_F(PbxQuery, FailsClearlyWithoutAReplyOrAConnection)
{
    GatewayAgent a;
    a.StartUp();
    const QString port = QString::number(a.Port());
    // The PBX never answers this one.
    const ToolRun silent = Query({"--port", port, "--timeout", "300", "00 06 00"});
    EXPECT_EQ(silent.exitCode, 1);
    EXPECT_TRUE(silent.out.isEmpty());
    EXPECT_TRUE(silent.err.contains("no reply within 300 ms")) << silent.err.toStdString();

    // Nobody listens on a port that was just free.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const QString closed = QString::number(probe.serverPort());
    probe.close();
    const ToolRun refused = Query({"--port", closed, "04"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.err.contains("cannot connect")) << refused.err.toStdString();

    for (const QStringList& bad :
         {QStringList{"--port", port, "0G"}, QStringList{"--port", port, "123"}, QStringList{"--port", port},
          QStringList{"--port", "x", "04"}, QStringList{"--bogus", "04"}}) {
        const ToolRun r = Query(bad);
        EXPECT_EQ(r.exitCode, 64) << bad.join(' ').toStdString();
        EXPECT_FALSE(r.err.isEmpty());
    }
    const ToolRun help = Query({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith("Usage: pbxquery")) << help.out.toStdString();
}

}  // namespace
