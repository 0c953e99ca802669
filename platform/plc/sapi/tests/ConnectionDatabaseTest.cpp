// The connection database: the value format administrators write, and the interface keys.
#include <arpa/inet.h>

#include <gtest/gtest.h>

#include "SapiTestSupport.h"
#include "sapis7/ConnectionDatabase.h"
#include "sapis7/SapiErrors.h"

namespace orva::sapis7 {
namespace {

std::string ip(const sockaddr_in& a)
{
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(a.sin_port));
}

TEST(ConnectionEntry, DefaultsAndEveryOption)
{
    const ConnectionEntry plain = parseConnectionEntry("PLC1", "192.168.0.10");
    ASSERT_TRUE(plain.target);
    EXPECT_EQ(ip(plain.target->remote), "192.168.0.10:102");
    EXPECT_EQ(plain.target->rack, 0);
    EXPECT_EQ(plain.target->slot, 2);
    EXPECT_FALSE(plain.target->source);

    const ConnectionEntry full =
        parseConnectionEntry("PLC2", "  127.0.0.2:10102\track=1 slot=3 source=127.0.0.1 ");
    ASSERT_TRUE(full.target) << full.problem;
    EXPECT_EQ(ip(full.target->remote), "127.0.0.2:10102");
    EXPECT_EQ(full.target->rack, 1);
    EXPECT_EQ(full.target->slot, 3);
    ASSERT_TRUE(full.target->source);
    EXPECT_EQ(ip(*full.target->source), "127.0.0.1:0");
}

TEST(ConnectionEntry, BadTextsSayWhatIsWrong)
{
    EXPECT_EQ(parseConnectionEntry("P", "").error, kSapiBadAddress);
    EXPECT_EQ(parseConnectionEntry("P", "plc.local").error, kSapiBadAddress);
    EXPECT_EQ(parseConnectionEntry("P", "10.0.0.1:0").error, kSapiBadAddress);
    EXPECT_EQ(parseConnectionEntry("P", "10.0.0.1 rack=8").error, kSapiBadAddress);
    EXPECT_EQ(parseConnectionEntry("P", "10.0.0.1 slot=x").error, kSapiBadAddress);
    EXPECT_EQ(parseConnectionEntry("P", "10.0.0.1 speed=fast").error, kSapiBadAddress);
    const ConnectionEntry badSource = parseConnectionEntry("P", "10.0.0.1 source=eth0");
    EXPECT_EQ(badSource.error, kSapiBadSource);
    EXPECT_NE(badSource.problem.find("eth0"), std::string::npos);
    EXPECT_FALSE(badSource.target);
}

TEST(ConnectionDatabase, InterfaceKeyHoldsTheDeviceAndTheConnectionsInOrder)
{
    test::TempDatabase db;
    InterfaceDatabase out;
    EXPECT_EQ(readInterface(db.registry(), "CP_L2_1:", out), DatabaseStatus::NoInterface);
    EXPECT_EQ(readInterface(db.registry(), "", out), DatabaseStatus::NoInterface);
    EXPECT_EQ(readInterface(db.registry(), "A\\B", out), DatabaseStatus::NoInterface);

    ASSERT_TRUE(
        db.setInterface("CP_L2_1:", {{"Press", "127.0.0.1:10102"}, {"device", "ISO-1"}, {"Oven", "bad"}}));
    ASSERT_EQ(readInterface(db.registry(), "cp_l2_1:", out), DatabaseStatus::Ok);
    EXPECT_EQ(out.device, "ISO-1");
    ASSERT_EQ(out.connections.size(), 2u);
    EXPECT_EQ(out.connections[0].name, "Press");
    EXPECT_TRUE(out.connections[0].target);
    EXPECT_EQ(out.connections[1].name, "Oven");
    EXPECT_FALSE(out.connections[1].target);

    ASSERT_TRUE(db.setInterface("Empty", {}));
    ASSERT_EQ(readInterface(db.registry(), "Empty", out), DatabaseStatus::Ok);
    EXPECT_EQ(out.device, kDefaultDeviceName);
    EXPECT_TRUE(out.connections.empty());
}

}  // namespace
}  // namespace orva::sapis7
