#pragma once
// A Tornel server inside the test process: its configuration loaded into a toolkit entry, the
// communication thread running over the real TCP/IP access library, and an in-process OPC
// client. Reports to the main window are recorded; helpers wait on conditions with a deadline.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/CommunicationThread.h"
#include "core/ConfigLoader.h"
#include "core/S7Creator.h"
#include "opc/SODaSEntry.h"
#include "opc/client/ServerConnection.h"
#include "tcpip/TornelCommunication.h"

namespace orva::e2e {

// Polls the condition until it holds or the time is up (conditions of other threads).
inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// The main window's part: the reports of the communication thread, in order.
class RecordedReports final : public core::StatusSink {
public:
    struct Report {
        int code;
        const core::S7Plc* plc;
    };
    void reportPlcStatus(int code, const core::S7Plc* plc) override
    {
        {
            std::lock_guard lock(mutex_);
            reports_.push_back({code, plc});
        }
        if (window_) window_->reportPlcStatus(code, plc);
    }
    void reportNoPlc() override
    {
        {
            std::lock_guard lock(mutex_);
            ++noPlc_;
        }
        if (window_) window_->reportNoPlc();
    }
    // Also hands every report to a main window (set before the thread starts).
    void forwardTo(process::OwnerWindow& window)
    {
        window_ = std::make_unique<core::WindowStatusSink>(window);
    }
    std::vector<Report> reports() const
    {
        std::lock_guard lock(mutex_);
        return reports_;
    }
    int noPlcReports() const
    {
        std::lock_guard lock(mutex_);
        return noPlc_;
    }
    std::optional<int> lastCode() const
    {
        std::lock_guard lock(mutex_);
        if (reports_.empty()) return std::nullopt;
        return reports_.back().code;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Report> reports_;
    int noPlc_ = 0;
    std::unique_ptr<core::WindowStatusSink> window_;
};

class SilentOwner final : public core::OwnerWindow {
public:
    void showWarning(std::string_view text, std::string_view caption) override
    {
        ADD_FAILURE() << caption << ": " << text;
    }
};

// A data file of the access library's own in the temporary folder, one per test process.
inline std::string temporaryDataFile()
{
    return (std::filesystem::temp_directory_path() / ("orva-comm-" + std::to_string(::getpid()) + ".dat"))
        .string();
}

inline std::string tornelConfiguration(const std::string& plcs)
{
    return "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<ORVATcpIpS7Cfg><OPC_DA><INTERFACE "
           "name=\"SAPIS7\">" +
           plcs + "</INTERFACE></OPC_DA></ORVATcpIpS7Cfg>\r\n";
}

inline std::string tagElement(const std::string& name, const std::string& type, int byte, int block = 1,
                              const std::string& extra = "")
{
    return "<tag><name>" + name + "</name><comment>" + name + "</comment><databyte>" + std::to_string(byte) +
           "</databyte><datatype>" + type + "</datatype><datablock>" + std::to_string(block) +
           "</datablock><accessrights>READWRITE</accessrights>" + extra + "</tag>";
}

inline std::string plcElement(const std::string& name, const std::string& endpoint, const std::string& tags)
{
    return "<PLC name=\"" + name + "\" address=\"" + endpoint + "\" cpuslot=\"2\" racknr=\"0\"><tags>" +
           tags + "</tags></PLC>";
}

class TornelServer {
public:
    explicit TornelServer(const std::string& plcs, std::string dataFile = temporaryDataFile())
        : entry_(new opc::SODaSEntry), root_(entry_->getNameSpaceRoot()), dataFile_(std::move(dataFile))
    {
        core::configureNameSpaceRoot(*root_);
        entry_->setCreator(opc::SOCmnPointer<opc::SODaSCreator>(new core::S7Creator(queues_)).get());
        const core::LoadContext context{config::ServerKind::Tornel, plcs_, queues_, owner_, nullptr};
        loaded_ = core::loadConfigurationFromMemory(context, tornelConfiguration(plcs), *root_);
        plc::S7Timeouts timeouts;
        timeouts.connect = std::chrono::milliseconds(500);
        timeouts.request = std::chrono::milliseconds(500);
        comm_ = std::make_unique<tcpip::TornelCommunication>(plcs_, queues_, reports_,
                                                             tcpip::tcpIpLibraryFactory(timeouts), dataFile_);
        entry_->start();
        client_ = opc::client::ServerConnection::connect(*entry_);
    }
    ~TornelServer()
    {
        client_.reset();
        comm_->stop();
        comm_.reset();
        entry_->terminate();
        plcs_.clear();
        std::error_code ignored;
        std::filesystem::remove(dataFile_, ignored);
    }
    TornelServer(const TornelServer&) = delete;
    TornelServer& operator=(const TornelServer&) = delete;

    bool loaded() const { return loaded_ && client_ != nullptr; }
    void start() { comm_->start(); }
    void stop() { comm_->stop(); }
    opc::client::ServerConnection& client() { return *client_; }
    core::CommunicationThread& thread() { return comm_->thread(); }
    tcpip::TornelCommunication& communication() { return *comm_; }
    const RecordedReports& reports() const { return reports_; }
    void forwardReportsTo(process::OwnerWindow& window) { reports_.forwardTo(window); }
    core::PlcList& plcs() { return plcs_; }

private:
    opc::SOCmnPointer<opc::SODaSEntry> entry_;
    opc::SOCmnPointer<opc::SODaSNameSpaceRoot> root_;
    std::string dataFile_;
    core::PlcList plcs_;
    std::shared_ptr<core::CoreQueues> queues_ = std::make_shared<core::CoreQueues>();
    SilentOwner owner_;
    RecordedReports reports_;
    bool loaded_ = false;
    std::unique_ptr<tcpip::TornelCommunication> comm_;
    std::unique_ptr<opc::client::ServerConnection> client_;
};

// Counts the completions of requests (callbacks run on the toolkit's worker).
class CompletionCounter {
public:
    opc::client::CompletionCallback callback()
    {
        return [this](const opc::client::RequestResult&) {
            std::lock_guard lock(mutex_);
            ++count_;
        };
    }
    int count() const
    {
        std::lock_guard lock(mutex_);
        return count_;
    }

private:
    mutable std::mutex mutex_;
    int count_ = 0;
};

}  // namespace orva::e2e
