#include <gtest/gtest.h>

#include "config/AccessRights.h"
#include "config/DataTypes.h"
#include "config/ServerKind.h"

using namespace orva;
using namespace orva::config;

TEST(DataTypes, NamesMapToVarTypesExactly)
{
    EXPECT_EQ(dataTypeFromName("VT_BOOL"), VT_BOOL);
    EXPECT_EQ(dataTypeFromName("VT_I2 ARRAY"), VT_ARRAY | VT_I2);
    EXPECT_EQ(dataTypeFromName("VT_BSTR ARRAY"), VT_ARRAY | VT_BSTR);
    EXPECT_EQ(dataTypeFromName("VT_R8"), VT_R8);
    // Whole-text, case-sensitive match with exactly one space before ARRAY.
    EXPECT_EQ(dataTypeFromName("VT_I2  ARRAY"), VT_EMPTY);
    EXPECT_EQ(dataTypeFromName("vt_i2"), VT_EMPTY);
    EXPECT_EQ(dataTypeFromName("VT_I2 "), VT_EMPTY);
    EXPECT_EQ(dataTypeFromName(""), VT_EMPTY);
}

TEST(DataTypes, EditorOffersSeventeenTypesAndConvertsBothWays)
{
    EXPECT_EQ(offeredDataTypes().size(), 17u);
    for (const auto& t : offeredDataTypes()) {
        EXPECT_EQ(displayNameFromVtName(t.vtName), t.displayName);
        EXPECT_EQ(vtNameFromDisplayName(t.displayName), t.vtName);
    }
    EXPECT_EQ(vtNameFromDisplayName("Boolean"), "");
    EXPECT_EQ(displayNameFromVtName("VT_R8"), "");
    EXPECT_EQ(displayNameFromVtName("VT_BSTR ARRAY"), "");
}

TEST(AccessRights, TextsAndBits)
{
    EXPECT_EQ(accessRightsFromName("READ"), 1u);
    EXPECT_EQ(accessRightsFromName("WRITE"), 2u);
    EXPECT_EQ(accessRightsFromName("READWRITE"), 3u);
    EXPECT_EQ(accessRightsFromName("read"), 0u);
    EXPECT_EQ(accessRightsFromName(""), 0u);
    EXPECT_EQ(accessRightsName(3), "READWRITE");
    EXPECT_EQ(accessRightsName(0), "");
}

TEST(ServerKinds, RootElementsAndNames)
{
    EXPECT_EQ(rootElementName(ServerKind::Tornel), "ORVATcpIpS7Cfg");
    EXPECT_EQ(rootElementName(ServerKind::Vardel), "ORVAS7Cfg");
    EXPECT_EQ(rootElementName(ServerKind::Lorvik), "ORVAMpiECfg");
    EXPECT_EQ(rootElementName(ServerKind::Pennat), "ORVAMPICfg");
    EXPECT_EQ(serverKindFromRootElement("ORVAMpiECfg"), ServerKind::Lorvik);
    EXPECT_EQ(serverKindFromRootElement("orvampiecfg"), std::nullopt);
    EXPECT_EQ(serverKindFromRootElementNoCase("orvampiecfg"), ServerKind::Lorvik);
    // Lorvik's and Pennat's roots are close: the case-blind lookup must still tell them apart.
    EXPECT_EQ(serverKindFromRootElementNoCase("ORVAMPICfg"), ServerKind::Pennat);
    EXPECT_EQ(serverKindFromName("Pennat"), ServerKind::Pennat);
    EXPECT_EQ(serverKindFromName("pennat"), std::nullopt);
}
