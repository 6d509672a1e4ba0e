#include "tests/pbxsim/SimFixture.h"
#include "tools/pbxsim/ScenarioLoader.h"

#include <QDir>
#include <QTemporaryDir>

#include <fstream>

namespace varno::pbxsim {
namespace {

using PbxsimStatementTest = SimFixture;

TEST_F(PbxsimStatementTest, RefusedStatementsSayWhyAndChangeNothing)
{
    Run({"line 0 100 state 3"});
    const struct {
        const char* statement;
        const char* why;
    } cases[] = {
        {"lien 3", "unknown statement \"lien\""},
        {"line 127 100", "line index"},
        {"line 0 12345", "not an extension number"},
        {"line 0 1E", "not an extension number"},
        {"line 0 100 state 256", "state takes a value"},
        {"line 0 100 200", "given twice"},
        {"lines 128", "lines takes a count"},
        {"config 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17", "16 bytes"},
        {"config byte 16 1", "position 0..15"},
        {"identity 1 2 3 4 5 6 7 8", "7 bytes"},
        {"slot 4 Q text", "slot 0..3"},
        {"slot 0 QQ text", "not a message type"},
        {"slot 0 Q bad\\q", "bad escape"},
        {"bill", "needs the record's text"},
        {"party 300 123", "party number"},
        {"status A 300", "status 0..255"},
        {"status Z 1", "not a request kind"},
        {"fault bogus", "not a fault"},
        {"fault delay", "milliseconds"},
        {"fault silent on Z", "not a request kind"},
        {"fault silent count 0", "count takes"},
        {"fault twice extra", "unexpected \"extra\""},
        {"send", "send takes"},
        {"send packet", "sequence number"},
        {"at x line 0 state 1", "takes seconds"},
        {"at 1 lien 0", "unknown statement \"lien\""},
        {"at 1", "takes seconds and a statement"},
        {"every 0 bill x", "period above 0"},
        {"command14 0x100", "not a byte"},
    };
    for (const auto& c : cases) {
        const auto outcome = interpreter.Execute(c.statement, 0);
        EXPECT_FALSE(outcome.Ok) << c.statement;
        EXPECT_EQ(outcome.Reply.rfind("ERR ", 0), 0u) << c.statement;
        EXPECT_NE(outcome.Reply.find(c.why), std::string::npos) << c.statement << " -> " << outcome.Reply;
    }
    ASSERT_EQ(state.Lines.size(), 1u);
    EXPECT_EQ(state.Lines[0].State, 3);
    EXPECT_EQ(state.Lines[0].NumberCodes, (std::array<uint8_t, 4>{1, 10, 10, 0}));
    EXPECT_TRUE(faults.Empty());
    EXPECT_EQ(timeline.Size(), 0u);
    EXPECT_EQ(state.Billing.Total(), 0u);
}

TEST_F(PbxsimStatementTest, LineStatementsChangeOnlyWhatTheyName)
{
    Run({"line 2 12 state 4 party 7"});
    ASSERT_EQ(state.Lines.size(), 3u) << "lines up to the index come into being";
    EXPECT_EQ(state.Lines[0].NumberCodes, (std::array<uint8_t, 4>{}));
    Run({"line 2 state 5"});
    EXPECT_EQ(state.Lines[2].NumberCodes, (std::array<uint8_t, 4>{1, 2, 0, 0}));
    EXPECT_EQ(state.Lines[2].State, 5);
    EXPECT_EQ(state.Lines[2].Party, 7);
    Run({"line 2 codes 1 20 3 4"});
    EXPECT_EQ(state.Lines[2].NumberCodes, (std::array<uint8_t, 4>{1, 20, 3, 4}));
    EXPECT_FALSE(interpreter.Execute("line 1 number 0x", 0).Ok) << "x is not a digit of the line list";
    Run({"line 1 number 0", "line 2 -", "lines 2"});
    EXPECT_EQ(state.Lines[1].NumberCodes, (std::array<uint8_t, 4>{10, 0, 0, 0}));
    EXPECT_EQ(state.Lines.size(), 2u);
}

TEST_F(PbxsimStatementTest, TimelineRunsStatementsWhenTheirTimeComes)
{
    Run({"line 3 100 state 0 party 0", "at 2.0 line 3 state 5 party 12", "at 1 bill early"});
    interpreter.RunDue(1.5);
    EXPECT_EQ(state.Lines[3].State, 0);
    EXPECT_EQ(state.Billing.Total(), 1u);
    interpreter.RunDue(2.0);
    EXPECT_EQ(state.Lines[3].State, 5);
    EXPECT_EQ(state.Lines[3].Party, 12);
    EXPECT_EQ(host.log, (std::vector<std::string>{"EVENT bill early", "EVENT line 3 state 5 party 12"}));

    // "after" counts from the moment it is given, "every" runs at once and then repeats.
    Run({"after 0.5 line 3 state 6", "every 1 count 3 bill r{n}"}, 10);
    EXPECT_EQ(state.Billing.Total(), 2u);
    interpreter.RunDue(10.4);
    EXPECT_EQ(state.Lines[3].State, 5);
    interpreter.RunDue(10.5);
    EXPECT_EQ(state.Lines[3].State, 6);
    interpreter.RunDue(100);
    EXPECT_EQ(state.Billing.Total(), 4u) << "three runs in all";
    EXPECT_EQ(timeline.Size(), 0u);
    state.Billing.Next();
    EXPECT_EQ(state.Billing.Next(), "r2");
    EXPECT_EQ(state.Billing.Next(), "r3");
    EXPECT_EQ(state.Billing.Next(), "r4");

    Run({"at 50 every 5 line 3 state 1", "at 52 line 3 state 2"}, 0);
    interpreter.RunDue(57);
    EXPECT_EQ(state.Lines[3].State, 1) << "the repeat at 55 comes after the change at 52";
    Run({"timeline clear"});
    EXPECT_EQ(timeline.Size(), 0u);
}

TEST_F(PbxsimStatementTest, FaultStatementsBuildTheFaultSet)
{
    Run({"fault silent on A count 2", "fault delay 300 on C,I", "fault noise 1 2 on U", "fault e0 count 1"});
    EXPECT_EQ(
        interpreter.Execute("fault list", 0).Reply,
        "FAULTS silent on states count 2; delay 300 on config,identity; noise 0x01 0x02 on bill,rebill; e0 count 1");
    Run({"fault clear delay", "fault clear on U"});
    EXPECT_EQ(faults.Describe(), "silent on states count 2; e0 count 1")
        << "clearing the faults on billing leaves the one on every kind";
    Run({"fault clear on A,U"});
    EXPECT_EQ(faults.Describe(), "e0 count 1");
    Run({"fault clear"});
    EXPECT_TRUE(faults.Empty());
    Run({"fault noise"});
    EXPECT_EQ(faults.Describe(), "noise 0x11 0x55 0xaa 0x7f") << "default noise has neither 0xEE nor 0xE0";
}

TEST_F(PbxsimStatementTest, SendAndControlStatementsGoToTheHost)
{
    Run({"send e0 2", "send noise 1 0xff", "send packet 7 0 22 0", "send badcrc 0xEE 1"});
    EXPECT_EQ(host.raw, (std::vector<Bytes>{{0xE0, 0xE0}, {1, 0xFF}}));
    ASSERT_EQ(host.packets.size(), 2u);
    EXPECT_EQ(host.packets[0].sequence, 7);
    EXPECT_EQ(host.packets[0].payload, (Bytes{0, 22, 0}));
    EXPECT_FALSE(host.packets[0].corruptCrc);
    EXPECT_EQ(host.packets[1].sequence, 0xEE);
    EXPECT_TRUE(host.packets[1].corruptCrc);
    EXPECT_EQ(interpreter.Execute("stats", 0).Reply, "STATS from-host");
    EXPECT_FALSE(host.quitAsked);
    Run({"at 1 quit"});
    interpreter.RunDue(1);
    EXPECT_TRUE(host.quitAsked);
}

TEST_F(PbxsimStatementTest, TextsKeepTheirBlanksAndEscapes)
{
    Run({"slot 2 F   two  blanks\\nsecond\\nbody \\x41\\\\", "party 70 +420 123", "bill  a  b ", "slot 3 empty"});
    EXPECT_EQ(state.MessageSlots[2].Type, 'F');
    EXPECT_EQ(state.MessageSlots[2].Text, "two  blanks\nsecond\nbody A\\");
    EXPECT_EQ(state.Parties.at(70), "+420 123");
    EXPECT_EQ(state.Billing.Next(), "a  b ");
    EXPECT_EQ(state.MessageSlots[3].Type, 0);
    Run({"slot 1 0x58 x", "party 70"});
    EXPECT_EQ(state.MessageSlots[1].Type, 'X');
    EXPECT_EQ(state.Parties.count(70), 0u) << "a party without a text is removed";
}

TEST_F(PbxsimStatementTest, ScenarioFilesLoadOrSayWhereTheyFail)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string bad = QDir(dir.path()).filePath("bad.ini").toStdString();
    std::ofstream(bad) << "# comment\n; another\n\nline 0 100\nline 1 10x\n";
    std::string error;
    EXPECT_FALSE(LoadScenario(bad, interpreter, error));
    EXPECT_EQ(error, bad + ":5: \"10x\" is not an extension number (up to 4 of 1234567890*#FPSABCD)");
    EXPECT_FALSE(LoadScenario(bad + ".missing", interpreter, error));
    EXPECT_NE(error.find("cannot be read"), std::string::npos);

    // Every scenario that comes with the simulator loads.
    const QDir scenarios(QStringLiteral(VARNO_SOURCE_DIR "/tools/pbxsim/scenarios"));
    const auto files = scenarios.entryList({QStringLiteral("*.ini")}, QDir::Files);
    EXPECT_TRUE(files.contains(QStringLiteral("demo.ini")));
    for (const QString& file : files) {
        PbxState fresh;
        FaultSet freshFaults;
        Timeline freshTimeline;
        StatementInterpreter freshInterpreter(fresh, freshFaults, freshTimeline, host);
        EXPECT_TRUE(LoadScenario(scenarios.filePath(file).toStdString(), freshInterpreter, error)) << error;
    }
}

}  // namespace
}  // namespace varno::pbxsim
