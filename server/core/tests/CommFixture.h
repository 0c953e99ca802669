#pragma once
// A Tornel server for communication tests: configuration loaded into a toolkit entry, an
// in-process client, a recording fake access library with data-block memory per PLC, a manual
// tick source and the communication thread driven one iteration at a time.

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "LoaderFixture.h"
#include "core/CommunicationThread.h"
#include "core/S7Creator.h"
#include "core/S7Tag.h"
#include "opc/client/ServerConnection.h"

namespace orva::core::test {

// Records every library call as text ("open 2", "select 1 0", "read 1 0 42", "write 1 10 4",
// "close") and keeps each PLC's data blocks (1 KiB each, zero at first) in memory.
class FakeTransport : public PlcTransport {
public:
    std::vector<std::string> calls;
    std::map<std::pair<uint16_t, uint16_t>, std::vector<uint8_t>> memory;  // (plcNumber, dataBlock)
    // Returns an error code for a call (given as its text), 0 to carry it out.
    std::function<int(const std::string& call)> inject;
    int openCount = 0;

    // Side A's memory; side B of a redundant PLC lives at plc + SIDE_B.
    static constexpr uint16_t SIDE_B = 1000;
    std::vector<uint8_t>& db(uint16_t plc, uint16_t dataBlock)
    {
        auto& m = memory[{plc, dataBlock}];
        if (m.empty()) m.assign(1024, 0);
        return m;
    }
    // Calls of one kind ("read", "write", "select"), or all calls.
    std::vector<std::string> only(const std::string& kind) const
    {
        std::vector<std::string> out;
        for (const auto& c : calls)
            if (c.rfind(kind, 0) == 0) out.push_back(c);
        return out;
    }

    int open(PlcList& plcs) override
    {
        ++openCount;
        selected_ = 0;
        const int code = note("open " + std::to_string(plcs.size()));
        open_ = code == 0;
        return code;
    }
    int selectPlc(uint16_t plc, uint16_t side) override
    {
        int code = note("select " + std::to_string(plc) + " " + std::to_string(side));
        // A table that failed to open has no connections to select.
        if (code == 0 && !open_) code = 2;
        selected_ = code == 0 ? static_cast<uint16_t>(plc + (side != 0 ? SIDE_B : 0)) : 0;
        return code;
    }
    int readBytes(uint16_t dataBlock, uint16_t count, uint16_t start, uint8_t* destination) override
    {
        if (const int code = note(access("read", dataBlock, count, start))) return code;
        auto& m = db(selected_, dataBlock);
        if (start + count > m.size()) return 81;
        std::copy_n(m.begin() + start, count, destination);
        return 0;
    }
    int writeBytes(uint16_t dataBlock, uint16_t count, uint16_t start, const uint8_t* source) override
    {
        if (const int code = note(access("write", dataBlock, count, start))) return code;
        auto& m = db(selected_, dataBlock);
        if (start + count > m.size()) return 81;
        std::copy_n(source, count, m.begin() + start);
        return 0;
    }
    void close() override
    {
        calls.push_back("close");
        selected_ = 0;
        open_ = false;
    }
    bool isConnectionLevel(int code) const override { return code != 0 && code < 64; }
    std::string errorText(int code) override { return "error " + std::to_string(code); }
    uint16_t selected() const { return selected_; }

private:
    static std::string access(const char* what, uint16_t db, uint16_t count, uint16_t start)
    {
        return std::string(what) + " " + std::to_string(db) + " " + std::to_string(start) + " " +
               std::to_string(count);
    }
    int note(const std::string& call)
    {
        calls.push_back(call);
        const bool needsSelection = call.rfind("read", 0) == 0 || call.rfind("write", 0) == 0;
        if (inject) {
            if (const int code = inject(call)) return code;
        }
        return needsSelection && selected_ == 0 ? 2 : 0;
    }
    uint16_t selected_ = 0;
    bool open_ = false;
};

struct Report {
    int code;
    std::string plc;  // "" for the no-PLC report
    bool operator==(const Report&) const = default;
};

class RecordingSink : public StatusSink {
public:
    std::vector<Report> reports;
    void reportPlcStatus(int code, const S7Plc* plc) override
    {
        reports.push_back({code, plc ? plc->name : "?"});
    }
    void reportNoPlc() override { reports.push_back({0, ""}); }
};

inline opc::SOCmnVariant variantI2(int16_t v)
{
    opc::SOCmnVariant x;
    x.setI2(v);
    return x;
}

class CommFixture : public LoaderFixture {
protected:
    // Loads the PLC elements (Tornel file) and makes the thread; begin() is not called yet.
    void loadPlcs(const std::string& plcElements,
                  CommSettings settings = commSettingsFor(config::ServerKind::Tornel))
    {
        entry->setCreator(opc::SOCmnPointer<opc::SODaSCreator>(new S7Creator(queues)).get());
        ASSERT_TRUE(load(config::ServerKind::Tornel, tornelFile(plcElements)));
        ASSERT_NE(entry->start(), 0);
        connection = opc::client::ServerConnection::connect(*entry);
        ASSERT_TRUE(connection);
        thread = std::make_unique<CommunicationThread>(plcs, queues, fake, sink, settings, &ticks);
    }
    void TearDown() override
    {
        connection.reset();
        thread.reset();
    }

    // One PLC "P" with the given tags at a loopback address.
    static std::string plc(const std::string& name, const std::string& tags)
    {
        return "<PLC name=\"" + name + "\" address=\"127.0.0.1\"><tags>" + tags + "</tags></PLC>";
    }

    S7Tag& tag(const std::string& itemId)
    {
        auto found = root->findTag(itemId);
        auto* t = dynamic_cast<S7Tag*>(found.get());
        EXPECT_NE(t, nullptr) << itemId;
        return *t;
    }
    S7Plc& plcAt(std::size_t index) { return *plcs.at(index); }

    // Lets time pass and runs iterations.
    void run(int iterations, uint32_t msBetween = 0)
    {
        for (int i = 0; i < iterations; ++i) {
            ticks.advance(msBetween);
            thread->iterate();
        }
    }
    // Blocks of a PLC as "DB<n>:<start>+<length>@<rate>".
    std::vector<std::string> blocks(std::size_t plcIndex = 0)
    {
        std::vector<std::string> out;
        for (const auto& b : plcAt(plcIndex).blocks)
            out.push_back("DB" + std::to_string(b->dataBlock) + ":" + std::to_string(b->startByte) + "+" +
                          std::to_string(b->length) + "@" + std::to_string(b->updateRate));
        return out;
    }
    uint16_t quality(const std::string& itemId) { return tag(itemId).getCache()->getQuality(); }
    opc::SOCmnVariant value(const std::string& itemId)
    {
        opc::SOCmnVariant v;
        tag(itemId).getCache()->getValue(v);
        return v;
    }

    FakeTransport fake;
    RecordingSink sink;
    ManualTickSource ticks{100000};
    std::unique_ptr<opc::client::ServerConnection> connection;
    std::unique_ptr<CommunicationThread> thread;
};

}  // namespace orva::core::test
