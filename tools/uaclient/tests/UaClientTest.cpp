// uaclient against the server over the in-memory backend.
#include <gtest/gtest.h>

#include <sstream>

#include "Commands.h"
#include "FakeBackend.h"
#include "TextFormat.h"
#include "opcua/Server.h"

using namespace orva::opcua;

namespace {
struct Fixture {
    Fixture()
    {
        ServerOptions o;
        o.port = 0;
        server = std::make_unique<Server>(backend, o);
        EXPECT_TRUE(server->start());
    }
    int run(std::vector<std::string> args)
    {
        out.str("");
        err.str("");
        args.insert(args.begin(), {"-e", server->endpointUrl()});
        return orva::uaclient::run(args, out, err);
    }
    test::FakeBackend backend;
    std::unique_ptr<Server> server;
    std::ostringstream out;
    std::ostringstream err;
};
}  // namespace

TEST(UaClient, ParsesNodeIdsEndpointsAndValues)
{
    EXPECT_EQ(orva::uaclient::parseNodeId("i=85"), NodeId::num(85));
    EXPECT_EQ(orva::uaclient::parseNodeId("ns=0;i=2258"), NodeId::num(2258));
    EXPECT_EQ(orva::uaclient::parseNodeId("ns=1;s=Line1.Drives.Speed"), NodeId::str("Line1.Drives.Speed"));
    EXPECT_EQ(orva::uaclient::parseNodeId("Line1.Drives.Speed"), NodeId::str("Line1.Drives.Speed"));
    EXPECT_EQ(orva::uaclient::parseNodeId("ns=x;i=1"), NodeId::str("ns=x;i=1"));

    std::string error;
    const auto e = orva::uaclient::parseEndpoint("opc.tcp://127.0.0.1:4841/path", error);
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->port, 4841);
    EXPECT_TRUE(orva::uaclient::parseEndpoint("opc.tcp://[::1]:4842", error).has_value());
    EXPECT_FALSE(orva::uaclient::parseEndpoint("opc.tcp://10.0.0.1:4840", error).has_value());
    EXPECT_NE(error.find("this machine only"), std::string::npos);
    EXPECT_FALSE(orva::uaclient::parseEndpoint("http://127.0.0.1", error).has_value());
    EXPECT_FALSE(orva::uaclient::parseEndpoint("opc.tcp://127.0.0.1:99999", error).has_value());

    EXPECT_EQ(orva::uaclient::formatValue(*orva::uaclient::parseValue("-5", BuiltinType::Int16, false)),
              "-5");
    EXPECT_FALSE(orva::uaclient::parseValue("40000", BuiltinType::Int16, false).has_value());
    EXPECT_FALSE(orva::uaclient::parseValue("1.5", BuiltinType::Int32, false).has_value());
    EXPECT_EQ(
        orva::uaclient::formatValue(*orva::uaclient::parseValue("[1, 0, true]", BuiltinType::Boolean, true)),
        "[true, false, true]");
    EXPECT_EQ(orva::uaclient::formatValue(*orva::uaclient::parseValue("a b", BuiltinType::String, false)),
              "a b");
    EXPECT_EQ(orva::uaclient::formatValue(
                  orva::opcua::Variant::of(BuiltinType::String, std::string("Recipe 5\0\0", 10))),
              "Recipe 5\\x00\\x00");
    EXPECT_EQ(orva::uaclient::formatTime(116444736000000000LL), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(orva::uaclient::formatStatus(0x80AB0000), "0x80AB0000");
}

TEST(UaClient, BrowsesReadsWritesAndSubscribes)
{
    Fixture f;
    ASSERT_EQ(f.run({"browse", "-r"}), 0) << f.err.str();
    EXPECT_NE(f.out.str().find("Speed  ns=1;s=Line1.Drives.Speed\n"), std::string::npos);
    EXPECT_NE(f.out.str().find("Server  i=2253/"), std::string::npos);

    ASSERT_EQ(f.run({"write", "Line1.Values.Int16Array", "1,2,3,4,5,6,7,8,9,10"}), 0) << f.err.str();
    ASSERT_EQ(f.run({"read", "Line1.Values.Int16Array", "ns=0;i=2259"}), 0) << f.err.str();
    EXPECT_NE(f.out.str().find("ns=1;s=Line1.Values.Int16Array = [1, 2, 3, 4, 5, 6, 7, 8, 9, 10]  Good"),
              std::string::npos);
    EXPECT_NE(f.out.str().find("i=2259 = 0  Good"), std::string::npos);

    EXPECT_EQ(f.run({"write", "Line1.Values.Int16", "abc"}), 1);
    EXPECT_NE(f.err.str().find("not a valid"), std::string::npos);
    EXPECT_EQ(f.run({"write", "Line1.Values.ReadOnly", "1"}), 1);
    EXPECT_NE(f.out.str().find("BadNotWritable"), std::string::npos);
    EXPECT_EQ(f.run({"read", "No.Such.Tag"}), 1);
    EXPECT_NE(f.out.str().find("BadNodeIdUnknown"), std::string::npos);

    f.backend.setValue("Line1.Values.Int32", Variant::int32(4711));
    ASSERT_EQ(f.run({"subscribe", "-i", "50", "-t", "1", "Line1.Values.Int32"}), 0) << f.err.str();
    EXPECT_NE(f.out.str().find("ns=1;s=Line1.Values.Int32  4711  Good"), std::string::npos) << f.out.str();

    EXPECT_EQ(f.run({"frobnicate"}), 2);
    EXPECT_EQ(f.run({}), 2);
}

TEST(UaClient, ReportsAServerThatIsNotThere)
{
    std::ostringstream out, err;
    // Port 1 on loopback: nothing listens there.
    EXPECT_EQ(orva::uaclient::run({"-e", "opc.tcp://127.0.0.1:1", "read", "i=2258"}, out, err), 1);
    EXPECT_NE(err.str().find("cannot connect"), std::string::npos);
}
