// The publisher against a real toolkit entry and Debian's mosquitto: the queue that bridges a
// broker outage keeps the newest updates in order within its bound and reports what it dropped,
// an orderly stop says goodbye, and TLS is verified against the configured CA.
#include <gtest/gtest.h>

#include <cstdlib>

#include "MqttTestSupport.h"
#include "mqtt/Publisher.h"
#include "opc/SODaSCreator.h"
#include "opc/SODaSEntry.h"
#include "opc/SODaSTag.h"

namespace orva::mqtt {
namespace {

using namespace std::chrono_literals;
using test::eventually;

class PublisherTest : public ::testing::Test {
protected:
    PublisherTest() : entry(new opc::SODaSEntry)
    {
        entry->setCreator(opc::SOCmnPointer<opc::SODaSCreator>(new opc::SODaSCreator).get());
        entry->setMinUpdateRate(20);
        auto root = entry->getNameSpaceRoot();
        opc::SOCmnPointer<opc::SODaSNode> plc(new opc::SODaSNodeDefault("P1"));
        root->addBranch(plc.get());
        counter = addTag(*plc, "Counter", orva::VT_I4);
        addTag(*plc, "Other", orva::VT_I4);
        EXPECT_NE(entry->start(), 0);
    }
    ~PublisherTest() override
    {
        publisher.reset();
        entry->terminate();
    }

    opc::SOCmnPointer<opc::SODaSCache> addTag(opc::SODaSNode& parent, const std::string& name, VarType type)
    {
        opc::SOCmnPointer<opc::SODaSTag> tag(new opc::SODaSTag);
        tag->setName(name);
        tag->setNativeDatatype(type);
        tag->setAccessRights(3);
        parent.addLeaf(tag.get());
        auto cache = tag->getCache();
        opc::SOCmnVariant zero;
        zero.setI4(0);
        cache->set(zero, opc::OPC_QUALITY_GOOD);
        return cache;
    }

    void setCounter(int32_t value)
    {
        opc::SOCmnVariant v;
        v.setI4(value);
        counter->set(v, opc::OPC_QUALITY_GOOD);
    }

    MqttSettings settings(int port)
    {
        MqttSettings s;
        s.brokerUrl = "mqtt://127.0.0.1:" + std::to_string(port);
        s.host = "127.0.0.1";
        s.port = static_cast<uint16_t>(port);
        s.clientId = "publisher-test-" + std::to_string(::getpid());
        s.updateRateMs = 20;
        return s;
    }

    void startPublisher(MqttSettings s, PublisherLimits limits = {})
    {
        publisher = std::make_unique<Publisher>(
            *entry, std::move(s), "Test",
            [this](Publisher::LogLevel, const std::string& line) {
                const std::lock_guard lock(logLock);
                log += line + "\n";
            },
            limits);
        ASSERT_TRUE(publisher->start());
    }

    bool logged(const std::string& text)
    {
        const std::lock_guard lock(logLock);
        return log.find(text) != std::string::npos;
    }

    // The counter values of the JSON messages of P1, in arrival order.
    static std::vector<int> counters(const test::Subscriber& subscriber)
    {
        std::vector<int> values;
        for (const auto& m : subscriber.messagesOn("orva/Test/P1")) {
            const auto at = m.payload.find("\"Counter\":");
            if (at != std::string::npos) values.push_back(std::atoi(m.payload.c_str() + at + 10));
        }
        return values;
    }

    opc::SOCmnPointer<opc::SODaSEntry> entry;
    opc::SOCmnPointer<opc::SODaSCache> counter;
    std::unique_ptr<Publisher> publisher;
    std::mutex logLock;
    std::string log;
};

TEST_F(PublisherTest, KeepsTheNewestUpdatesInOrderWhileTheBrokerIsUnreachableAndReportsTheDropped)
{
    test::Broker broker;
    ASSERT_TRUE(broker.ready()) << "mosquitto did not start";
    test::Subscriber subscriber(broker.port(), {"orva/#"});
    ASSERT_TRUE(eventually([&] { return subscriber.ready(); }));
    test::Relay relay(broker.port());  // closed: the broker cannot be reached

    PublisherLimits limits;
    limits.maxQueuedMessages = 5;
    limits.firstRetry = 20ms;
    limits.maxRetry = 50ms;
    startPublisher(settings(relay.port()), limits);
    ASSERT_TRUE(eventually([&] { return logged("next attempt"); }));
    EXPECT_NE(publisher->linkState().find("cannot reach"), std::string::npos) << publisher->linkState();

    // Twenty changes, each seen by the group before the next one.
    for (int32_t i = 1; i <= 20; ++i) {
        setCounter(i);
        std::this_thread::sleep_for(80ms);
    }
    relay.setOpen(true);
    ASSERT_TRUE(
        eventually([&] { return !counters(subscriber).empty() && counters(subscriber).back() == 20; }));
    const std::vector<int> arrived = counters(subscriber);
    EXPECT_LE(arrived.size(), 5u);
    EXPECT_TRUE(std::is_sorted(arrived.begin(), arrived.end()));
    ASSERT_TRUE(eventually([&] { return !subscriber.messagesOn("orva/Test/dropped").empty(); }));
    const std::string report = subscriber.messagesOn("orva/Test/dropped").front().payload;
    const int dropped = std::atoi(report.c_str() + report.find("\"dropped\":") + 10);
    // Twenty changes and the initial values, five kept (fewer updates when the group happened to
    // fold two changes into one).
    EXPECT_GE(dropped, 1) << report;
    EXPECT_LE(static_cast<std::size_t>(dropped) + arrived.size(), 21u) << report;
    EXPECT_TRUE(logged("messages were dropped"));
    EXPECT_NE(publisher->linkState().find("connected to"), std::string::npos) << publisher->linkState();

    // The link goes away while connected and comes back: nothing changed meanwhile is lost.
    relay.setOpen(false);
    ASSERT_TRUE(eventually([&] { return publisher->linkState().find("link lost") != std::string::npos; }));
    setCounter(21);
    std::this_thread::sleep_for(100ms);
    setCounter(22);
    std::this_thread::sleep_for(100ms);
    relay.setOpen(true);
    ASSERT_TRUE(eventually([&] { return counters(subscriber).back() == 22; }));
    const std::vector<int> all = counters(subscriber);
    EXPECT_NE(std::find(all.begin(), all.end(), 21), all.end());

    // An orderly stop leaves "offline" on the retained status topic.
    publisher->stop();
    EXPECT_TRUE(eventually([&] {
        const auto status = subscriber.messagesOn("orva/Test/status");
        return !status.empty() && status.back().payload == "offline";
    }));
}

// Certificates made with the openssl tool: a CA, the broker's certificate for 127.0.0.1 signed
// by it, and a second CA that signed nothing.
bool makeCertificates(const std::filesystem::path& dir)
{
    const std::string d = dir.string();
    const std::string script =
        "cd '" + d +
        "' && "
        "openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.crt -days 2 -subj /CN=orva-test-ca "
        "&& "
        "openssl req -x509 -newkey rsa:2048 -nodes -keyout other.key -out other.crt -days 2 -subj /CN=other "
        "&& "
        "openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj /CN=127.0.0.1 && "
        "printf 'subjectAltName=IP:127.0.0.1\\n' > san.ext && "
        "openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -out server.crt -days 2 "
        "-extfile san.ext && chmod 0644 *.key *.crt && chmod 0755 .";
    return std::system(("(" + script + ") >/dev/null 2>&1").c_str()) == 0;
}

TEST_F(PublisherTest, VerifiesTheBrokerAgainstTheConfiguredCa)
{
    if (::access("/usr/bin/openssl", X_OK) != 0) GTEST_SKIP() << "no openssl tool";
    const auto certs =
        std::filesystem::temp_directory_path() / ("orva-mqtt-certs-" + std::to_string(::getpid()));
    std::filesystem::create_directories(certs);
    ASSERT_TRUE(makeCertificates(certs));
    const int tlsPort = test::freeLoopbackPort();
    test::Broker broker("listener " + std::to_string(tlsPort) + " 127.0.0.1\ncafile " +
                        (certs / "ca.crt").string() + "\ncertfile " + (certs / "server.crt").string() +
                        "\nkeyfile " + (certs / "server.key").string() + "\n");
    ASSERT_TRUE(broker.ready());
    test::Subscriber subscriber(broker.port(), {"orva/Test/status"});
    ASSERT_TRUE(eventually([&] { return subscriber.ready(); }));

    MqttSettings s = settings(tlsPort);
    s.tls = true;
    s.caFile = (certs / "other.crt").string();
    startPublisher(s);
    ASSERT_TRUE(eventually([&] { return logged("next attempt"); }));
    EXPECT_FALSE(logged("connected to")) << log;
    EXPECT_TRUE(logged("certificate verify failed")) << log;
    publisher.reset();

    s.caFile = (certs / "ca.crt").string();
    startPublisher(s);
    EXPECT_TRUE(eventually([&] {
        const auto status = subscriber.messagesOn("orva/Test/status");
        return !status.empty() && status.back().payload == "online";
    })) << log;
    publisher.reset();
    std::filesystem::remove_all(certs);
}

}  // namespace
}  // namespace orva::mqtt
