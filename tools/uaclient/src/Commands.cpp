#include "Commands.h"

#include <chrono>
#include <map>
#include <optional>

#include "TextFormat.h"
#include "opcua/AddressSpace.h"
#include "opcua/Client.h"

namespace orva::uaclient {

using namespace orva::opcua;

namespace {

constexpr uint32_t kRead = 631, kWrite = 673, kBrowse = 527, kBrowseNext = 533, kCreateSession = 461,
                   kActivateSession = 467, kCloseSession = 473, kCreateSubscription = 787,
                   kCreateMonitoredItems = 751, kPublish = 826, kServiceFault = 397;

// One connection with an activated session.
class Connection {
public:
    bool open(const Endpoint& e, std::ostream& err)
    {
        if (!client_.connect(e.host, e.port)) {
            err << "cannot connect to " << e.host << ":" << e.port << "\n";
            return false;
        }
        if (!client_.hello() || client_.open() == 0) {
            err << "the server refused the connection (" << formatStatus(client_.lastError) << ")\n";
            return false;
        }
        const auto token = client_.session();
        if (!token) {
            err << "the server refused the session\n";
            return false;
        }
        token_ = *token;
        return true;
    }

    ~Connection()
    {
        if (!token_.isNull())
            client_.call(makeRequest(kCloseSession, token_, next(), [](Writer& w) { w.boolean(true); }));
    }

    std::optional<Response> call(uint32_t type, const std::function<void(Writer&)>& fields, std::ostream& err)
    {
        auto r = client_.call(makeRequest(type, token_, next(), fields));
        if (!r) {
            err << "no response from the server"
                << (isBad(client_.lastError) ? " (" + formatStatus(client_.lastError) + ")" : "") << "\n";
            return std::nullopt;
        }
        if (r->typeId == kServiceFault || isBad(r->serviceResult)) {
            err << "the server answered " << formatStatus(r->serviceResult) << "\n";
            return std::nullopt;
        }
        return r;
    }

    std::vector<DataValue> read(const std::vector<std::pair<NodeId, uint32_t>>& nodes, std::ostream& err)
    {
        const auto r = call(
            kRead, [&](Writer& w) { writeReadRequest(w, 0, nodes); }, err);
        if (!r) return {};
        Reader rd = r->body();
        auto values = rd.array<DataValue>([](Reader& x) { return x.dataValue(); });
        return rd.ok() ? values : std::vector<DataValue>{};
    }

    TcpClient& client() { return client_; }
    const NodeId& token() const { return token_; }
    uint32_t next() { return ++handle_; }

private:
    TcpClient client_;
    NodeId token_;
    uint32_t handle_ = 100;
};

struct Ref {
    NodeId target;
    std::string name;
    int32_t nodeClass = 0;
};

std::optional<std::vector<Ref>> browse(Connection& c, const NodeId& node, std::ostream& err)
{
    const auto parse = [](Reader& r, std::vector<Ref>& refs) {
        const StatusCode s = r.statusCode();
        std::string cp = r.byteString();
        const size_t n = r.arrayLength(8);
        for (size_t i = 0; i < n && r.ok(); ++i) {
            Ref ref;
            r.nodeId();
            r.boolean();
            ref.target = r.expandedNodeId().id;
            ref.name = r.qualifiedName().name;
            r.localizedText();
            ref.nodeClass = r.i32();
            r.expandedNodeId();
            refs.push_back(std::move(ref));
        }
        return std::make_pair(s, cp);
    };
    auto r = c.call(
        kBrowse,
        [&](Writer& w) {
            w.nodeId({});
            w.dateTime(0);
            w.u32(0);
            w.u32(0);
            w.arrayLength(1);
            w.nodeId(node);
            w.i32(0);
            w.nodeId(NodeId::num(id::HierarchicalReferences));
            w.boolean(true);
            w.u32(0);
            w.u32(0x3F);
        },
        err);
    if (!r) return std::nullopt;
    std::vector<Ref> refs;
    Reader rd = r->body();
    rd.arrayLength();
    auto [s, cp] = parse(rd, refs);
    for (int pages = 0; pages < 1000 && !cp.empty() && rd.ok() && !isBad(s); ++pages) {
        const std::string point = cp;
        r = c.call(
            kBrowseNext,
            [&](Writer& w) {
                w.boolean(false);
                w.arrayLength(1);
                w.byteString(point);
            },
            err);
        if (!r) return std::nullopt;
        rd = r->body();
        rd.arrayLength();
        std::tie(s, cp) = parse(rd, refs);
    }
    if (isBad(s) || !rd.ok()) {
        err << "browse of " << node.toString() << ": " << formatStatus(s) << "\n";
        return std::nullopt;
    }
    return refs;
}

void printTree(Connection& c, const NodeId& node, int depth, bool recursive, std::ostream& out,
               std::ostream& err, int& budget)
{
    const auto refs = browse(c, node, err);
    if (!refs) return;
    for (const auto& ref : *refs) {
        if (--budget < 0) return;  // bounded output for huge address spaces
        out << std::string(static_cast<size_t>(depth) * 2, ' ') << ref.name << "  " << ref.target.toString()
            << (ref.nodeClass == static_cast<int32_t>(NodeClass::Variable) ? "" : "/") << "\n";
        if (recursive && ref.nodeClass == static_cast<int32_t>(NodeClass::Object) && depth < 16)
            printTree(c, ref.target, depth + 1, recursive, out, err, budget);
    }
}

int subscribe(Connection& c, const std::vector<NodeId>& nodes, double intervalMs, double seconds,
              std::ostream& out, std::ostream& err, const std::atomic<bool>* stop)
{
    const auto sub = c.call(
        kCreateSubscription, [&](Writer& w) { writeCreateSubscription(w, intervalMs, 600, 20); }, err);
    if (!sub) return 1;
    Reader sr = sub->body();
    const uint32_t subscriptionId = sr.u32();
    out << "subscription " << subscriptionId << ", publishing interval " << sr.f64() << " ms\n";
    const auto items = c.call(
        kCreateMonitoredItems, [&](Writer& w) { writeCreateMonitoredItems(w, subscriptionId, nodes); }, err);
    if (!items) return 1;
    Reader ir = items->body();
    const size_t n = ir.arrayLength();
    int failed = 0;
    for (size_t i = 0; i < n && i < nodes.size(); ++i) {
        const StatusCode s = ir.statusCode();
        ir.u32();
        ir.f64();
        ir.u32();
        ir.extensionObject();
        if (isBad(s)) {
            err << nodes[i].toString() << ": " << formatStatus(s) << "\n";
            ++failed;
        }
    }
    if (failed == static_cast<int>(nodes.size())) return 1;

    std::vector<uint32_t> acks;
    const auto publish = [&] {
        c.client().send(makeRequest(kPublish, c.token(), c.next(),
                                    [&](Writer& w) { writePublishRequest(w, subscriptionId, acks); }));
        acks.clear();
    };
    publish();
    publish();
    const auto end =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
    while (std::chrono::steady_clock::now() < end && !(stop != nullptr && stop->load())) {
        const auto r = c.client().receive(std::chrono::milliseconds(200));
        if (!r) {
            if (isBad(c.client().lastError)) {
                err << "connection closed: " << formatStatus(c.client().lastError) << "\n";
                return 1;
            }
            continue;
        }
        if (isBad(r->serviceResult)) {
            if (r->serviceResult != status::BadTimeout) {
                err << "publish: " << formatStatus(r->serviceResult) << "\n";
                return 1;
            }
            publish();
            continue;
        }
        const PublishedChanges published = parsePublishResponse(*r);
        for (const DataChange& change : published.changes) {
            const uint32_t handle = change.clientHandle;
            out << formatTime(change.value.sourceTimestamp) << "  "
                << (handle < nodes.size() ? nodes[handle].toString() : "?") << "  "
                << formatValue(change.value.value) << "  " << formatStatus(change.value.status) << "\n";
        }
        if (published.sequenceToAcknowledge) acks.push_back(*published.sequenceToAcknowledge);
        out.flush();
        publish();
    }
    return 0;
}

}  // namespace

std::string usage()
{
    return "usage: uaclient [-e opc.tcp://127.0.0.1:4840] COMMAND\n"
           "  browse [-r] [NODE]             list what NODE (default: Objects) organizes; -r: the whole "
           "tree\n"
           "  read NODE...                   value, status and source time of each node\n"
           "  write NODE VALUE               write VALUE (arrays: 1,2,3) in the node's data type\n"
           "  subscribe [-i MS] [-t S] NODE...  print data changes for S seconds (default 10)\n"
           "NODE: i=85, ns=0;i=2258, ns=1;s=Line1.Drives.Speed, or an item ID such as Line1.Drives.Speed\n";
}

int run(const std::vector<std::string>& argsIn, std::ostream& out, std::ostream& err,
        const std::atomic<bool>* stop)
{
    std::vector<std::string> args = argsIn;
    std::string url = "opc.tcp://127.0.0.1:4840";
    if (args.size() >= 2 && (args[0] == "-e" || args[0] == "--endpoint")) {
        url = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty()) {
        err << usage();
        return 2;
    }
    const std::string command = args[0];
    args.erase(args.begin());
    std::string error;
    const auto endpoint = parseEndpoint(url, error);
    if (!endpoint) {
        err << error << "\n";
        return 2;
    }

    if (command == "browse") {
        bool recursive = false;
        if (!args.empty() && args[0] == "-r") {
            recursive = true;
            args.erase(args.begin());
        }
        if (args.size() > 1) {
            err << usage();
            return 2;
        }
        Connection c;
        if (!c.open(*endpoint, err)) return 1;
        int budget = 100000;
        printTree(c, args.empty() ? NodeId::num(id::Objects) : parseNodeId(args[0]), 0, recursive, out, err,
                  budget);
        return 0;
    }
    if (command == "read") {
        if (args.empty()) {
            err << usage();
            return 2;
        }
        Connection c;
        if (!c.open(*endpoint, err)) return 1;
        std::vector<std::pair<NodeId, uint32_t>> nodes;
        for (const auto& a : args)
            nodes.emplace_back(parseNodeId(a), attr::Value);
        const auto values = c.read(nodes, err);
        if (values.size() != nodes.size()) return 1;
        int status = 0;
        for (size_t i = 0; i < values.size(); ++i) {
            out << nodes[i].first.toString() << " = " << formatValue(values[i].value) << "  "
                << formatStatus(values[i].status) << "  " << formatTime(values[i].sourceTimestamp) << "\n";
            if (isBad(values[i].status)) status = 1;
        }
        return status;
    }
    if (command == "write") {
        if (args.size() != 2) {
            err << usage();
            return 2;
        }
        Connection c;
        if (!c.open(*endpoint, err)) return 1;
        const NodeId node = parseNodeId(args[0]);
        const auto info = c.read({{node, attr::DataType}, {node, attr::ValueRank}}, err);
        if (info.size() != 2) return 1;
        if (isBad(info[0].status) || !std::holds_alternative<NodeId>(info[0].value.scalar)) {
            err << node.toString() << ": " << formatStatus(info[0].status) << "\n";
            return 1;
        }
        const NodeId dataType = std::get<NodeId>(info[0].value.scalar);
        const bool isArray = std::holds_alternative<int64_t>(info[1].value.scalar) &&
                             std::get<int64_t>(info[1].value.scalar) >= 1;
        if (dataType.ns != 0 || dataType.kind != NodeId::Kind::Numeric || dataType.numeric == 0 ||
            dataType.numeric > 12) {
            err << node.toString() << ": data type " << dataType.toString()
                << " cannot be written from text\n";
            return 1;
        }
        const auto value = parseValue(args[1], static_cast<BuiltinType>(dataType.numeric), isArray);
        if (!value) {
            err << "\"" << args[1] << "\" is not a valid " << dataType.toString() << (isArray ? " array" : "")
                << "\n";
            return 1;
        }
        const auto r = c.call(
            kWrite,
            [&](Writer& w) {
                w.arrayLength(1);
                w.nodeId(node);
                w.u32(attr::Value);
                w.nullString();
                w.dataValue(DataValue::ofValue(*value));
            },
            err);
        if (!r) return 1;
        Reader rd = r->body();
        rd.arrayLength();
        const StatusCode s = rd.statusCode();
        out << node.toString() << ": " << formatStatus(s) << "\n";
        return isBad(s) ? 1 : 0;
    }
    if (command == "subscribe") {
        double interval = 500;
        double seconds = 10;
        std::vector<NodeId> nodes;
        for (size_t i = 0; i < args.size(); ++i) {
            if ((args[i] == "-i" || args[i] == "-t") && i + 1 < args.size()) {
                try {
                    (args[i] == "-i" ? interval : seconds) = std::stod(args[i + 1]);
                } catch (...) {
                    err << usage();
                    return 2;
                }
                ++i;
            } else {
                nodes.push_back(parseNodeId(args[i]));
            }
        }
        if (nodes.empty()) {
            err << usage();
            return 2;
        }
        Connection c;
        if (!c.open(*endpoint, err)) return 1;
        return subscribe(c, nodes, interval, seconds, out, err, stop);
    }
    err << "unknown command " << command << "\n" << usage();
    return 2;
}

}  // namespace orva::uaclient
