#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "GatewayFixture.h"
#include "tests/support/CoreApplication.h"

using namespace varno;
using namespace varno::test;

namespace {

// Clients that send whatever bytes they like, connecting and leaving at any
// moment, and a PBX that answers with whatever bytes it likes, now and then
// under a sequence number that nobody asked for: afterwards the agent still
// forwards a well-formed request unchanged and relays its reply, and nothing
// it keeps has grown past its limits. Under the sanitizers this also shows
// that no buffer is read or written out of bounds on the way.
TEST(GatewayArbitraryInput, ClientsAndPbxSendingAnythingLeaveTheAgentServing)
{
    EnsureCoreApplication();
    GatewayAgent a("SendUct=1\n");
    a.StartUp();
    std::mt19937 rng(20261211);
    auto bytes = [&](int maxLength) {
        QByteArray b;
        const int n = static_cast<int>(rng() % static_cast<unsigned>(maxLength + 1));
        for (int i = 0; i < n; ++i)
            b.append(static_cast<char>(rng()));
        return b;
    };

    std::vector<std::unique_ptr<TcpClient>> clients;
    for (int i = 0; i < 6; ++i) {
        clients.push_back(std::make_unique<TcpClient>());
        ASSERT_TRUE(clients.back()->Connect(a.Port()));
    }
    int answered = static_cast<int>(a.pbx.Received.size());
    for (int round = 0; round < 400; ++round) {
        TcpClient& c = *clients[rng() % clients.size()];
        // Mostly short requests (which the local answers and the cache look
        // at), some longer than a request record holds.
        QByteArray request = bytes(round % 16 == 0 ? 600 : 8);
        if (request.isEmpty())
            request = QByteArray(1, static_cast<char>(rng() % 24));
        if (rng() % 2)
            request[0] = 0;  // a read, which the cache keeps
        c.Send(request);
        if (round % 37 == 0) {  // one leaves, a new one comes
            auto& slot = clients[rng() % clients.size()];
            slot = std::make_unique<TcpClient>();
            ASSERT_TRUE(slot->Connect(a.Port()));
        }
        Pump(2);
        a.Tick();
        Pump(2);
        for (; answered < static_cast<int>(a.pbx.Received.size()); ++answered) {
            const uint8_t seq = a.pbx.Received.at(answered).Seq;
            a.pbx.Reply(rng() % 8 == 0 ? static_cast<uint8_t>(seq + 1) : seq, bytes(300));
        }
        for (auto& client : clients)
            client->Poll();
        ASSERT_LE(a.Conv().RequestQueue().Count(), 100);
        ASSERT_LE(a.Gateway().Cache().CacheCount, a.Gateway().Cache().Capacity());
    }
    EXPECT_GT(a.Gateway().Cache().CacheCount, 10);  // the junk did reach the cache

    // The junk leaves; what it had queued drains.
    clients.clear();
    for (int i = 0; i < 300 && a.Conv().RequestQueue().Count() > 0; ++i) {
        a.Tick();
        Pump(2);
        for (; answered < static_cast<int>(a.pbx.Received.size()); ++answered)
            a.pbx.Reply(a.pbx.Received.at(answered).Seq, Bytes({0}));
    }
    ASSERT_EQ(a.Conv().RequestQueue().Count(), 0);
    for (int i = 0; i < 12; ++i)  // ends any client pause
        a.Tick();

    TcpClient last;
    ASSERT_TRUE(last.Connect(a.Port()));
    const QByteArray request = Bytes({0, 5, 3});
    last.Send(request);
    Pump(20);
    a.Tick();
    ASSERT_TRUE(a.pbx.WaitFor(answered + 1));
    EXPECT_EQ(a.pbx.Received.at(answered).Payload, request);
    const QByteArray reply = Bytes({0, 5, 3, 'O', 'K'});
    a.pbx.Reply(a.pbx.Received.at(answered).Seq, reply);
    EXPECT_EQ(last.Receive(), reply);
    EXPECT_EQ(a.Gateway().ClientCount(), 1);
    EXPECT_LE(a.Gateway().Cache().CacheCount, a.Gateway().Cache().Capacity());
}

}  // namespace
