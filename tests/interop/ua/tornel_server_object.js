// Tornel's Server object, methods and events, seen by the independent OPC UA client node-opcua-client.
// Usage: node tornel_server_object.js <Tornel> <plcsim> <samples/Tornel.xml>
// Checks: a client that connects through "localhost" finds its endpoint (node-opcua's endpoint
// check on); the standard nodes of the Server object are there with truthful values and types;
// GetMonitoredItems answers for the caller's subscription and refuses another session's; the
// Server object is an event notifier, a stopped PLC is reported as a PlcConnectionEventType event
// (severity high) and its return as another (severity low), and a where clause of another type
// keeps them away. Exit status 0 when all pass.
"use strict";
const fs = require("fs");
const os = require("os");
const path = require("path");
const opcua = require("./tornel_support").requireClient();
const {
  OPCUAClient, MessageSecurityMode, SecurityPolicy, AttributeIds, DataType, StatusCodes, BrowseDirection,
  TimestampsToReturn, constructEventFilter, ofType, resolveNodeId,
} = opcua;
const { check, waitFor, freePort, startPlc, stopPlc, startTornel, prepareSample, run } = require("./tornel_support");

const [tornelPath, plcsimPath, samplePath] = process.argv.slice(2);
const kPlcEventType = "ns=1;i=1001";

function makeClient() {
  return OPCUAClient.create({
    endpointMustExist: true,  // the endpoint must carry the host the client used
    securityMode: MessageSecurityMode.None,
    securityPolicy: SecurityPolicy.None,
    connectionStrategy: { maxRetry: 0, initialDelay: 100, maxDelay: 200 },
    keepSessionAlive: false,
  });
}

async function children(session, nodeId, referenceTypeId) {
  const r = await session.browse({ nodeId, browseDirection: BrowseDirection.Forward,
    referenceTypeId: referenceTypeId || "HierarchicalReferences", includeSubtypes: true, resultMask: 63 });
  return r.references || [];
}
const names = (refs) => refs.map((r) => r.browseName.toString());

async function checkServerObject(session) {
  const server = names(await children(session, "i=2253"));
  for (const n of ["ServerDiagnostics", "VendorServerInfo", "ServerRedundancy", "Auditing", "GetMonitoredItems"])
    check(server.includes(n), "the Server object has " + n);
  const read = async (nodeId, attributeId) => session.read({ nodeId, attributeId: attributeId || AttributeIds.Value });
  check((await read("i=2294")).value.value === false, "ServerDiagnostics.EnabledFlag is false: no diagnostics collected");
  check((await read("i=3709")).value.value === 0, "ServerRedundancy.RedundancySupport is None");
  check((await read("i=2994")).value.value === false, "Auditing is false");
  const caps = names(await children(session, "i=2268"));
  check(["MaxQueryContinuationPoints", "MaxHistoryContinuationPoints", "SoftwareCertificates"].every((n) => caps.includes(n)),
    "ServerCapabilities has the continuation point limits and SoftwareCertificates: " + caps.join(","));
  check((await read("i=2736")).value.value === 0 && (await read("i=2737")).value.value === 0,
    "no query or history continuation points");
  const certs = await read("i=3704");
  check(certs.statusCode.equals(StatusCodes.Good) && certs.value.value.length === 0, "SoftwareCertificates is an empty array");
  const enumStrings = (await read("i=7612")).value.value;
  check(enumStrings && enumStrings.length === 8 && enumStrings[0].text === "Running" && enumStrings[4].text === "Shutdown",
    "ServerState has its EnumStrings");
  const typeOf = async (nodeId) => (await children(session, nodeId, "HasTypeDefinition"))[0].nodeId.toString();
  check((await typeOf("i=2256")) === "ns=0;i=2138", "ServerStatus is a ServerStatusType");
  check((await typeOf("i=2260")) === "ns=0;i=3051", "BuildInfo is a BuildInfoType");
  check((await read("i=2992")).value.value === 0, "SecondsTillShutdown is 0 while running");
  check((await read("ns=1;s=Line1.Mode", AttributeIds.MinimumSamplingInterval)).value.value === 50,
    "a PLC tag's MinimumSamplingInterval is the server's minimum rate (50 ms)");
  check((await read("i=2253", AttributeIds.EventNotifier)).value.value === 1, "the Server object subscribes to events");
  const baseEvent = names(await children(session, "i=2041", "HasProperty"));
  check(["EventId", "EventType", "SourceNode", "SourceName", "Time", "ReceiveTime", "Message", "Severity"]
    .every((n) => baseEvent.includes(n)), "BaseEventType has the standard fields: " + baseEvent.join(","));
  const systemEvents = await children(session, "i=2130", "HasSubtype");
  check(systemEvents.some((r) => r.nodeId.toString() === kPlcEventType && r.browseName.name === "PlcConnectionEventType"),
    "PlcConnectionEventType is a SystemEventType");
  const own = names(await children(session, kPlcEventType, "HasProperty"));
  check(["1:PlcName", "1:ErrorCode", "1:ErrorText"].every((n) => own.includes(n)), "its properties: " + own.join(","));
}

async function checkGetMonitoredItems(session, other) {
  const sub = await session.createSubscription2({ requestedPublishingInterval: 200, requestedLifetimeCount: 600,
    requestedMaxKeepAliveCount: 10, publishingEnabled: true });
  const a = await sub.monitor({ nodeId: "ns=1;s=Line1.Mode", attributeId: AttributeIds.Value },
    { samplingInterval: 200, queueSize: 1 }, TimestampsToReturn.Both);
  const b = await sub.monitor({ nodeId: "ns=1;s=Line1.Alarm", attributeId: AttributeIds.Value },
    { samplingInterval: 200, queueSize: 1 }, TimestampsToReturn.Both);
  const callFor = (s, id) => s.call({ objectId: "i=2253", methodId: "i=11492",
    inputArguments: [{ dataType: DataType.UInt32, value: id }] });
  const mine = await callFor(session, sub.subscriptionId);
  const server = mine.outputArguments[0] && Array.from(mine.outputArguments[0].value || []);
  const client = mine.outputArguments[1] && Array.from(mine.outputArguments[1].value || []);
  check(mine.statusCode.equals(StatusCodes.Good) && server.length === 2 &&
    server.includes(a.monitoredItemId) && server.includes(b.monitoredItemId) &&
    client.includes(a.monitoringParameters.clientHandle) && client.includes(b.monitoringParameters.clientHandle),
    "GetMonitoredItems returns the subscription's server and client handles: " + mine.statusCode.name);
  const theirs = await callFor(other, sub.subscriptionId);
  check(theirs.statusCode.equals(StatusCodes.BadUserAccessDenied), "another session's subscription: " + theirs.statusCode.name);
  const none = await callFor(session, 999999);
  check(none.statusCode.equals(StatusCodes.BadSubscriptionIdInvalid), "an unknown subscription: " + none.statusCode.name);
  const args = await session.read({ nodeId: "i=11493", attributeId: AttributeIds.Value });
  check(args.value.value.length === 1 && args.value.value[0].name === "SubscriptionId", "InputArguments name SubscriptionId");
  await sub.terminate();
}

async function main() {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), "orva-tornel-server-"));
  const plcPort = await freePort();
  const uaPort = await freePort();
  const { registry } = prepareSample(work, samplePath, plcPort, uaPort);
  let plc = await startPlc(plcsimPath, plcPort);
  const tornel = await startTornel(tornelPath, registry);

  // Endpoints echo the host the client used.
  const url = "opc.tcp://localhost:" + uaPort;
  const client = makeClient();
  await client.connect(url);
  const endpoints = await client.getEndpoints();
  check(endpoints.length > 0 && endpoints.every((e) => e.endpointUrl === url), "GetEndpoints through localhost: " +
    endpoints.map((e) => e.endpointUrl).join(","));
  const session = await client.createSession();
  check(true, "a session through localhost with the endpoint check on");
  const client2 = makeClient();
  await client2.connect("opc.tcp://127.0.0.1:" + uaPort);
  const session2 = await client2.createSession();

  await checkServerObject(session);
  await checkGetMonitoredItems(session, session2);

  // Filters in the wrong place are refused as OPC UA says.
  const sub = await session.createSubscription2({ requestedPublishingInterval: 100, requestedLifetimeCount: 600,
    requestedMaxKeepAliveCount: 10, publishingEnabled: true });
  const filter = constructEventFilter(["EventType", "SourceName", "Message", "Severity", "1:PlcName", "1:ErrorCode", "1:ErrorText"],
    ofType(kPlcEventType));
  const raw = await session.createMonitoredItems({ subscriptionId: sub.subscriptionId, timestampsToReturn: TimestampsToReturn.Both,
    itemsToCreate: [
      { itemToMonitor: { nodeId: "ns=1;s=Line1.Mode", attributeId: AttributeIds.Value }, monitoringMode: 2,
        requestedParameters: { clientHandle: 91, samplingInterval: 100, queueSize: 1, discardOldest: true, filter } },
      { itemToMonitor: { nodeId: "i=2253", attributeId: AttributeIds.EventNotifier }, monitoringMode: 2,
        requestedParameters: { clientHandle: 92, samplingInterval: 0, queueSize: 10, discardOldest: true,
          filter: constructEventFilter([], ofType(kPlcEventType)) } },
      { itemToMonitor: { nodeId: "i=2253", attributeId: AttributeIds.EventNotifier }, monitoringMode: 2,
        requestedParameters: { clientHandle: 93, samplingInterval: 0, queueSize: 10, discardOldest: true, filter } }] });
  check(raw.results[0].statusCode.equals(StatusCodes.BadFilterNotAllowed), "an EventFilter on a Value: " + raw.results[0].statusCode.name);
  check(raw.results[1].statusCode.equals(StatusCodes.BadEventFilterInvalid), "an EventFilter without select clauses: " + raw.results[1].statusCode.name);
  check(raw.results[2].statusCode.equals(StatusCodes.Good), "a good EventFilter on the Server object: " + raw.results[2].statusCode.name);
  // Made behind the client library's back: gone before any event arrives for it.
  await session.deleteMonitoredItems({ subscriptionId: sub.subscriptionId, monitoredItemIds: [raw.results[2].monitoredItemId] });

  // PLC connection events. A tag in use keeps the PLC polled, so its loss is noticed.
  await sub.monitor({ nodeId: "ns=1;s=Line1.Mode", attributeId: AttributeIds.Value },
    { samplingInterval: 100, queueSize: 1 }, TimestampsToReturn.Both);
  const events = [];
  const item = await sub.monitor({ nodeId: "i=2253", attributeId: AttributeIds.EventNotifier },
    { samplingInterval: 0, queueSize: 100, discardOldest: true, filter }, TimestampsToReturn.Both);
  item.on("changed", (fields) => events.push(fields.map((f) => f.value)));
  const others = [];
  const overflowOnly = await sub.monitor({ nodeId: "i=2253", attributeId: AttributeIds.EventNotifier },
    { samplingInterval: 0, queueSize: 10, discardOldest: true, filter: constructEventFilter(["EventType"], ofType("i=3035")) },
    TimestampsToReturn.Both);
  overflowOnly.on("changed", (fields) => others.push(fields));

  const type = resolveNodeId(kPlcEventType).toString();
  const lost = () => events.find((e) => e[0] && e[0].toString() === type && e[3] === 800);
  const back = () => events.find((e) => e[0] && e[0].toString() === type && e[3] === 200);
  await stopPlc(plc);
  check(await waitFor(() => lost() !== undefined, 30000), "a stopped PLC is reported as a PlcConnectionEventType event of severity 800");
  const l = lost();
  if (l) {
    check(l[1] === "Line1" && l[4] === "Line1" && l[5] !== 0 && typeof l[6] === "string" && l[6].length > 0,
      "with the PLC's name, its error code " + l[5] + " and text \"" + l[6] + "\"");
    check(l[2] && /Line1/.test(l[2].text), "and a message: " + (l[2] && l[2].text));
  }
  plc = await startPlc(plcsimPath, plcPort);
  check(await waitFor(() => back() !== undefined, 30000), "the PLC's return is reported with severity 200");
  const bk = back();
  if (bk) check(bk[5] === 0, "with error code 0");
  check(others.length === 0, "a where clause of another event type keeps them away");

  await sub.terminate();
  await session.close();
  await session2.close();
  await client.disconnect();
  await client2.disconnect();
  tornel.kill("SIGTERM");
  await stopPlc(plc);
  fs.rmSync(work, { recursive: true, force: true });
}

run(main, 170000);
