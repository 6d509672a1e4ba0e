#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "agent/core/Config.h"
#include "platform/profile/IniFile.h"

using namespace varno;

TEST(Config, DefaultsWithoutFile)
{
    QTemporaryDir dir;
    TIniFile ini(dir.filePath("agent.INI"));
    TConfig c;
    QStringList warnings;
    c.ReadMain(ini, &warnings);
    EXPECT_TRUE(warnings.isEmpty());
    EXPECT_EQ(c.Port, "COM2:19200,N,8,1");
    EXPECT_EQ(c.IPPort, 1234);
    EXPECT_EQ(c.MaxCache, 110);
    EXPECT_TRUE(c.ReadUct);
    EXPECT_FALSE(c.SendUct);
    EXPECT_EQ(c.UctFile, "DATA.NEW");
    EXPECT_FALSE(c.QLIN);
    EXPECT_TRUE(c.Log.Com_In && c.Log.Com_PureIn && c.Log.TcpIp_In);
    EXPECT_FALSE(c.Log.Com_Out || c.Log.Com_LocOut || c.Log.TcpIp_Out || c.Log.Extent);
    EXPECT_EQ(c.Timer.Interval, 100);
    EXPECT_EQ(c.Timer.MaxErrorTick, 600);
    EXPECT_TRUE(c.Prefix.isEmpty());
}

TEST(Config, ValuesFromFile)
{
    QTemporaryDir dir;
    {
        QFile f(dir.filePath("agent.INI"));
        f.open(QIODevice::WriteOnly);
        f.write("[Set]\nPort=COM1:57600,E,7,2\nIPPort=$4D2\nMaxCache=0\nSendUct=7\nReadUct=no\nQLIN=1\n"
                "[Log]\nTCP/IP_Out=1\nExtent=0x1\nCom_In=0\n"
                "[Timer]\nInterval=50\nMaxTick=3\nANInterval=0\nSWInterval=-4\nMaxError=abc\n"
                "[Prefix]\n0=420\n00=\n9=+\n");
    }
    TIniFile ini(dir.filePath("agent.INI"));
    TConfig c;
    QStringList warnings;
    c.ReadMain(ini, &warnings);
    EXPECT_EQ(c.Port, "COM1:57600,E,7,2");
    EXPECT_EQ(c.IPPort, 1234);
    EXPECT_EQ(c.MaxCache, 0);
    EXPECT_TRUE(c.SendUct);
    EXPECT_TRUE(c.ReadUct);  // unparsable boolean: default
    EXPECT_TRUE(c.QLIN);
    EXPECT_TRUE(c.Log.TcpIp_Out);
    EXPECT_TRUE(c.Log.Extent);
    EXPECT_FALSE(c.Log.Com_In);
    EXPECT_EQ(c.Timer.Interval, 50);
    EXPECT_EQ(c.Timer.MaxTick, 3);
    EXPECT_EQ(c.Timer.MaxError, 6);
    EXPECT_EQ(c.Timer.ANInterval, 600);  // zero and negative intervals are refused
    EXPECT_EQ(c.Timer.SWInterval, 600);
    EXPECT_EQ(warnings.size(), 2);
    EXPECT_EQ(c.Prefix, QStringList({"0=420", "9=+"}));
}
