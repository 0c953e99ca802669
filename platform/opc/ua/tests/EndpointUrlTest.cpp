// The endpoint URL a client is told carries the host it used, never anything else it sent.
#include <gtest/gtest.h>

#include "EndpointUrl.h"

using orva::opcua::endpointUrlFor;

TEST(EndpointUrl, EchoesTheClientsHostWithTheServersPort)
{
    const std::string own = "opc.tcp://127.0.0.1:4840";
    EXPECT_EQ(endpointUrlFor(own, "opc.tcp://localhost:4840"), "opc.tcp://localhost:4840");
    EXPECT_EQ(endpointUrlFor(own, "OPC.TCP://gateway-7.plant.local:4840/"),
              "opc.tcp://gateway-7.plant.local:4840");
    EXPECT_EQ(endpointUrlFor(own, "opc.tcp://[::1]:4840"), "opc.tcp://[::1]:4840");
    // The port is always the server's: a client that went through a forwarded port still learns it.
    EXPECT_EQ(endpointUrlFor(own, "opc.tcp://localhost:9999"), "opc.tcp://localhost:4840");
    EXPECT_EQ(endpointUrlFor("opc.tcp://[::1]:4841", "opc.tcp://ip6-localhost"),
              "opc.tcp://ip6-localhost:4841");
}

TEST(EndpointUrl, KeepsItsOwnUrlForAnythingButAPlainHost)
{
    const std::string own = "opc.tcp://127.0.0.1:4840";
    for (const char* bad :
         {"", "http://localhost:4840", "opc.tcp://", "opc.tcp://:4840", "opc.tcp://a b:1",
          "opc.tcp://host\r\nX:1", "opc.tcp://[::1", "opc.tcp://[zz]:1", "opc.tcp://us@er:1"})
        EXPECT_EQ(endpointUrlFor(own, bad), own) << bad;
    EXPECT_EQ(endpointUrlFor(own, "opc.tcp://" + std::string(300, 'a')), own);
}
