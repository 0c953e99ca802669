#include <gtest/gtest.h>

#include "opc/SODaSEntry.h"
#include "opc/SODaSRequest.h"
#include "opc/SODaSTag.h"

using namespace orva::opc;

namespace {

SOCmnPointer<SODaSTag> makeTag(const std::string& name)
{
    SOCmnPointer<SODaSTag> t(new SODaSTag);
    t->setName(name);
    return t;
}

SOCmnPointer<SODaSNode> addBranch(SODaSNode& parent, const std::string& name)
{
    SOCmnPointer<SODaSNode> n(new SODaSNodeDefault(name));
    EXPECT_TRUE(parent.addBranch(n.get()));
    return n;
}

}  // namespace

TEST(AddressSpace, ItemIdsJoinNamesWithTheDelimiter)
{
    SOCmnPointer<SODaSNameSpaceRoot> root(new SODaSNameSpaceRoot);
    auto line = addBranch(*root, "Line1");
    auto drives = addBranch(*line, "Drives");
    auto speed = makeTag("Speed");
    ASSERT_TRUE(drives->addLeaf(speed.get()));
    EXPECT_EQ(speed->getItemID(), "Line1.Drives.Speed");
    EXPECT_EQ(drives->getItemID(), "Line1.Drives");
    EXPECT_EQ(root->findTag("Line1.Drives.Speed").get(), speed.get());
    EXPECT_EQ(root->findNode("Line1.Drives").get(), drives.get());
    EXPECT_EQ(root->findNode("").get(), root.get());
    EXPECT_FALSE(root->findTag("Line1.Drives"));
    EXPECT_FALSE(root->findTag("Line1.Drives.Sped"));
    EXPECT_FALSE(root->findTag(""));
    EXPECT_FALSE(root->findTag(std::string(10000, '.')));
    // Outside the address space an element's ID is its bare name.
    EXPECT_EQ(makeTag("Loose")->getItemID(), "Loose");
    EXPECT_FALSE(speed->setName("Other"));
}

TEST(AddressSpace, NamesWithDelimitersAndSpacesResolve)
{
    SOCmnPointer<SODaSNameSpaceRoot> root(new SODaSNameSpaceRoot);
    root->setTreeDelimiter('.', SOCmnString("."), SOCmnString(""));
    auto plc = addBranch(*root, "PLC 1");
    auto dotted = makeTag("a.b");
    auto comma = makeTag("x, y");
    ASSERT_TRUE(plc->addLeaf(dotted.get()));
    ASSERT_TRUE(plc->addLeaf(comma.get()));
    EXPECT_EQ(dotted->getItemID(), "PLC 1.a.b");
    EXPECT_EQ(root->findTag("PLC 1.a.b").get(), dotted.get());
    EXPECT_EQ(root->findTag("PLC 1.x, y").get(), comma.get());
}

TEST(AddressSpace, BadCharactersAreRefusedUntilTheListIsEmptied)
{
    SOCmnPointer<SODaSNameSpaceRoot> root(new SODaSNameSpaceRoot);
    SOCmnString accepted, bad;
    EXPECT_EQ(root->getTreeDelimiter(&accepted, &bad), '.');
    EXPECT_FALSE(bad.isEmpty());
    auto plc = addBranch(*root, "P");
    auto quoted = makeTag("say\"hi\"");
    EXPECT_FALSE(plc->addLeaf(quoted.get()));
    root->setTreeDelimiter('.', accepted, SOCmnString(""));
    EXPECT_TRUE(plc->addLeaf(quoted.get()));
    SOCmnString accepted2;
    root->getTreeDelimiter(&accepted2, nullptr);
    EXPECT_EQ(accepted2, accepted);
}

TEST(AddressSpace, DuplicateNamesAreRefusedAndTheCallerKeepsItsReference)
{
    SOCmnPointer<SODaSNameSpaceRoot> root(new SODaSNameSpaceRoot);
    auto plc = addBranch(*root, "Line1");
    auto first = makeTag("Speed");
    auto second = makeTag("Speed");
    ASSERT_TRUE(plc->addLeaf(first.get()));
    EXPECT_EQ(first->getRefCount(), 2u);
    EXPECT_FALSE(plc->addLeaf(second.get()));
    EXPECT_EQ(second->getRefCount(), 1u);
    EXPECT_EQ(second->getParentBranch(), nullptr);
    EXPECT_EQ(root->findTag("Line1.Speed").get(), first.get());
    EXPECT_EQ(plc->getLeafCount(), 1u);

    SOCmnPointer<SODaSNode> again(new SODaSNodeDefault("Line1"));
    EXPECT_FALSE(root->addBranch(again.get()));
    EXPECT_EQ(root->findBranch("Line1").get(), plc.get());
    // A branch and a leaf may share a name.
    auto leaf = makeTag("Line1");
    EXPECT_TRUE(root->addLeaf(leaf.get()));
    EXPECT_EQ(root->findTag("Line1").get(), leaf.get());
}

TEST(AddressSpace, FindBranchIsNotRecursiveAndOrderIsKept)
{
    SOCmnPointer<SODaSNameSpaceRoot> root(new SODaSNameSpaceRoot);
    auto a = addBranch(*root, "B");
    addBranch(*root, "A");
    addBranch(*a, "Deep");
    EXPECT_FALSE(root->findBranch("Deep"));
    auto branches = root->getBranches();
    ASSERT_EQ(branches.size(), 2u);
    EXPECT_EQ(branches[0]->getName(), "B");
    EXPECT_EQ(branches[1]->getName(), "A");
}

TEST(AddressSpace, RemovingChildrenReleasesTheTree)
{
    SOCmnPointer<SODaSNameSpaceRoot> root(new SODaSNameSpaceRoot);
    auto plc = addBranch(*root, "P");
    auto tag = makeTag("T");
    plc->addLeaf(tag.get());
    root->removeAllChildren();
    EXPECT_EQ(tag->getRefCount(), 1u);
    EXPECT_EQ(tag->getParentBranch(), nullptr);
    EXPECT_EQ(plc->getRefCount(), 1u);
    EXPECT_EQ(root->getBranchCount(), 0u);
}

TEST(AddressSpace, TagCarriesTypeRightsDescriptionAndCache)
{
    auto tag = makeTag("T");
    tag->setNativeDatatype(orva::VT_ARRAY | orva::VT_I2);
    tag->setAccessRights(OPC_READABLE);
    tag->setDeviceIOMode(SODASTAG_DEVICEIO_QUEUE);
    SOCmnPointer<SODaSProperty> p(new SODaSProperty(SODAS_PROPERTY_ITEM_DESCRIPTION));
    SOCmnVariant text;
    text.setStringUtf8("Temp\xC3\xA9rature");
    p->setConstantValue(text);
    tag->addProperty(p.get());
    EXPECT_EQ(tag->getDescription(), "Temp\xC3\xA9rature");
    EXPECT_EQ(tag->getNativeDatatype(), orva::VT_ARRAY | orva::VT_I2);
    EXPECT_EQ(tag->getAccessRights(), OPC_READABLE);
    EXPECT_EQ(tag->getDeviceIOMode(), SODASTAG_DEVICEIO_QUEUE);
    auto cache = tag->getCache();
    ASSERT_TRUE(cache);
    EXPECT_EQ(cache->getDatatype(), orva::VT_ARRAY | orva::VT_I2);
    SOCmnVariant v;
    EXPECT_FALSE(cache->getValue(v));
    v.initArray(orva::VT_I2, 3);
    cache->set(v, OPC_QUALITY_UNCERTAIN);
    SOCmnVariant back;
    ASSERT_TRUE(cache->getValue(back));
    EXPECT_EQ(back.getArrayLength(), 3u);
    EXPECT_EQ(cache->getQuality(), OPC_QUALITY_UNCERTAIN);
    const auto seq = cache->getSequence();
    cache->setQuality(OPC_QUALITY_UNCERTAIN);  // no change
    EXPECT_EQ(cache->getSequence(), seq);
    cache->setQuality(OPC_QUALITY_BAD);
    EXPECT_GT(cache->getSequence(), seq);
}

TEST(AddressSpace, RequestCompletesOnceAndAbortsWhenDropped)
{
    struct Sink : SODaSRequestSink {
        int calls = 0;
        SODaSRequestResult last;
        void onRequestCompleted(const SODaSRequestResult& r, bool) noexcept override
        {
            ++calls;
            last = r;
        }
    };
    auto tag = makeTag("T");
    auto sink = std::make_shared<Sink>();
    {
        SOCmnPointer<SODaSRequest> r(
            new SODaSRequest(SODaSRequest::write, SODASREQUEST_TYPE_DEVICE, tag.get()));
        r->setSink(sink);
        EXPECT_FALSE(r->isStarted());
        EXPECT_TRUE(r->start());
        EXPECT_TRUE(r->isStarted());
        EXPECT_EQ(r->getObjectState() & SODASREQUEST_STATE_STARTED, SODASREQUEST_STATE_STARTED);
        EXPECT_TRUE(r->complete(E_FAIL, true, OPC_QUALITY_COMM_FAILURE, false, true));
        EXPECT_FALSE(r->isStarted());
        EXPECT_FALSE(r->complete(S_OK, false, 0, false, true));
        EXPECT_FALSE(r->start());
    }
    EXPECT_EQ(sink->calls, 1);
    EXPECT_EQ(sink->last.result, E_FAIL);
    EXPECT_EQ(sink->last.quality, OPC_QUALITY_COMM_FAILURE);

    {
        SOCmnPointer<SODaSRequest> r(
            new SODaSRequest(SODaSRequest::read, SODASREQUEST_TYPE_DEVICE, tag.get()));
        r->setSink(sink);
        r->start();
    }
    EXPECT_EQ(sink->calls, 2);
    EXPECT_EQ(sink->last.result, E_ABORT);
    EXPECT_EQ(sink->last.quality, OPC_QUALITY_BAD);
}
