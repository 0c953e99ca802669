#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "ToolkitTestSupport.h"
#include "opc/SODaSEntry.h"
#include "opc/client/ServerConnection.h"

using namespace orva::opc;

using namespace orva::opc::client;
using namespace std::chrono_literals;

namespace {

using orva::opc::test::eventually;
using orva::opc::test::HookLog;
using orva::opc::test::LoggingCreator;

class LoggingItem : public SODaSItemDefault {
public:
    explicit LoggingItem(HookLog& log) : log_(log) {}
    void onSetActive(bool active) override
    {
        auto group = getParentGroup();
        log_.add(std::string(active ? "activate " : "deactivate ") + getItemTag()->getName() + " rate " +
                 std::to_string(group ? group->getUpdateRate() : 0));
    }

private:
    HookLog& log_;
};

class LoggingGroup : public SODaSGroupDefault {
public:
    explicit LoggingGroup(HookLog& log) : log_(log) {}
    void onSetUpdateRate(uint32_t rate) override
    {
        log_.add("rate " + std::to_string(getUpdateRate()) + "->" + std::to_string(rate));
    }

private:
    HookLog& log_;
};

// A device tag whose requests wait in a list until the test completes them.
class QueueTag : public SODaSTag {
public:
    std::mutex mutex;
    std::deque<SOCmnPointer<SODaSRequest>> pending;
    void handleRequest(SODaSRequest& r) override
    {
        r.start();
        std::lock_guard g(mutex);
        pending.push_back(shareRef(&r));
    }
    SOCmnPointer<SODaSRequest> next()
    {
        std::lock_guard g(mutex);
        if (pending.empty()) return {};
        auto r = pending.front();
        pending.pop_front();
        return r;
    }

protected:
    ~QueueTag() override = default;
};

class CountingHandler : public SOSrvEventHandler {
public:
    std::atomic<int> released{0};
    std::atomic<int> last{0};
    void onReleasedOPCObject() override { ++released; }
    void onReleasedLastOPCObject() override { ++last; }
};

class ClientApi : public ::testing::Test {
protected:
    void SetUp() override
    {
        entry.reset(new SODaSEntry);
        entry->setCreator(
            SOCmnPointer<SODaSCreator>(new LoggingCreator<LoggingGroup, LoggingItem>(log)).get());
        handler.reset(new CountingHandler);
        entry->setEventHandler(handler.get());
        auto root = entry->getNameSpaceRoot();
        SOCmnPointer<SODaSNode> line(new SODaSNodeDefault("Line1"));
        root->addBranch(line.get());
        SOCmnPointer<SODaSNode> drives(new SODaSNodeDefault("Drives"));
        line->addBranch(drives.get());
        speed.reset(new QueueTag);
        speed->setName("Speed");
        speed->setNativeDatatype(orva::VT_I2);
        speed->setDeviceIOMode(SODASTAG_DEVICEIO_QUEUE);
        drives->addLeaf(speed.get());
        plain.reset(new SODaSTag);
        plain->setName("Plain");
        plain->setNativeDatatype(orva::VT_UI1);
        plain->setAccessRights(OPC_READABLE);
        line->addLeaf(plain.get());
        ASSERT_NE(entry->start(), 0);
    }
    void TearDown() override
    {
        // A request a test left waiting counts its tag, which holds it: let it go.
        {
            std::lock_guard g(speed->mutex);
            speed->pending.clear();
        }
        entry->terminate();
    }

    HookLog log;
    SOCmnPointer<SODaSEntry> entry;
    SOCmnPointer<CountingHandler> handler;
    SOCmnPointer<QueueTag> speed;
    SOCmnPointer<SODaSTag> plain;
};

SOCmnVariant i2(int16_t v)
{
    SOCmnVariant x;
    x.setI2(v);
    return x;
}

}  // namespace

TEST_F(ClientApi, ConnectionIsListedAndItsReleaseNotifiesTheHandler)
{
    auto a = ServerConnection::connect(*entry);
    auto b = ServerConnection::connect(*entry);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(entry->getObjectRoot()->copyServerList().size(), 2u);
    a.reset();
    EXPECT_EQ(handler->released.load(), 1);
    EXPECT_EQ(handler->last.load(), 0);
    b->disconnect();
    b->disconnect();
    EXPECT_FALSE(b->isConnected());
    EXPECT_EQ(handler->released.load(), 2);
    EXPECT_EQ(handler->last.load(), 1);
    EXPECT_TRUE(entry->getObjectRoot()->copyServerList().empty());
    EXPECT_FALSE(b->addGroup("g", 100));
}

TEST_F(ClientApi, UnknownItemIdsGiveAClearStatus)
{
    auto c = ServerConnection::connect(*entry);
    auto g = c->addGroup("g", 100);
    EXPECT_EQ(g->addItem("Line1.Drives.Nope").result, OPC_E_UNKNOWNITEMID);
    EXPECT_EQ(g->addItem("Line1.Drives").result, OPC_E_UNKNOWNITEMID);
    EXPECT_EQ(g->addItem("").result, OPC_E_INVALIDITEMID);
    auto ok = g->addItem("Line1.Drives.Speed", false);
    EXPECT_EQ(ok.result, S_OK);
    EXPECT_EQ(ok.nativeType, orva::VT_I2);
    EXPECT_EQ(ok.accessRights, OPC_READABLE | OPC_WRITEABLE);
    EXPECT_EQ(g->setItemActive(999, true), OPC_E_INVALIDHANDLE);
    EXPECT_EQ(g->removeItem(999), OPC_E_INVALIDHANDLE);
}

TEST_F(ClientApi, ActivationHooksSeeEveryChangeAndRemovalWhileActive)
{
    auto c = ServerConnection::connect(*entry);
    auto g = c->addGroup("g", 250);
    auto item = g->addItem("Line1.Drives.Speed", false);
    EXPECT_TRUE(log.take().empty());
    g->setItemActive(item.handle, true);
    g->setItemActive(item.handle, true);  // no change, no hook
    g->setItemActive(item.handle, false);
    g->setItemActive(item.handle, true);
    EXPECT_EQ(log.take(), (std::vector<std::string>{"activate Speed rate 250", "deactivate Speed rate 250",
                                                    "activate Speed rate 250"}));
    EXPECT_EQ(g->removeItem(item.handle), S_OK);
    EXPECT_EQ(log.take(), (std::vector<std::string>{"deactivate Speed rate 250"}));

    g->addItem("Line1.Drives.Speed");
    g->addItem("Line1.Plain");
    log.take();
    c.reset();  // closing the connection deactivates both
    auto lines = log.take();
    EXPECT_EQ(lines.size(), 2u);
    EXPECT_EQ(handler->last.load(), 1);
}

TEST_F(ClientApi, RateHookRunsBeforeTheGroupStoresTheRate)
{
    auto c = ServerConnection::connect(*entry);
    auto g = c->addGroup("g", 100);
    g->setUpdateRate(500);
    EXPECT_EQ(log.take(), (std::vector<std::string>{"rate 100->500"}));
    EXPECT_EQ(g->updateRate(), 500u);

    entry->setMinUpdateRate(50);
    uint32_t granted = 0;
    EXPECT_EQ(g->setUpdateRate(10, &granted), S_FALSE);
    EXPECT_EQ(granted, 50u);
    EXPECT_EQ(log.take(), (std::vector<std::string>{"rate 500->50"}));
}

TEST_F(ClientApi, DataChangesArriveForActiveItemsOnlyWhenChanged)
{
    std::mutex m;
    std::vector<ItemValue> seen;
    auto c = ServerConnection::connect(*entry);
    auto g = c->addGroup("g", 20, true, [&](const std::vector<ItemValue>& values) {
        std::lock_guard lock(m);
        seen.insert(seen.end(), values.begin(), values.end());
    });
    auto item = g->addItem("Line1.Drives.Speed", true, 77);
    auto count = [&] {
        std::lock_guard lock(m);
        return seen.size();
    };
    // The first turn sends the current value (none yet, quality waiting).
    ASSERT_TRUE(eventually([&] { return count() == 1; }));
    speed->getCache()->set(i2(5), OPC_QUALITY_GOOD);
    ASSERT_TRUE(eventually([&] { return count() == 2; }));
    {
        std::lock_guard lock(m);
        EXPECT_EQ(seen[1].serverHandle, item.handle);
        EXPECT_EQ(seen[1].clientHandle, 77u);
        EXPECT_EQ(seen[1].value.toInt64(), 5);
        EXPECT_EQ(seen[1].quality, OPC_QUALITY_GOOD);
    }
    // The same value again is not a change; a quality change is.
    speed->getCache()->set(i2(5), OPC_QUALITY_GOOD);
    speed->getCache()->setQuality(OPC_QUALITY_COMM_FAILURE);
    ASSERT_TRUE(eventually([&] { return count() == 3; }));
    {
        std::lock_guard lock(m);
        EXPECT_EQ(seen[2].quality, OPC_QUALITY_COMM_FAILURE);
    }
    // An inactive item gets nothing.
    g->setItemActive(item.handle, false);
    speed->getCache()->set(i2(6), OPC_QUALITY_GOOD);
    g->setItemActive(item.handle, true);
    ASSERT_TRUE(eventually([&] { return count() == 4; }));
    {
        std::lock_guard lock(m);
        EXPECT_EQ(seen[3].value.toInt64(), 6);
    }
    // Several changes within one turn of a slow group arrive as one value, the latest.
    g->setUpdateRate(400);
    for (int16_t v = 10; v < 20; ++v)
        speed->getCache()->set(i2(v), OPC_QUALITY_GOOD);
    ASSERT_TRUE(eventually([&] {
        std::lock_guard lock(m);
        return !seen.empty() && seen.back().value.toInt64() == 19;
    }));
    EXPECT_LT(count(), 14u);
}

TEST_F(ClientApi, CacheReadsAnswerAtOnceAndRightsAreChecked)
{
    auto c = ServerConnection::connect(*entry);
    auto g = c->addGroup("g", 100);
    auto s = g->addItem("Line1.Drives.Speed");
    auto p = g->addItem("Line1.Plain");
    speed->getCache()->set(i2(-3), OPC_QUALITY_GOOD);
    auto r = g->readCache(s.handle);
    EXPECT_EQ(r.result, S_OK);
    EXPECT_EQ(r.value.toInt64(), -3);
    EXPECT_EQ(r.quality, OPC_QUALITY_GOOD);
    EXPECT_TRUE(speed->pending.empty());
    auto w = g->write(p.handle, i2(1));
    auto done = w->wait(5s);
    ASSERT_TRUE(done);
    EXPECT_EQ(done->result, OPC_E_BADRIGHTS);
    EXPECT_EQ(g->write(s.handle, i2(1), {}, SODASREQUEST_TYPE_DEVICE)->isDone(), false);
    SOCmnVariant big;
    big.setI4(70000);
    EXPECT_EQ(g->write(s.handle, big)->wait(5s)->result, DISP_E_OVERFLOW);
}

TEST_F(ClientApi, DeviceRequestsCompleteAsynchronouslyWithCallback)
{
    auto c = ServerConnection::connect(*entry);
    auto g = c->addGroup("g", 100);
    auto s = g->addItem("Line1.Drives.Speed");
    std::atomic<int> callbacks{0};
    std::atomic<bool> onWorker{false};
    const auto testThread = std::this_thread::get_id();
    auto read = g->readDevice(s.handle, [&](const RequestResult& r) {
        onWorker = std::this_thread::get_id() != testThread;
        EXPECT_EQ(r.value.toInt64(), 9);
        ++callbacks;
    });
    EXPECT_FALSE(read->wait(20ms));
    auto req = speed->next();
    ASSERT_TRUE(req);
    EXPECT_EQ(req->getOperation(), SODaSRequest::read);
    EXPECT_EQ(req->getType(), SODASREQUEST_TYPE_DEVICE);
    EXPECT_TRUE(req->isStarted());
    speed->getCache()->set(i2(9), OPC_QUALITY_GOOD);
    std::thread completer([req] { req->complete(S_OK, false, OPC_QUALITY_UNCERTAIN, false, true); });
    completer.join();
    auto done = read->wait(10s);
    ASSERT_TRUE(done);
    EXPECT_EQ(done->result, S_OK);
    EXPECT_EQ(done->quality, OPC_QUALITY_GOOD);
    ASSERT_TRUE(eventually([&] { return callbacks == 1; }));
    EXPECT_TRUE(onWorker.load());

    SOCmnVariant value;
    value.setR8(12.0);  // converted to the tag's VT_I2
    auto write = g->write(s.handle, value);
    auto wreq = speed->next();
    ASSERT_TRUE(wreq);
    EXPECT_EQ(wreq->getWriteValue().getType(), orva::VT_I2);
    EXPECT_EQ(wreq->getWriteValue().toInt64(), 12);
    wreq->complete(E_FAIL, true, OPC_QUALITY_COMM_FAILURE, false, true);
    auto wdone = write->wait(10s);
    ASSERT_TRUE(wdone);
    EXPECT_EQ(wdone->result, E_FAIL);
    EXPECT_EQ(wdone->quality, OPC_QUALITY_COMM_FAILURE);
}

TEST_F(ClientApi, RequestsOfAGoneClientStillCompleteSafely)
{
    auto c = ServerConnection::connect(*entry);
    auto g = c->addGroup("g", 100);
    auto s = g->addItem("Line1.Drives.Speed");
    std::atomic<int> callbacks{0};
    auto write = g->write(s.handle, i2(1), [&](const RequestResult&) { ++callbacks; });
    auto dropped = g->readDevice(s.handle);
    g.reset();
    c.reset();
    auto req = speed->next();
    ASSERT_TRUE(req);
    EXPECT_TRUE(req->complete(S_OK, false, OPC_QUALITY_UNCERTAIN, false, true));
    EXPECT_TRUE(write->isDone());
    // The server drops the other one without completing it: the client still hears of it.
    speed->next().reset();
    auto r = dropped->wait(5s);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->result, E_ABORT);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(callbacks.load(), 0);
}

TEST_F(ClientApi, DirectTagsAnswerDeviceRequestsFromTheCache)
{
    plain->setAccessRights(OPC_READABLE | OPC_WRITEABLE);
    auto c = ServerConnection::connect(*entry);
    auto g = c->addGroup("g", 100);
    auto p = g->addItem("Line1.Plain");
    SOCmnVariant v;
    v.setUI1(200);
    ASSERT_EQ(g->write(p.handle, v)->wait(5s)->result, S_OK);
    auto r = g->readDevice(p.handle)->wait(5s);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->value.toInt64(), 200);
    EXPECT_EQ(r->quality, OPC_QUALITY_GOOD);
}

TEST_F(ClientApi, BrowseListsBranchesThenLeavesWithAttributes)
{
    auto c = ServerConnection::connect(*entry);
    std::vector<BrowseElement> children;
    ASSERT_EQ(c->browse("", children), S_OK);
    ASSERT_EQ(children.size(), 1u);
    EXPECT_TRUE(children[0].isBranch);
    EXPECT_EQ(children[0].itemId, "Line1");
    ASSERT_EQ(c->browse("Line1", children), S_OK);
    ASSERT_EQ(children.size(), 2u);
    EXPECT_EQ(children[0].name, "Drives");
    EXPECT_FALSE(children[1].isBranch);
    EXPECT_EQ(children[1].itemId, "Line1.Plain");
    EXPECT_EQ(children[1].nativeType, orva::VT_UI1);
    EXPECT_EQ(children[1].accessRights, OPC_READABLE);
    EXPECT_EQ(c->browse("Line2", children), OPC_E_UNKNOWNITEMID);
    BrowseElement e;
    ASSERT_EQ(c->getItemInfo("Line1.Drives.Speed", e), S_OK);
    EXPECT_EQ(e.name, "Speed");
    ASSERT_EQ(c->getItemInfo("Line1.Drives", e), S_OK);
    EXPECT_TRUE(e.isBranch);
    EXPECT_EQ(c->getItemInfo("Nope", e), OPC_E_UNKNOWNITEMID);
}

TEST_F(ClientApi, ShutdownRequestReachesEveryClient)
{
    std::atomic<int> heard{0};
    std::string reason;
    std::mutex m;
    auto cb = [&](const std::string& r) {
        std::lock_guard lock(m);
        reason = r;
        ++heard;
    };
    auto a = ServerConnection::connect(*entry, cb);
    auto b = ServerConnection::connect(*entry, cb);
    entry->shutdownAllClients("Server shutdown");
    ASSERT_TRUE(eventually([&] { return heard == 2; }));
    std::lock_guard lock(m);
    EXPECT_EQ(reason, "Server shutdown");
}

TEST_F(ClientApi, ACallbackMayCloseItsOwnConnection)
{
    std::unique_ptr<ServerConnection> c;
    std::atomic<bool> closed{false};
    c = ServerConnection::connect(*entry, [&](const std::string&) {
        c->disconnect();
        closed = true;
    });
    auto g = c->addGroup("g", 100);
    g->addItem("Line1.Plain");
    entry->shutdownAllClients("bye");
    ASSERT_TRUE(eventually([&] { return closed.load(); }));
    EXPECT_EQ(handler->last.load(), 1);
}

TEST_F(ClientApi, TerminateDisconnectsRemainingClients)
{
    auto c = ServerConnection::connect(*entry);
    auto g = c->addGroup("g", 100);
    g->addItem("Line1.Drives.Speed");
    log.take();
    entry->terminate();
    EXPECT_EQ(log.take(), (std::vector<std::string>{"deactivate Speed rate 100"}));
    EXPECT_FALSE(c->isConnected());
    EXPECT_EQ(g->addItem("Line1.Plain").result, OPC_E_NOTCONNECTED);
    EXPECT_FALSE(ServerConnection::connect(*entry));
}
