// The Mqtt... registry values: defaults, broker addresses, and values that cannot be used.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "mqtt/MqttSettings.h"

namespace orva::mqtt {
namespace {

TEST(BrokerUrl, NamesHostPortAndTls)
{
    const auto plain = parseBrokerUrl("mqtt://broker.local");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->host, "broker.local");
    EXPECT_EQ(plain->port, 1883);
    EXPECT_FALSE(plain->tls);
    const auto tls = parseBrokerUrl("mqtts://10.0.0.5:18883/");
    ASSERT_TRUE(tls);
    EXPECT_EQ(tls->port, 18883);
    EXPECT_TRUE(tls->tls);
    const auto v6 = parseBrokerUrl("mqtt://[::1]:1884");
    ASSERT_TRUE(v6);
    EXPECT_EQ(v6->host, "::1");
    EXPECT_EQ(v6->port, 1884);
    for (const char* bad : {"tcp://h:1", "mqtt://", "mqtt://h:0", "mqtt://h:70000", "mqtt://h:", "mqtt://u@h",
                            "mqtt://[::1", "mqtt://h:1x"})
        EXPECT_FALSE(parseBrokerUrl(bad)) << bad;
}

class MqttSettingsTest : public ::testing::Test {
protected:
    MqttSettingsTest()
        : root(std::filesystem::temp_directory_path() / ("orva-mqtt-settings-" + std::to_string(::getpid())))
    {
        std::filesystem::create_directories(root);
    }
    ~MqttSettingsTest() override { std::filesystem::remove_all(root); }

    std::optional<MqttSettings> read(const std::vector<registry::KeyValue>& values, std::string* problem)
    {
        const registry::Registry registry(root);
        registry::RegistryKey key;
        EXPECT_EQ(registry.createKey(kKey, key), registry::Status::Ok);
        EXPECT_EQ(key.writeStrings(values), registry::Status::Ok);
        return readMqttSettings(registry, kKey, "Tornel", problem);
    }

    static constexpr std::string_view kKey = "SOFTWARE\\ORVAAutomation\\Tornel";
    std::filesystem::path root;
};

TEST_F(MqttSettingsTest, WithoutABrokerThereIsNoMqttAndABrokerAloneGivesTheDefaults)
{
    std::string problem;
    EXPECT_FALSE(read({{"ConfigFile", "/x.xml"}}, &problem));
    EXPECT_TRUE(problem.empty());
    const auto s = read({{"MqttBroker", "mqtt://127.0.0.1:1883"}}, &problem);
    ASSERT_TRUE(s);
    EXPECT_TRUE(problem.empty()) << problem;
    EXPECT_EQ(s->format, PayloadFormat::Json);
    EXPECT_EQ(s->topicPrefix, "orva");
    EXPECT_EQ(s->groupId, "ORVA");
    EXPECT_TRUE(s->clientId.ends_with("-Tornel")) << s->clientId;
    EXPECT_EQ(s->updateRateMs, 1000u);
    EXPECT_FALSE(s->writes);
}

TEST_F(MqttSettingsTest, UnusableValuesFallBackToTheirDefaultsAndAreNamed)
{
    std::string problem;
    EXPECT_FALSE(read({{"MqttBroker", "localhost:1883"}}, &problem));
    EXPECT_NE(problem.find("MqttBroker"), std::string::npos);

    const auto passwordFile = root / "password";
    std::ofstream(passwordFile) << "s3cret\n";
    const auto s = read({{"MqttBroker", "mqtts://b:8883"},
                         {"MqttFormat", "xml"},
                         {"MqttTopicPrefix", "a/#"},
                         {"MqttGroupId", "a/b"},
                         {"MqttUpdateRate", "0"},
                         {"MqttWrites", "yes"},
                         {"MqttUser", "edge"},
                         {"MqttPasswordFile", passwordFile.string()},
                         {"MqttCaFile", (root / "missing.crt").string()}},
                        &problem);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->format, PayloadFormat::Json);
    EXPECT_EQ(s->topicPrefix, "orva");
    EXPECT_EQ(s->groupId, "ORVA");
    EXPECT_EQ(s->updateRateMs, 1000u);
    EXPECT_FALSE(s->writes);
    EXPECT_EQ(s->password, "s3cret");
    EXPECT_TRUE(s->caFile.empty());
    for (const char* name :
         {"MqttFormat", "MqttTopicPrefix", "MqttGroupId", "MqttUpdateRate", "MqttWrites", "MqttCaFile"})
        EXPECT_NE(problem.find(name), std::string::npos) << name << ": " << problem;
}

}  // namespace
}  // namespace orva::mqtt
