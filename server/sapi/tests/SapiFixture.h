#pragma once
// Vardel's communication for tests: a Vardel configuration loaded into a toolkit entry with an
// in-process client, the SAPI-S7 transport over a given library, a manual tick source and the
// communication thread driven one iteration at a time. RecordingSapiLibrary is a fake library
// that records every call and answers requests with scripted events from memory of its own.

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <map>
#include <set>

#include "CommFixture.h"
#include "sapi/SapiAccess.h"

namespace orva::sapi::test {

// Calls as text: "query IF", "open IF DEVICE", "get D NAME", "connect D R", "receive D R",
// "confirm", "abortind", "discard", "abort D R", "readreq D R DB1,B0,2", "readconf",
// "writereq D R DB1,B0,2", "writeconf", "close D". Waits between polls are counted apart.
class RecordingSapiLibrary final : public SapiLibrary {
public:
    std::vector<std::string> calls;
    int waits = 0;
    std::map<std::string, std::string> interfaces{{"S7ONLINE", "ISO-on-TCP"}};  // name -> device
    std::vector<std::string> connections{"A", "B"};                             // ref = index + 1
    std::set<uint16_t> silent;  // connections that stop answering requests
    std::map<std::pair<uint16_t, uint16_t>, std::vector<uint8_t>> memory;  // (ref, data block)
    // Called for every request; a non-zero event code is queued in place of the answer.
    std::function<int(const std::string& call)> replace;
    int busyConnects = 0;  // how many sapiConnect calls answer -1 first

    std::vector<uint8_t>& db(uint16_t ref, uint16_t block)
    {
        auto& m = memory[{ref, block}];
        if (m.empty()) m.assign(256, 0);
        return m;
    }
    // Consecutive equal calls as one, "receive 1 1 x200".
    std::vector<std::string> compact() const
    {
        std::vector<std::string> out;
        int repeat = 0;
        for (std::size_t i = 0; i < calls.size(); ++i) {
            ++repeat;
            if (i + 1 < calls.size() && calls[i + 1] == calls[i]) continue;
            out.push_back(repeat > 1 ? calls[i] + " x" + std::to_string(repeat) : calls[i]);
            repeat = 0;
        }
        return out;
    }
    long count(const std::string& prefix) const
    {
        return std::count_if(calls.begin(), calls.end(),
                             [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
    }

    int sapiQueryDevice(const char* name, int, uint16_t* count, char* device) override
    {
        note("query " + std::string(name));
        const auto it = interfaces.find(name);
        *count = it == interfaces.end() ? 0 : 1;
        if (it == interfaces.end()) return fail(207);
        std::snprintf(device, sapis7::kDeviceNameCapacity, "%s", it->second.c_str());
        return 0;
    }
    int sapiOpen(const char* name, const char* device, uint32_t* descriptor) override
    {
        note("open " + std::string(name) + " " + device);
        *descriptor = ++descriptors_;
        open_ = *descriptor;
        return 0;
    }
    int sapiGetConnection(uint32_t d, const char* name, uint16_t* ref) override
    {
        note("get " + std::to_string(d) + " " + name);
        if (d != open_ || open_ == 0) return fail(200);
        const auto it = std::find(connections.begin(), connections.end(), name);
        if (it == connections.end()) return fail(201);
        *ref = static_cast<uint16_t>(it - connections.begin() + 1);
        return 0;
    }
    int sapiConnect(uint32_t d, uint16_t ref) override
    {
        note("connect " + std::to_string(d) + " " + std::to_string(ref));
        if (busyConnects > 0) {
            --busyConnects;
            return -1;
        }
        answer("connect", ref, sapis7::kEventConnectConfirm);
        return 0;
    }
    int sapiReceive(uint32_t d, uint16_t* ref, uint8_t*) override
    {
        note("receive " + std::to_string(d) + " " + std::to_string(*ref));
        if (d != open_ || open_ == 0) {
            fail(200);
            return -2;
        }
        const auto it =
            std::find_if(events_.begin(), events_.end(), [&](const auto& e) { return e.first == *ref; });
        if (it == events_.end()) return 0;
        last_ = it->second;
        events_.erase(it);
        return last_;
    }
    int sapiConnectConfirm() override { return confirm("confirm", sapis7::kEventConnectConfirm); }
    int sapiAbortIndication() override
    {
        confirm("abortind", sapis7::kEventAbortIndication);
        lastError_ = 25;
        return 0;
    }
    int sapiDiscard() override
    {
        note("discard");
        last_ = 0;
        return 0;
    }
    int sapiAbort(uint32_t d, uint16_t ref) override
    {
        note("abort " + std::to_string(d) + " " + std::to_string(ref));
        return 0;
    }
    int sapiReadRequest(uint32_t d, uint16_t ref, int, const VariableRecord* record) override
    {
        note("readreq " + std::to_string(d) + " " + std::to_string(ref) + " " + record->address);
        unsigned block = 0, start = 0, count = 0;
        std::sscanf(record->address, "DB%u,B%u,%u", &block, &start, &count);
        auto& m = db(ref, static_cast<uint16_t>(block));
        readData_.assign(m.begin() + start, m.begin() + start + count);
        answer("readreq", ref, sapis7::kEventReadConfirm);
        return 0;
    }
    int sapiReadConfirm(int, uint16_t* count, uint8_t* data) override
    {
        if (confirm("readconf", sapis7::kEventReadConfirm) != 0) return 1;
        const std::size_t n = std::min<std::size_t>(*count, readData_.size());
        std::memcpy(data, readData_.data(), n);
        *count = static_cast<uint16_t>(n);
        return 0;
    }
    int sapiWriteRequest(uint32_t d, uint16_t ref, int, const VariableRecord* record, int) override
    {
        note("writereq " + std::to_string(d) + " " + std::to_string(ref) + " " + record->address);
        unsigned block = 0, start = 0, count = 0;
        std::sscanf(record->address, "DB%u,B%u,%u", &block, &start, &count);
        if (!silent.count(ref))
            std::memcpy(db(ref, static_cast<uint16_t>(block)).data() + start, record->data, count);
        answer("writereq", ref, sapis7::kEventWriteConfirm);
        return 0;
    }
    int sapiWriteConfirm() override { return confirm("writeconf", sapis7::kEventWriteConfirm); }
    int sapiClose(uint32_t d) override
    {
        note("close " + std::to_string(d));
        events_.clear();
        if (d != open_ || open_ == 0) return fail(200);
        open_ = 0;
        return 0;
    }
    int sapiLastError() override { return lastError_; }
    int sapiErrorText(char* buffer) override
    {
        std::snprintf(buffer, sapis7::kErrorTextCapacity, "library error %d", lastError_);
        return 0;
    }
    int sapiWaitEvent(uint32_t, uint16_t, int) override
    {
        ++waits;
        return 0;
    }

private:
    void note(std::string call) { calls.push_back(std::move(call)); }
    int fail(int error)
    {
        lastError_ = error;
        return 1;
    }
    void answer(const std::string& what, uint16_t ref, int event)
    {
        if (replace) {
            if (const int other = replace(what)) {
                events_.emplace_back(ref, other);
                return;
            }
        }
        if (!silent.count(ref)) events_.emplace_back(ref, event);
    }
    int confirm(const std::string& what, int event)
    {
        note(what);
        const bool ok = last_ == event;
        last_ = 0;
        return ok ? 0 : fail(205);
    }

    uint32_t descriptors_ = 0;
    uint32_t open_ = 0;
    std::deque<std::pair<uint16_t, int>> events_;
    int last_ = 0;
    int lastError_ = 0;
    std::vector<uint8_t> readData_;
};

// A Vardel configuration: interface name and PLC elements (name only).
inline std::string vardelFile(const std::string& interfaceName, const std::string& plcs)
{
    return "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<ORVAS7Cfg>\r\n\t<OPC_DA>\r\n\t\t<INTERFACE "
           "name=\"" +
           interfaceName + "\">" + plcs + "</INTERFACE>\r\n\t</OPC_DA>\r\n</ORVAS7Cfg>\r\n";
}

inline std::string vardelPlc(const std::string& name, const std::string& tags)
{
    return "<PLC name=\"" + name + "\"><tags>" + tags + "</tags></PLC>";
}

class SapiFixture : public core::test::LoaderFixture {
protected:
    // Loads the configuration and makes the transport over the library and the thread.
    void loadVardel(const std::string& xml, std::unique_ptr<SapiLibrary> library)
    {
        entry->setCreator(opc::SOCmnPointer<opc::SODaSCreator>(new core::S7Creator(queues)).get());
        ASSERT_TRUE(load(config::ServerKind::Vardel, xml));
        ASSERT_NE(entry->start(), 0);
        connection = opc::client::ServerConnection::connect(*entry);
        ASSERT_TRUE(connection);
        access = std::make_unique<SapiAccess>(
            std::move(library), transport.interfaceNames.empty() ? "" : transport.interfaceNames.back());
        thread = std::make_unique<core::CommunicationThread>(
            plcs, queues, *access, sink, core::commSettingsFor(config::ServerKind::Vardel), &ticks);
    }
    void TearDown() override
    {
        // Groups go before their connection, so that their items leave the tags.
        groups_.clear();
        connection.reset();
        // Records still queued hold their tags, and the tags hold the queues.
        {
            std::lock_guard lock(queues->queueLock);
            queues->cyclicChangeQueue.clear();
            queues->readRequestQueue.clear();
            queues->writeRequestQueue.clear();
        }
        thread.reset();
    }
    void run(int iterations, uint32_t msBetween = 0)
    {
        for (int i = 0; i < iterations; ++i) {
            ticks.advance(msBetween);
            thread->iterate();
        }
    }
    // A group of the connection with the items, kept until the test ends.
    std::shared_ptr<opc::client::Group> subscribe(const std::vector<std::string>& ids, uint32_t rate = 100)
    {
        auto group = connection->addGroup("g" + std::to_string(groups_.size()), rate);
        for (const auto& id : ids)
            EXPECT_EQ(group->addItem(id).result, opc::S_OK) << id;
        groups_.push_back(group);
        return group;
    }
    core::S7Tag& tag(const std::string& itemId)
    {
        auto* t = dynamic_cast<core::S7Tag*>(root->findTag(itemId).get());
        EXPECT_NE(t, nullptr) << itemId;
        return *t;
    }
    uint16_t quality(const std::string& itemId) { return tag(itemId).getCache()->getQuality(); }
    opc::SOCmnVariant value(const std::string& itemId)
    {
        opc::SOCmnVariant v;
        tag(itemId).getCache()->getValue(v);
        return v;
    }

    core::test::RecordingSink sink;
    core::ManualTickSource ticks{100000};
    std::unique_ptr<opc::client::ServerConnection> connection;
    std::unique_ptr<SapiAccess> access;
    std::unique_ptr<core::CommunicationThread> thread;

private:
    std::vector<std::shared_ptr<opc::client::Group>> groups_;
};

}  // namespace orva::sapi::test
