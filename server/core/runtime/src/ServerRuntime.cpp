#include "runtime/ServerRuntime.h"

#include <atomic>
#include <cstdio>
#include <thread>

#include "DisplayCheck.h"
#include "EdgeNode.h"
#include "PlcEventBridge.h"
#include "WindowHost.h"
#include "common/ProgramInfo.h"
#include "core/ConfigLoader.h"
#include "core/S7Creator.h"
#include "opc/SODaSEntry.h"
#include "opcua/Server.h"
#include "opcua/ToolkitBackend.h"
#include "process/CommandLine.h"
#include "process/ConfigLocation.h"
#include "process/EndpointSettings.h"
#include "process/Environment.h"
#include "process/Registration.h"
#include "process/ReleaseNotifier.h"
#include "process/SecuritySettings.h"
#include "process/ServerEventHandler.h"
#include "process/ServerHelp.h"
#include "process/ServiceManager.h"
#include "process/SystemFolders.h"
#include "runtime/CommBridges.h"
#include "runtime/PollingVariables.h"

namespace orva::process {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view kShutdownReason = "Server shutdown";
// Clients connected at shutdown see the server state "Shutdown" for at least this long before
// their sessions end, also when the toolkit's rule asks for no wait.
constexpr std::chrono::milliseconds kMinimumShutdownGrace = 1000ms;

// The toolkit entry set up with the server's creator.
void setUpEntry(opc::SODaSEntry& entry, const std::shared_ptr<core::CoreQueues>& queues)
{
    entry.setCreator(opc::SOCmnPointer<opc::SODaSCreator>(new core::S7Creator(queues)).get());
}

opcua::ServerInfo serverInfo(const ServerIdentity& identity)
{
    opcua::ServerInfo info;
    const std::string name(identity.name);
    info.applicationUri = applicationUri(identity);
    info.productUri = "urn:orva:" + name;
    info.applicationName = std::string(identity.description);
    info.manufacturerName = std::string(kMakerName);
    info.softwareVersion = std::to_string(identity.versionMajor) + "." +
                           std::to_string(identity.versionMinor) + "." +
                           std::to_string(identity.versionBuild);
    info.buildNumber = std::to_string(identity.versionBuild);
    info.eventTypes = {opcua::plcConnectionEventType()};
    return info;
}

// Asks connected clients to go and waits for them as the toolkit's rule says: up to 10 s when more
// than one server object exists. OPC UA clients see state Shutdown and the reason before their
// sessions end.
void releaseClients(opc::SODaSEntry& entry, opcua::Server* ua, ReleaseNotifier& notifier, LogSink& log)
{
    notifier.armShutdownEvent();
    const size_t serverObjects = entry.getObjectRoot()->copyServerList().size();
    const std::chrono::milliseconds wait = clientShutdownWait(serverObjects);
    if (wait > 0ms) {
        log.log("asking " + std::to_string(serverObjects) + " clients to disconnect");
        entry.shutdownAllClients(std::string(kShutdownReason));
    }
    if (ua != nullptr) {
        const bool sessions = ua->sessionCount() > 0;
        ua->requestShutdown(std::string(kShutdownReason),
                            std::max(wait, sessions ? kMinimumShutdownGrace : 0ms));
        if (wait > 0ms) {
            notifier.waitForRelease(wait);
        } else if (sessions) {
            const auto end = std::chrono::steady_clock::now() + kMinimumShutdownGrace + 2s;
            while (!ua->shutdownComplete() && std::chrono::steady_clock::now() < end)
                std::this_thread::sleep_for(20ms);
        }
    } else if (wait > 0ms) {
        notifier.waitForRelease(wait);
    }
    notifier.disarmShutdownEvent();
}

// --help and --version answer on standard output and end the process before anything starts.
std::optional<int> answerInfoRequest(const ServerIdentity& identity, int argc, char** argv)
{
    std::string text;
    switch (infoRequest(argc, argv)) {
        case InfoRequest::None:
            return std::nullopt;
        case InfoRequest::Help:
            text = serverUsage(identity);
            break;
        case InfoRequest::Version:
            text = versionText(identity.name);
            break;
    }
    std::fputs(text.c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int runServer(const ServerIdentity& identity, const TransportFactory& makeTransport, int argc, char** argv)
{
    if (const auto code = answerInfoRequest(identity, argc, argv)) return *code;
    LogSink log{std::string(identity.name), LogSink::standardErrorWriter(), LogSink::standardErrorFormat()};
    const std::string executablePath = currentExecutablePath();
    const registry::Registry registry = registry::Registry::machine();

    // Command line first: registration ends the process before anything else is set up.
    const CommandLineOptions options = parseCommandLine(joinCommandLine(argc, argv));
    if (const auto code = runRegistrationCommand(options, identity, executablePath, registry, log))
        return *code;

    // From here on SIGTERM and SIGINT ask for the orderly shutdown; one that arrives during
    // start-up is taken up as soon as the server runs.
    std::string signalProblem;
    std::unique_ptr<ShutdownSignals> signals = ShutdownSignals::install(&signalProblem);
    if (!signals) log.log(LogPriority::Warning, "shutdown signals not handled: " + signalProblem);

    ServerTransport transport = makeTransport();
    // The window needs the transport's texts before the communication exists; it asks only once
    // the thread reports, which is after the communication has been made.
    std::atomic<ServerCommunication*> communication{nullptr};
    const ErrorTextFunction errorText = [&communication](int code) {
        ServerCommunication* c = communication.load();
        return c != nullptr ? c->errorText(code) : std::string("error ") + std::to_string(code);
    };

    std::unique_ptr<WindowHost> host;
    if (displayAvailable()) {
        if (displayReachable())
            host = makeQtWindowHost(identity, errorText, argc, argv, signals.get());
        else
            log.log("the display cannot be reached: running without windows");
    }
    if (!host) host = makeHeadlessWindowHost(identity, log, errorText);
    OwnerWindow& window = host->window();

    auto queues = std::make_shared<core::CoreQueues>();
    queues->cttMode = options.cttMode;
    opc::SOCmnPointer<opc::SODaSEntry> entry(opc::getSODaSEntry());
    setUpEntry(*entry, queues);

    ReleaseNotifier notifier(options.embeddedStart, &window);
    entry->setEventHandler(opc::SOCmnPointer<opc::SOSrvEventHandler>(new ServerEventHandler(notifier)).get());
    entry->setMinUpdateRate(static_cast<uint32_t>(toolkitEntrySetting(options)));

    // Configuration.
    core::PlcList plcs;
    {
        auto root = entry->getNameSpaceRoot();
        core::configureNameSpaceRoot(*root);
        const ConfigLocation location =
            locateConfiguration(identity, executablePath, registry, window, configFolder());
        if (!location.registryProblem.empty())
            log.log(LogPriority::Warning, "registry: " + location.registryProblem);
        if (location.source != ConfigSource::None) {
            log.log("configuration " + location.path);
            const core::LoadContext context{identity.kind, plcs, queues, window, transport.settings.get()};
            core::loadConfiguration(context, location.path, *root);
        }
    }
    window.setPlcs(plcLines(plcs));
    log.log(std::to_string(plcs.size()) + (plcs.size() == 1 ? " PLC configured" : " PLCs configured"));

    WindowStatusSink windowSink(window);
    StatusFanOut sink(windowSink);
    std::unique_ptr<ServerCommunication> comm = transport.makeCommunication(plcs, queues, sink);
    communication = comm.get();
    std::unique_ptr<EdgeNode> edgeNode;  // made once the toolkit runs; read by the dialog meanwhile
    host->setStatusSnapshotProvider([c = comm.get(), &edgeNode] {
        StatusSnapshot snapshot = c->snapshot();
        if (edgeNode) snapshot.brokerLink = edgeNode->linkState();
        return snapshot;
    });
    comm->start();

    // The toolkit and its OPC UA endpoint.
    std::unique_ptr<opcua::ToolkitBackend> backend;
    std::unique_ptr<opcua::Server> ua;
    bool started = entry->start() != 0;
    if (started) {
        std::string problem;
        const OpcUaEndpoint endpoint = readOpcUaEndpoint(identity, registry, &problem);
        if (!problem.empty()) log.log(LogPriority::Warning, problem);
        backend = std::make_unique<opcua::ToolkitBackend>(*entry);
        std::vector<std::string> plcNames;
        for (std::size_t i = 0; i < plcs.size(); ++i)
            plcNames.push_back(plcs.at(i)->name);
        backend->setOwnVariables(pollingVariables(plcNames, [c = comm.get()] { return c->figures(); }));
        opcua::ServerOptions serverOptions;
        serverOptions.address = endpoint.address;
        serverOptions.port = endpoint.port;
        serverOptions.info = serverInfo(identity);
        serverOptions.security = readSecuritySettings(identity, registry, &problem);
        if (!problem.empty()) log.log(LogPriority::Warning, problem);
        serverOptions.log = [&log](const std::string& line) { log.log(LogPriority::Warning, line); };
        ua = std::make_unique<opcua::Server>(*backend, serverOptions);
        if (ua->start()) {
            log.log("OPC UA endpoint " + ua->endpointUrl());
            sink.setEventServer(ua.get(), errorText);
        } else {
            log.log(LogPriority::Error, "OPC UA endpoint " + endpoint.address + ":" +
                                            std::to_string(endpoint.port) + ": " + ua->error());
            started = false;
        }
    }
    if (started) edgeNode = startEdgeNode(identity, registry, *entry, log);

    // A start that failed (toolkit or endpoint, e.g. a port already taken) ends with code 1, so that
    // a service manager sees the failure instead of a clean stop.
    int exitCode = 1;
    std::unique_ptr<ServiceWatchdog> watchdog;
    if (started) {
        // A service manager learns that the endpoint listens, and watches the communication thread.
        service::notifyReady("serving " + std::to_string(plcs.size()) +
                             (plcs.size() == 1 ? " PLC" : " PLCs") + " on " + ua->endpointUrl());
        watchdog = std::make_unique<ServiceWatchdog>([c = comm.get()] { return c->progress(); }, log);
        exitCode = host->run(signals.get());
    } else {
        log.log(LogPriority::Error, "Can't start the OPC server");
    }

    // Shutdown: clients first, then the communication thread, then the toolkit and the containers.
    service::notifyStopping();
    log.log("shutting down");
    if (edgeNode) edgeNode->stop();
    releaseClients(*entry, ua.get(), notifier, log);
    notifier.forgetWindow();
    sink.setEventServer(nullptr, {});
    if (ua) ua->stop();
    host->stopAcceptingReports();
    watchdog.reset();
    comm->stop();
    ua.reset();
    backend.reset();
    entry->terminate();
    entry->setEventHandler(nullptr);
    communication = nullptr;
    comm.reset();
    plcs.clear();
    {
        const std::lock_guard lock(queues->queueLock);
        queues->cyclicChangeQueue.clear();
        queues->readRequestQueue.clear();
        queues->writeRequestQueue.clear();
    }
    signals.reset();
    log.log("stopped");
    return exitCode;
}

}  // namespace orva::process
