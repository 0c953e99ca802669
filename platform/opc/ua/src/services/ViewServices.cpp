// View services: Browse, BrowseNext, TranslateBrowsePathsToNodeIds, RegisterNodes, UnregisterNodes.
#include <algorithm>

#include "EngineInternal.h"

namespace orva::opcua {

namespace {
struct BrowseDescription {
    NodeId nodeId;
    int32_t direction = 0;
    NodeId referenceType;
    bool includeSubtypes = true;
    uint32_t nodeClassMask = 0;
    uint32_t resultMask = 0x3F;
};

void writeBrowseResult(Writer& w, StatusCode s, const std::string& continuationPoint,
                       std::span<const ReferenceDescription> refs, uint32_t mask)
{
    w.statusCode(s);
    if (continuationPoint.empty())
        w.nullString();
    else
        w.byteString(continuationPoint);
    w.arrayLength(refs.size());
    for (const auto& ref : refs)
        writeReferenceDescription(w, ref, mask);
}
}  // namespace

void Engine::browse(RequestContext& ctx, Reader& r)
{
    const NodeId view = r.nodeId();
    r.dateTime();
    r.u32();
    uint32_t maxRefs = r.u32();
    const auto nodes = r.array<BrowseDescription>(
        [](Reader& x) {
            BrowseDescription d;
            d.nodeId = x.nodeId();
            d.direction = x.i32();
            d.referenceType = x.nodeId();
            d.includeSubtypes = x.boolean();
            d.nodeClassMask = x.u32();
            d.resultMask = x.u32();
            return d;
        },
        13);
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    Session* s = ctx.session;
    if (!view.isNull()) return sendFault(ctx, status::BadViewIdUnknown);
    if (!admitOperations(ctx, nodes.size())) return;
    if (maxRefs == 0 || maxRefs > limits_.maxReferencesPerNode) maxRefs = limits_.maxReferencesPerNode;

    sendResponse(ctx, svc::Browse, [&](Writer& w) {
        w.arrayLength(nodes.size());
        for (const auto& d : nodes) {
            if (d.direction < 0 || d.direction > 2) {
                writeBrowseResult(w, status::BadBrowseDirectionInvalid, {}, {}, 0);
                continue;
            }
            if (!d.referenceType.isNull() && !space_.isReferenceType(d.referenceType)) {
                writeBrowseResult(w, status::BadReferenceTypeIdInvalid, {}, {}, 0);
                continue;
            }
            const auto refs = space_.references(d.nodeId);
            if (!refs) {
                writeBrowseResult(w, status::BadNodeIdUnknown, {}, {}, 0);
                continue;
            }
            std::vector<ReferenceDescription> out;
            for (const auto& ref : *refs) {
                if (d.direction == 0 && !ref.isForward) continue;
                if (d.direction == 1 && ref.isForward) continue;
                if (!d.referenceType.isNull() &&
                    !(d.includeSubtypes ? space_.isSubtypeOf(ref.referenceType, d.referenceType)
                                        : ref.referenceType == d.referenceType))
                    continue;
                const auto target = space_.find(ref.target);
                if (!target) continue;
                if (d.nodeClassMask != 0 && (d.nodeClassMask & static_cast<uint32_t>(target->nodeClass)) == 0)
                    continue;
                out.push_back(ReferenceDescription{ref.referenceType, ref.isForward, ref.target,
                                                   target->browseName, target->displayName, target->nodeClass,
                                                   target->typeDefinition});
            }
            if (out.size() <= maxRefs) {
                writeBrowseResult(w, status::Good, {}, out, d.resultMask);
                continue;
            }
            if (s->continuationPoints.size() >= limits_.maxBrowseContinuationPoints) {
                writeBrowseResult(w, status::BadNoContinuationPoints, {}, {}, 0);
                continue;
            }
            std::string cp = "cp" + std::to_string(s->nextContinuationPoint++);
            ContinuationPoint point{{out.begin() + maxRefs, out.end()}, maxRefs, d.resultMask};
            writeBrowseResult(w, status::Good, cp, std::span(out).first(maxRefs), d.resultMask);
            s->continuationPoints.emplace(std::move(cp), std::move(point));
        }
        w.emptyArray();
    });
}

void Engine::browseNext(RequestContext& ctx, Reader& r)
{
    const bool release = r.boolean();
    const auto points = r.array<std::string>([](Reader& x) { return x.byteString(); }, 4);
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    Session* s = ctx.session;
    if (!admitOperations(ctx, points.size())) return;
    sendResponse(ctx, svc::BrowseNext, [&](Writer& w) {
        w.arrayLength(points.size());
        for (const auto& name : points) {
            const auto it = s->continuationPoints.find(name);
            if (it == s->continuationPoints.end()) {
                writeBrowseResult(w, status::BadContinuationPointInvalid, {}, {}, 0);
                continue;
            }
            ContinuationPoint cp = std::move(it->second);
            s->continuationPoints.erase(it);
            if (release) {
                writeBrowseResult(w, status::Good, {}, {}, 0);
                continue;
            }
            const size_t n = std::min<size_t>(cp.maxReferences, cp.remaining.size());
            const std::span<const ReferenceDescription> now(cp.remaining.data(), n);
            if (n == cp.remaining.size()) {
                writeBrowseResult(w, status::Good, {}, now, cp.resultMask);
                continue;
            }
            std::string next = "cp" + std::to_string(s->nextContinuationPoint++);
            writeBrowseResult(w, status::Good, next, now, cp.resultMask);
            cp.remaining.erase(cp.remaining.begin(), cp.remaining.begin() + static_cast<ptrdiff_t>(n));
            s->continuationPoints.emplace(std::move(next), std::move(cp));
        }
        w.emptyArray();
    });
}

void Engine::translate(RequestContext& ctx, Reader& r)
{
    struct Element {
        NodeId referenceType;
        bool isInverse = false;
        bool includeSubtypes = true;
        QualifiedName target;
    };
    struct Path {
        NodeId start;
        std::vector<Element> elements;
    };
    const auto paths = r.array<Path>(
        [](Reader& x) {
            Path p;
            p.start = x.nodeId();
            p.elements = x.array<Element>(
                [](Reader& y) {
                    Element e;
                    e.referenceType = y.nodeId();
                    e.isInverse = y.boolean();
                    e.includeSubtypes = y.boolean();
                    e.target = y.qualifiedName();
                    return e;
                },
                10);
            return p;
        },
        6);
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    if (!admitOperations(ctx, paths.size())) return;

    sendResponse(ctx, svc::Translate, [&](Writer& w) {
        w.arrayLength(paths.size());
        for (const auto& p : paths) {
            StatusCode result = status::Good;
            std::vector<NodeId> current;
            if (!space_.find(p.start))
                result = status::BadNodeIdUnknown;
            else if (p.elements.empty())
                result = status::BadNothingToDo;
            else
                current.push_back(p.start);
            for (const auto& e : p.elements) {
                if (isBad(result)) break;
                if (e.target.name.empty()) {
                    result = status::BadBrowseNameInvalid;
                    break;
                }
                const NodeId refType =
                    e.referenceType.isNull() ? NodeId::num(id::HierarchicalReferences) : e.referenceType;
                std::vector<NodeId> next;
                for (const auto& node : current) {
                    const auto refs = space_.references(node);
                    if (!refs) continue;
                    for (const auto& ref : *refs) {
                        if (ref.isForward == e.isInverse) continue;
                        if (!(e.includeSubtypes ? space_.isSubtypeOf(ref.referenceType, refType)
                                                : ref.referenceType == refType))
                            continue;
                        const auto target = space_.find(ref.target);
                        if (target && target->browseName == e.target) next.push_back(ref.target);
                    }
                    if (next.size() > 100) break;  // enough matches; keeps a hostile path cheap
                }
                current = std::move(next);
                if (current.empty()) result = status::BadNoMatch;
            }
            w.statusCode(result);
            if (isBad(result)) {
                w.emptyArray();
                continue;
            }
            w.arrayLength(current.size());
            for (const auto& target : current) {
                w.expandedNodeId(ExpandedNodeId{target, {}, 0});
                w.u32(0xFFFFFFFF);
            }
        }
        w.emptyArray();
    });
}

void Engine::registerNodes(RequestContext& ctx, Reader& r)
{
    const auto nodes = r.array<NodeId>([](Reader& x) { return x.nodeId(); }, 2);
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    if (!admitOperations(ctx, nodes.size())) return;
    // Node ids are used as they are; registering hands the same ids back.
    sendResponse(ctx, svc::RegisterNodes, [&](Writer& w) {
        w.arrayLength(nodes.size());
        for (const auto& n : nodes)
            w.nodeId(n);
    });
}

void Engine::unregisterNodes(RequestContext& ctx, Reader& r)
{
    const auto nodes = r.array<NodeId>([](Reader& x) { return x.nodeId(); }, 2);
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    if (!admitOperations(ctx, nodes.size())) return;
    sendResponse(ctx, svc::UnregisterNodes, [](Writer&) {});
}

}  // namespace orva::opcua
