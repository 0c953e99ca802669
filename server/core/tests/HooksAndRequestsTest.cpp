// Subscription changes and client requests, driven through the in-process client, as the
// communication thread finds them in the queues.

#include <atomic>
#include <thread>

#include "LoaderFixture.h"
#include "core/S7Creator.h"
#include "core/S7Plc.h"
#include "core/S7Tag.h"
#include "opc/client/ServerConnection.h"

using namespace orva::opc;

using namespace orva;
using namespace orva::core;
using namespace orva::core::test;
using namespace orva::opc::client;
using namespace std::chrono_literals;
using config::ServerKind;

namespace {

class Server : public LoaderFixture {
protected:
    void SetUp() override
    {
        entry->setCreator(SOCmnPointer<SODaSCreator>(new S7Creator(queues)).get());
        ASSERT_TRUE(load(
            ServerKind::Tornel,
            tornelFile("<PLC name=\"Line1\" address=\"1.1.1.1\"><tags><Drives>" + tagXml("Speed", "VT_I2") +
                       tagXml("Torque", "VT_I2", 2) + "</Drives>" + tagXml("Ro", "VT_I2", 4, 1, "READ") +
                       "</tags><redundancy><addressB>1.1.1.2</addressB></redundancy></PLC>")));
        ASSERT_NE(entry->start(), 0);
        connection = ServerConnection::connect(*entry);
        ASSERT_TRUE(connection);
        speed =
            SOCmnPointer<S7Tag>(shareRef(dynamic_cast<S7Tag*>(root->findTag("Line1.Drives.Speed").get())));
        ASSERT_TRUE(speed);
    }
    void TearDown() override { connection.reset(); }

    std::vector<CyclicChange> takeChanges()
    {
        std::lock_guard lock(queues->queueLock);
        return std::exchange(queues->cyclicChangeQueue, {});
    }
    std::size_t clientItems(S7Tag& tag)
    {
        std::lock_guard lock(queues->queueLock);
        return tag.clientItems.getCount();
    }

    std::unique_ptr<ServerConnection> connection;
    SOCmnPointer<S7Tag> speed;
};

SOCmnVariant i2(int16_t v)
{
    SOCmnVariant x;
    x.setI2(v);
    return x;
}

}  // namespace

TEST_F(Server, ActivationAndDeactivationQueueOneChangeEach)
{
    auto group = connection->addGroup("g", 250);
    auto item = group->addItem("Line1.Drives.Speed");
    ASSERT_EQ(item.result, S_OK);
    auto changes = takeChanges();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].activate, 1u);
    EXPECT_EQ(changes[0].rateChanged, 0u);
    EXPECT_EQ(changes[0].updateRate, 250u);
    EXPECT_EQ(changes[0].tag.get(), speed.get());
    EXPECT_EQ(clientItems(*speed), 1u);

    group->setItemActive(item.handle, false);
    changes = takeChanges();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].activate, 0u);
    EXPECT_EQ(changes[0].updateRate, 0u);
    EXPECT_EQ(clientItems(*speed), 0u);

    // Adding an inactive item queues nothing.
    group->addItem("Line1.Drives.Torque", false);
    EXPECT_TRUE(takeChanges().empty());
}

TEST_F(Server, TwoGroupsOnOneTagKeepTwoClientItems)
{
    auto fast = connection->addGroup("fast", 200);
    auto slow = connection->addGroup("slow", 1000);
    auto a = fast->addItem("Line1.Drives.Speed");
    slow->addItem("Line1.Drives.Speed");
    auto changes = takeChanges();
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].updateRate, 200u);
    EXPECT_EQ(changes[1].updateRate, 1000u);
    EXPECT_EQ(clientItems(*speed), 2u);
    fast->removeItem(a.handle);
    EXPECT_EQ(clientItems(*speed), 1u);
    EXPECT_EQ(takeChanges().size(), 1u);
}

TEST_F(Server, RateChangesQueueOnePerItemIncludingInactiveOnes)
{
    auto group = connection->addGroup("g", 100);
    group->addItem("Line1.Drives.Speed");
    group->addItem("Line1.Drives.Torque", false);
    group->addItem("Line1.Ro");
    takeChanges();

    group->setUpdateRate(100);
    EXPECT_TRUE(takeChanges().empty());

    group->setUpdateRate(500);
    auto changes = takeChanges();
    ASSERT_EQ(changes.size(), 3u);
    for (const auto& c : changes) {
        EXPECT_EQ(c.activate, 0u);
        EXPECT_EQ(c.rateChanged, 1u);
        EXPECT_EQ(c.updateRate, 500u);
    }
    EXPECT_EQ(changes[0].tag->getName(), "Speed");
    EXPECT_EQ(changes[1].tag->getName(), "Torque");
    EXPECT_EQ(changes[2].tag->getName(), "Ro");
    EXPECT_EQ(group->updateRate(), 500u);
}

TEST_F(Server, ClosingAConnectionDeactivatesItsActiveItems)
{
    auto group = connection->addGroup("g", 100);
    group->addItem("Line1.Drives.Speed");
    group->addItem("Line1.Drives.Speed");
    takeChanges();
    EXPECT_EQ(clientItems(*speed), 2u);
    group.reset();
    auto changes = takeChanges();
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].activate, 0u);
    EXPECT_EQ(changes[1].activate, 0u);
    EXPECT_EQ(clientItems(*speed), 0u);
}

TEST_F(Server, DeviceReadsAreQueuedCacheReadsAnsweredAtOnce)
{
    auto group = connection->addGroup("g", 100);
    auto item = group->addItem("Line1.Drives.Speed");
    speed->getCache()->set(i2(42), OPC_QUALITY_GOOD);

    auto cached = group->readCache(item.handle);
    EXPECT_EQ(cached.result, S_OK);
    EXPECT_EQ(cached.value.toInt64(), 42);

    auto pending = group->readDevice(item.handle);
    TagRequest queued;
    {
        std::lock_guard lock(queues->queueLock);
        EXPECT_TRUE(queues->cyclicChangeQueue.size() == 1);
        ASSERT_EQ(queues->readRequestQueue.size(), 1u);
        EXPECT_TRUE(queues->writeRequestQueue.empty());
        queued = queues->readRequestQueue.front();
        queues->readRequestQueue.clear();
    }
    EXPECT_EQ(queued.tag.get(), speed.get());
    EXPECT_TRUE(queued.request->isStarted());
    EXPECT_FALSE(pending->isDone());
    // The communication thread converts the bytes into the cache and completes under queueLock.
    std::thread comm([&] {
        std::lock_guard lock(queues->queueLock);
        speed->getCache()->set(i2(43), OPC_QUALITY_GOOD);
        queued.request->complete(S_OK, false, OPC_QUALITY_UNCERTAIN, false, true);
    });
    comm.join();
    auto done = pending->wait(10s);
    ASSERT_TRUE(done);
    EXPECT_EQ(done->value.toInt64(), 43);
    EXPECT_EQ(done->quality, OPC_QUALITY_GOOD);

    // A read of a cache type handed to the tag is answered without the queue.
    SOCmnPointer<SODaSRequest> direct(
        new SODaSRequest(SODaSRequest::read, SODASREQUEST_TYPE_CACHE, speed.get()));
    speed->handleRequest(*direct);
    EXPECT_TRUE(direct->isCompleted());
    SOCmnPointer<SODaSRequest> refresh(
        new SODaSRequest(SODaSRequest::read, SODASREQUEST_TYPE_DEVICE_REFRESH, speed.get()));
    speed->handleRequest(*refresh);
    std::lock_guard lock(queues->queueLock);
    EXPECT_EQ(queues->readRequestQueue.size(), 1u);
    EXPECT_EQ(refresh->getRefCount(), 2u);
    queues->readRequestQueue.clear();
}

TEST_F(Server, WritesAreQueuedStartedAndCompletedByTheCommunicationThread)
{
    auto group = connection->addGroup("g", 100);
    auto item = group->addItem("Line1.Drives.Speed");
    auto ro = group->addItem("Line1.Ro");
    EXPECT_EQ(group->write(ro.handle, i2(1))->wait(5s)->result, OPC_E_BADRIGHTS);

    auto write = group->write(item.handle, i2(7));
    TagRequest queued;
    {
        std::lock_guard lock(queues->queueLock);
        ASSERT_EQ(queues->writeRequestQueue.size(), 1u);
        queued = queues->writeRequestQueue.front();
        queues->writeRequestQueue.clear();
    }
    EXPECT_TRUE(queued.request->isStarted());
    EXPECT_EQ(queued.request->getWriteValue().toInt64(), 7);
    // The cache keeps its value until the next cyclic read.
    SOCmnVariant v;
    EXPECT_FALSE(speed->getCache()->getValue(v));
    {
        std::lock_guard lock(queues->queueLock);
        ASSERT_TRUE(queued.request->isStarted());
        queued.request->complete(E_FAIL, true, OPC_QUALITY_COMM_FAILURE, false, true);
    }
    auto done = write->wait(10s);
    ASSERT_TRUE(done);
    EXPECT_EQ(done->result, E_FAIL);
    EXPECT_EQ(done->quality, OPC_QUALITY_COMM_FAILURE);
}

TEST_F(Server, TheWritesOfOneCallReachTheCommunicationThreadInOneStep)
{
    auto group = connection->addGroup("g", 100);
    const auto speedItem = group->addItem("Line1.Drives.Speed");
    const auto torqueItem = group->addItem("Line1.Drives.Torque");
    // A stand-in for the communication thread that takes the queue as fast as it can: it must
    // never find half of a call.
    std::atomic<bool> stop{false};
    std::vector<size_t> taken;
    std::thread comm([&] {
        while (!stop.load()) {
            std::lock_guard lock(queues->queueLock);
            if (queues->writeRequestQueue.empty()) continue;
            taken.push_back(queues->writeRequestQueue.size());
            for (auto& queued : queues->writeRequestQueue)
                queued.request->complete(S_OK, true, OPC_QUALITY_GOOD, true, true);
            queues->writeRequestQueue.clear();
        }
    });
    for (int16_t i = 0; i < 300; ++i) {
        std::vector<Group::WriteOrder> orders;
        orders.push_back({speedItem.handle, i2(i), {}});
        orders.push_back({torqueItem.handle, i2(static_cast<int16_t>(-i)), {}});
        for (const auto& request : group->writeTogether(std::move(orders))) {
            const auto done = request->wait(10s);
            ASSERT_TRUE(done);
            EXPECT_EQ(done->result, S_OK);
        }
    }
    stop.store(true);
    comm.join();
    ASSERT_EQ(taken.size(), 300u);
    for (const size_t n : taken)
        EXPECT_EQ(n, 2u);
}

TEST_F(Server, RequestsAfterTheQueuesAreGoneFailInsteadOfWaitingForEver)
{
    auto group = connection->addGroup("g", 100);
    const auto item = group->addItem("Line1.Drives.Speed");
    entry->setCreator(SOCmnPointer<SODaSCreator>(new SODaSCreator).get());
    queues.reset();  // the server is being torn down: nothing serves its queues any more
    const auto write = group->write(item.handle, i2(1))->wait(5s);
    ASSERT_TRUE(write);
    EXPECT_EQ(write->result, E_FAIL);
    const auto read = group->readDevice(item.handle)->wait(5s);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->result, E_FAIL);
}

TEST_F(Server, CttModeConfirmsCacheWritesBeforeQueuingThem)
{
    queues->cttMode = true;
    auto group = connection->addGroup("g", 100);
    auto item = group->addItem("Line1.Drives.Speed");

    auto early = group->write(item.handle, i2(1), {}, SODASREQUEST_TYPE_CACHE);
    auto done = early->wait(5s);
    ASSERT_TRUE(done);
    EXPECT_EQ(done->result, S_OK);
    auto device = group->write(item.handle, i2(2), {}, SODASREQUEST_TYPE_DEVICE_REFRESH);
    auto odd = group->write(item.handle, i2(3), {}, 0x1234);
    std::lock_guard lock(queues->queueLock);
    ASSERT_EQ(queues->writeRequestQueue.size(), 3u);
    // Still written, but not completed again when its block runs.
    EXPECT_FALSE(queues->writeRequestQueue[0].request->isStarted());
    EXPECT_TRUE(queues->writeRequestQueue[0].request->isCompleted());
    EXPECT_TRUE(queues->writeRequestQueue[1].request->isStarted());
    // A write of an unknown type is started too, so the communication thread completes it.
    EXPECT_TRUE(queues->writeRequestQueue[2].request->isStarted());
    EXPECT_FALSE(device->isDone());
    EXPECT_FALSE(odd->isDone());
    queues->writeRequestQueue.clear();
}

TEST_F(Server, WithoutCttModeCacheWritesAreStartedLikeOthers)
{
    auto group = connection->addGroup("g", 100);
    auto item = group->addItem("Line1.Drives.Speed");
    auto write = group->write(item.handle, i2(1), {}, SODASREQUEST_TYPE_CACHE);
    std::lock_guard lock(queues->queueLock);
    ASSERT_EQ(queues->writeRequestQueue.size(), 1u);
    EXPECT_TRUE(queues->writeRequestQueue[0].request->isStarted());
    EXPECT_FALSE(write->isDone());
    queues->writeRequestQueue.clear();
}

TEST_F(Server, ServerStateTagIsPublishedAndBrowsable)
{
    std::vector<BrowseElement> children;
    ASSERT_EQ(connection->browse("Line1", children), S_OK);
    std::vector<std::string> names;
    for (const auto& c : children)
        names.push_back(c.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Drives", "Ro", "ServerRedundancyState"}));
    auto group = connection->addGroup("g", 100);
    EXPECT_EQ(group->addItem("Line1.ServerRedundancyState").result, S_OK);
    EXPECT_EQ(group->addItem("Line1.PlcRedundancyStatus").result, OPC_E_UNKNOWNITEMID);
}

TEST_F(Server, DataChangesReachTheClientWhenTheCacheIsUpdated)
{
    std::mutex m;
    std::vector<int64_t> values;
    auto group = connection->addGroup("g", 20, true, [&](const std::vector<ItemValue>& changes) {
        std::lock_guard lock(m);
        for (const auto& c : changes)
            if (c.quality == OPC_QUALITY_GOOD) values.push_back(c.value.toInt64());
    });
    group->addItem("Line1.Drives.Speed");
    speed->getCache()->set(i2(11), OPC_QUALITY_GOOD);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
        {
            std::lock_guard lock(m);
            if (!values.empty()) break;
        }
        std::this_thread::sleep_for(5ms);
    }
    std::lock_guard lock(m);
    ASSERT_FALSE(values.empty());
    EXPECT_EQ(values.back(), 11);
}
