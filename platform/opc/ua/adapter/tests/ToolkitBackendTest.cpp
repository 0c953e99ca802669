// The toolkit backend against a real toolkit entry whose tags hand device reads and writes to a
// fake device thread, the way the server's communication thread receives them.
#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <thread>

#include "ToolkitTestSupport.h"
#include "opc/SODaSCreator.h"
#include "opc/SODaSEntry.h"
#include "opc/SODaSRequest.h"
#include "opc/SODaSTag.h"
#include "opcua/PlcConnectionEvents.h"
#include "opcua/StatusCodes.h"
#include "opcua/ToolkitBackend.h"
#include "opcua/ToolkitValues.h"

using namespace orva::opc;

using namespace orva::opcua;
using namespace std::chrono_literals;

namespace {

using orva::opc::test::eventually;
using orva::opc::test::HookLog;
using orva::opc::test::LoggingCreator;

// Completes the tags' requests on a thread of its own: reads refresh the cache from "memory",
// writes store into it; while offline both fail with the communication-failure quality.
class FakeDevice {
public:
    FakeDevice() : thread_([this] { run(); }) {}
    ~FakeDevice()
    {
        {
            std::lock_guard g(lock_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    void submit(SODaSRequest& request)
    {
        {
            std::lock_guard g(lock_);
            queue_.push_back(shareRef(&request));
        }
        wake_.notify_all();
    }
    void setOnline(bool online)
    {
        std::lock_guard g(lock_);
        online_ = online;
    }
    std::vector<std::string> writes()
    {
        std::lock_guard g(lock_);
        return writes_;
    }

private:
    void run()
    {
        std::unique_lock g(lock_);
        while (true) {
            wake_.wait(g, [&] { return stop_ || !queue_.empty(); });
            if (stop_) {
                for (auto& r : queue_)
                    r->complete(E_ABORT, true, OPC_QUALITY_BAD, false, true);
                return;
            }
            auto r = std::move(queue_.front());
            queue_.pop_front();
            auto tag = r->getItemTag();
            auto cache = tag->getCache();
            if (!online_) {
                cache->setQuality(OPC_QUALITY_COMM_FAILURE);
                r->complete(E_FAIL, true, OPC_QUALITY_COMM_FAILURE, false, true);
            } else if (r->getOperation() == SODaSRequest::write) {
                writes_.push_back(tag->getItemID() + "=" + std::to_string(r->getWriteValue().toDouble()));
                r->complete(S_OK, false, OPC_QUALITY_GOOD, true, true);
            } else {
                SOCmnVariant v;
                cache->getValue(v);
                cache->set(v, OPC_QUALITY_GOOD);
                r->complete(S_OK, false, OPC_QUALITY_GOOD, false, true);
            }
        }
    }

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<SOCmnPointer<SODaSRequest>> queue_;
    std::vector<std::string> writes_;
    bool online_ = true;
    bool stop_ = false;
    std::thread thread_;
};

class DeviceTag : public SODaSTag {
public:
    explicit DeviceTag(FakeDevice& device) : device_(device) { setDeviceIOMode(SODASTAG_DEVICEIO_QUEUE); }
    void handleRequest(SODaSRequest& request) override { device_.submit(request); }

private:
    FakeDevice& device_;
};

// Group and item hooks, as the server's own classes have them.
class LoggingGroup : public SODaSGroupDefault {
public:
    explicit LoggingGroup(HookLog& log) : log_(log) {}
    void onSetUpdateRate(uint32_t rate) override { log_.add("rate " + std::to_string(rate)); }

private:
    HookLog& log_;
};

class LoggingItem : public SODaSItemDefault {
public:
    explicit LoggingItem(HookLog& log) : log_(log) {}
    void onSetActive(bool active) override
    {
        log_.add((active ? "+" : "-") + getItemTag()->getItemID() + "@" +
                 std::to_string(getParentGroup()->getUpdateRate()));
    }

private:
    HookLog& log_;
};

class LastRelease : public SOSrvEventHandler {
public:
    std::atomic<int> count{0};
    void onReleasedLastOPCObject() override { ++count; }
};

class ToolkitBackendTest : public ::testing::Test {
protected:
    ToolkitBackendTest() : entry(new SODaSEntry), handler(new LastRelease)
    {
        entry->setCreator(
            SOCmnPointer<SODaSCreator>(new LoggingCreator<LoggingGroup, LoggingItem>(hooks)).get());
        entry->setEventHandler(handler.get());
        entry->setMinUpdateRate(50);
        auto root = entry->getNameSpaceRoot();
        SOCmnPointer<SODaSNode> line(new SODaSNodeDefault("Line1"));
        SOCmnPointer<SODaSNode> drives(new SODaSNodeDefault("Drives"));
        root->addBranch(line.get());
        line->addBranch(drives.get());
        addTag(*drives, "Speed", orva::VT_R4, float2(12.5f), 3, "Drive speed");
        addTag(*drives, "Running", orva::VT_BOOL, bool1(true), 1, "");
        SOCmnVariant array;
        array.initArray(orva::VT_I2, 4);
        array.setArrayInt(2, -7);
        addTag(*line, "Levels", orva::VT_I2 | orva::VT_ARRAY, array, 3, "");
        SOCmnVariant text;
        text.setStringUtf8("Grüße");
        addTag(*line, "Text", orva::VT_BSTR, text, 3, "");
        addTag(*line, "Secret", orva::VT_I4, int4(1), 2, "");
        EXPECT_NE(entry->start(), 0);
        backend = std::make_unique<ToolkitBackend>(*entry);
    }
    ~ToolkitBackendTest() override
    {
        backend.reset();
        entry->terminate();
    }

    static SOCmnVariant float2(float f)
    {
        SOCmnVariant v;
        v.setR4(f);
        return v;
    }
    static SOCmnVariant bool1(bool b)
    {
        SOCmnVariant v;
        v.setBool(b);
        return v;
    }
    static SOCmnVariant int4(int32_t i)
    {
        SOCmnVariant v;
        v.setI4(i);
        return v;
    }

    void addTag(SODaSNode& parent, const std::string& name, VarType type, const SOCmnVariant& value,
                uint32_t rights, const std::string& comment)
    {
        SOCmnPointer<DeviceTag> tag(new DeviceTag(device));
        tag->setName(name);
        tag->setNativeDatatype(type);
        tag->setAccessRights(rights);
        if (!comment.empty()) {
            SOCmnPointer<SODaSProperty> p(new SODaSProperty(SODAS_PROPERTY_ITEM_DESCRIPTION));
            SOCmnVariant c;
            c.setStringUtf8(comment);
            p->setConstantValue(c);
            tag->addProperty(p.get());
        }
        tag->getCache()->set(value, OPC_QUALITY_GOOD);
        parent.addLeaf(tag.get());
    }

    SOCmnPointer<SODaSCache> cacheOf(const std::string& id)
    {
        return entry->getNameSpaceRoot()->findTag(id)->getCache();
    }

    // Reads and waits for the answer.
    std::vector<ItemValue> readNow(ClientHandle c, std::vector<std::string> ids, bool fromDevice)
    {
        std::mutex m;
        std::condition_variable cv;
        std::optional<std::vector<ItemValue>> result;
        backend->read(c, ids, fromDevice, [&](std::vector<ItemValue> v) {
            std::lock_guard g(m);
            result = std::move(v);
            cv.notify_all();
        });
        std::unique_lock g(m);
        cv.wait_for(g, 10s, [&] { return result.has_value(); });
        return result.value_or(std::vector<ItemValue>{});
    }

    std::pair<bool, StatusCode> writeNow(ClientHandle c, const std::string& id, const Variant& v)
    {
        std::mutex m;
        std::condition_variable cv;
        std::optional<std::pair<bool, StatusCode>> result;
        backend->write(c, id, v, {}, [&](bool ok, StatusCode q) {
            std::lock_guard g(m);
            result = {ok, q};
            cv.notify_all();
        });
        std::unique_lock g(m);
        cv.wait_for(g, 10s, [&] { return result.has_value(); });
        return result.value_or(std::pair<bool, StatusCode>{false, status::BadInternalError});
    }

    FakeDevice device;  // outlives the entry's tags' requests
    HookLog hooks;
    SOCmnPointer<SODaSEntry> entry;
    SOCmnPointer<LastRelease> handler;
    std::unique_ptr<ToolkitBackend> backend;
};

}  // namespace

TEST_F(ToolkitBackendTest, BrowsesTheToolkitAddressSpace)
{
    std::vector<BrowseEntry> top;
    ASSERT_TRUE(backend->browse("", top));
    ASSERT_EQ(top.size(), 1u);
    EXPECT_TRUE(top[0].isFolder);
    EXPECT_EQ(top[0].itemId, "Line1");

    std::vector<BrowseEntry> line;
    ASSERT_TRUE(backend->browse("Line1", line));
    ASSERT_EQ(line.size(), 4u);  // branches first, then tags in the order they were added
    EXPECT_EQ(line[0].itemId, "Line1.Drives");
    EXPECT_EQ(line[1].itemId, "Line1.Levels");
    EXPECT_TRUE(line[1].dataType.isNumeric(4));  // Int16
    EXPECT_EQ(line[1].valueRank, 1);
    EXPECT_EQ(line[1].arrayLength, 4u);
    EXPECT_EQ(line[3].accessLevel, 2u);

    const auto speed = backend->lookup("Line1.Drives.Speed");
    ASSERT_TRUE(speed);
    EXPECT_FALSE(speed->isFolder);
    EXPECT_EQ(speed->name, "Speed");
    EXPECT_EQ(speed->description, "Drive speed");
    EXPECT_TRUE(speed->dataType.isNumeric(10));  // Float
    EXPECT_EQ(speed->valueRank, -1);
    EXPECT_EQ(speed->accessLevel, 3u);
    EXPECT_EQ(speed->minimumSamplingInterval, 50.0);  // the entry's smallest rate
    EXPECT_TRUE(backend->lookup("Line1.Drives")->isFolder);
    EXPECT_FALSE(backend->lookup("Line1.Nothing"));
    std::vector<BrowseEntry> none;
    EXPECT_FALSE(backend->browse("Line1.Nothing", none));
    EXPECT_FALSE(backend->browse("Line1.Drives.Speed", none));  // a tag is no folder
}

TEST_F(ToolkitBackendTest, ReadsFromTheCacheOrThroughTheDevice)
{
    const ClientHandle c = backend->openClient();
    ASSERT_NE(c, kNoHandle);
    auto cached = readNow(c, {"Line1.Drives.Speed", "Line1.Levels", "Line1.Text", "Line1.Nothing"}, false);
    ASSERT_EQ(cached.size(), 4u);
    EXPECT_EQ(cached[0].status, status::Good);
    EXPECT_EQ(cached[0].value.type, BuiltinType::Float);
    EXPECT_DOUBLE_EQ(std::get<double>(cached[0].value.scalar), 12.5);
    EXPECT_NE(cached[0].timestamp, 0);
    ASSERT_TRUE(cached[1].value.isArray);
    ASSERT_EQ(cached[1].value.array.size(), 4u);
    EXPECT_EQ(std::get<int64_t>(cached[1].value.array[2]), -7);
    EXPECT_EQ(std::get<std::string>(cached[2].value.scalar), "Grüße");
    EXPECT_EQ(cached[3].status, status::Bad);  // unknown item

    // A device read goes through the tag to the device and sees the value it leaves.
    cacheOf("Line1.Drives.Speed")->set(float2(99.0f), OPC_QUALITY_UNCERTAIN);
    auto fresh = readNow(c, {"Line1.Drives.Speed", "Line1.Drives.Running", "Line1.Secret"}, true);
    ASSERT_EQ(fresh.size(), 3u);
    EXPECT_EQ(fresh[0].status, status::Good);
    EXPECT_DOUBLE_EQ(std::get<double>(fresh[0].value.scalar), 99.0);
    EXPECT_EQ(std::get<int64_t>(fresh[1].value.scalar), 1);
    EXPECT_EQ(fresh[2].status, status::Bad);  // not readable

    // A device that cannot be reached: the read fails with the communication-failure quality.
    device.setOnline(false);
    auto failed = readNow(c, {"Line1.Drives.Speed"}, true);
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].status, status::BadCommunicationError);
    backend->closeClient(c);
}

TEST_F(ToolkitBackendTest, WritesAreDeviceRequestsCompletedByTheDevice)
{
    const ClientHandle c = backend->openClient();
    auto [ok, result] = writeNow(c, "Line1.Drives.Speed", Variant::of(BuiltinType::Float, 3.25));
    EXPECT_TRUE(ok);
    EXPECT_EQ(result, status::Good);
    EXPECT_EQ(device.writes(), std::vector<std::string>{"Line1.Drives.Speed=3.250000"});
    auto back = readNow(c, {"Line1.Drives.Speed"}, false);
    EXPECT_DOUBLE_EQ(std::get<double>(back[0].value.scalar), 3.25);

    Variant levels = Variant::arrayOf(BuiltinType::Int16, {int64_t{1}, int64_t{-2}, int64_t{3}, int64_t{4}});
    EXPECT_TRUE(writeNow(c, "Line1.Levels", levels).first);
    back = readNow(c, {"Line1.Levels"}, false);
    EXPECT_EQ(std::get<int64_t>(back[0].value.array[1]), -2);

    // Not writable, unknown, or a device that fails: never reported as success.
    EXPECT_FALSE(writeNow(c, "Line1.Drives.Running", Variant::boolean(false)).first);
    EXPECT_FALSE(writeNow(c, "Line1.Nothing", Variant::int32(1)).first);
    device.setOnline(false);
    auto failed = writeNow(c, "Line1.Secret", Variant::int32(5));
    EXPECT_FALSE(failed.first);
    EXPECT_EQ(failed.second, status::BadCommunicationError);
    backend->closeClient(c);
}

TEST_F(ToolkitBackendTest, SubscriptionsAreGroupsAndMonitoredItemsTheirItems)
{
    const ClientHandle c = backend->openClient();
    std::mutex m;
    std::vector<ItemChange> received;
    uint32_t revised = 0;
    const GroupHandle g = backend->createGroup(c, 20, revised, [&](std::vector<ItemChange> changes) {
        std::lock_guard lock(m);
        for (auto& ch : changes)
            received.push_back(std::move(ch));
    });
    ASSERT_NE(g, kNoHandle);
    EXPECT_EQ(revised, 50u);  // the entry's smallest rate
    hooks.take();

    const ItemHandle speed = backend->addItem(g, "Line1.Drives.Speed");
    ASSERT_NE(speed, kNoHandle);
    EXPECT_EQ(backend->addItem(g, "Line1.Nothing"), kNoHandle);
    EXPECT_TRUE(hooks.take().empty());  // added inactive
    backend->setItemActive(g, speed, true);
    EXPECT_EQ(hooks.take(), std::vector<std::string>{"+Line1.Drives.Speed@50"});

    // The current value first, then every change, with its quality.
    const auto seen = [&](double value, StatusCode quality) {
        return eventually([&] {
            std::lock_guard lock(m);
            for (const auto& ch : received)
                if (ch.item == speed && ch.value.status == quality &&
                    std::get_if<double>(&ch.value.value.scalar) &&
                    std::get<double>(ch.value.value.scalar) == value)
                    return true;
            return false;
        });
    };
    EXPECT_TRUE(seen(12.5, status::Good));
    cacheOf("Line1.Drives.Speed")->set(float2(7.0f), OPC_QUALITY_GOOD);
    EXPECT_TRUE(seen(7.0, status::Good));
    cacheOf("Line1.Drives.Speed")->setQuality(OPC_QUALITY_COMM_FAILURE);
    EXPECT_TRUE(seen(7.0, status::BadCommunicationError));

    // The publishing interval is the update rate: a new one runs the group's hook.
    EXPECT_EQ(backend->setGroupRate(g, 250), 250u);
    EXPECT_EQ(hooks.take(), std::vector<std::string>{"rate 250"});

    backend->setItemActive(g, speed, false);
    EXPECT_EQ(hooks.take(), std::vector<std::string>{"-Line1.Drives.Speed@250"});
    backend->setItemActive(g, speed, true);
    backend->removeItem(g, speed);
    EXPECT_EQ(hooks.take(), (std::vector<std::string>{"+Line1.Drives.Speed@250", "-Line1.Drives.Speed@250"}));

    // Once the group is removed no change is delivered any more.
    const ItemHandle running = backend->addItem(g, "Line1.Drives.Running");
    backend->setItemActive(g, running, true);
    backend->removeGroup(g);
    EXPECT_EQ(hooks.take().back(), "-Line1.Drives.Running@250");
    size_t count = 0;
    {
        std::lock_guard lock(m);
        count = received.size();
    }
    cacheOf("Line1.Drives.Running")->set(bool1(false), OPC_QUALITY_GOOD);
    std::this_thread::sleep_for(300ms);  // several update periods: nothing may arrive
    std::lock_guard lock(m);
    EXPECT_EQ(received.size(), count);
}

TEST_F(ToolkitBackendTest, ClosingTheLastClientReleasesTheLastServerObject)
{
    const ClientHandle a = backend->openClient();
    const ClientHandle b = backend->openClient();
    uint32_t revised = 0;
    const GroupHandle g = backend->createGroup(a, 100, revised, [](std::vector<ItemChange>) {});
    backend->setItemActive(g, backend->addItem(g, "Line1.Drives.Speed"), true);
    hooks.take();
    EXPECT_EQ(backend->openClients(), 2u);
    EXPECT_EQ(entry->getObjectRoot()->copyServerList().size(), 2u);

    backend->closeClient(a);  // its groups go, deactivating their items
    EXPECT_EQ(hooks.take(), std::vector<std::string>{"-Line1.Drives.Speed@100"});
    EXPECT_EQ(handler->count.load(), 0);
    backend->closeClient(b);
    EXPECT_EQ(handler->count.load(), 1);
    EXPECT_EQ(backend->openClients(), 0u);
    backend->closeClient(b);  // twice: nothing
    EXPECT_EQ(handler->count.load(), 1);
}

TEST(ToolkitBackendValues, ConvertBothWays)
{
    const auto roundTrip = [](const Variant& v) {
        SOCmnVariant t;
        EXPECT_TRUE(toToolkitVariant(v, t));
        return toUaVariant(t);
    };
    EXPECT_EQ(std::get<int64_t>(roundTrip(Variant::of(BuiltinType::SByte, int64_t{-5})).scalar), -5);
    EXPECT_EQ(std::get<uint64_t>(roundTrip(Variant::of(BuiltinType::UInt32, uint64_t{4000000000})).scalar),
              4000000000u);
    EXPECT_EQ(std::get<int64_t>(roundTrip(Variant::boolean(true)).scalar), 1);
    const Variant bools = roundTrip(Variant::arrayOf(BuiltinType::Boolean, {int64_t{1}, int64_t{0}}));
    EXPECT_EQ(bools.type, BuiltinType::Boolean);
    EXPECT_EQ(std::get<int64_t>(bools.array[0]), 1);
    EXPECT_EQ(std::get<std::string>(roundTrip(Variant::string("x")).scalar), "x");
    SOCmnVariant t;
    EXPECT_FALSE(toToolkitVariant(Variant::dateTime(1), t));
    EXPECT_TRUE(toUaVariant(SOCmnVariant{}).isNull());
    EXPECT_EQ(toUaDateTime(TimeStamp{}), 0);
}

TEST(ToolkitValues, QualitiesMapToStatusCodes)
{
    EXPECT_EQ(statusFromQuality(0xC0), status::Good);
    EXPECT_EQ(statusFromQuality(0x40), status::Uncertain);
    EXPECT_EQ(statusFromQuality(0x1C), status::BadOutOfService);
    EXPECT_EQ(statusFromQuality(0x0C), status::BadDeviceFailure);
    EXPECT_EQ(statusFromQuality(0x18), status::BadCommunicationError);
    EXPECT_EQ(statusFromQuality(0x00), status::Bad);
    EXPECT_EQ(statusFromQuality(0xD8), status::Good);  // good with a substatus
    EXPECT_TRUE(isBad(statusFromQuality(0x04)));
}

TEST(PlcConnectionEvents, OnlyChangesOfAPlcsCodeAreEvents)
{
    PlcConnectionTracker tracker;
    using C = PlcConnectionChange;
    EXPECT_EQ(tracker.report("Line1", 0), std::nullopt);  // connected, as assumed
    EXPECT_EQ(tracker.report("Line1", 20), C::Lost);
    EXPECT_EQ(tracker.report("Line1", 20), std::nullopt);  // the thread reports the same code again
    EXPECT_EQ(tracker.report("Line2", 104), C::Lost);      // each PLC on its own
    EXPECT_EQ(tracker.report("Line1", 104), C::Changed);
    EXPECT_EQ(tracker.report("Line1", 0), C::Back);
    EXPECT_EQ(tracker.report("Line2", 0), C::Back);

    const Event lost = plcConnectionEvent(C::Lost, "Line1", 20, "PLC refused the connection");
    EXPECT_EQ(lost.severity, plcevent::Lost);
    EXPECT_EQ(lost.sourceNode, NodeId::str("Line1", 1));
    EXPECT_EQ(plcConnectionEvent(C::Changed, "Line1", 104, "").severity, plcevent::Changed);
    EXPECT_EQ(plcConnectionEvent(C::Back, "Line1", 0, "").severity, plcevent::Back);
    EXPECT_TRUE(plcevent::Lost > plcevent::Changed && plcevent::Changed > plcevent::Back);
}
