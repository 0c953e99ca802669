// Interop check of our OPC UA server with the independent client node-opcua-client.
// Usage: node ua_interop.js <path to ua-testserver>
// Starts the test server on an ephemeral loopback port, then: connect, browse the whole tree
// (with continuation points), read every type and the attributes clients ask for, write, subscribe
// and receive data changes, change the publishing interval, renew the secure channel token,
// exchange messages larger than one chunk, close the session. Exit status 0 when all checks pass.
"use strict";
const { spawn } = require("child_process");
const path = require("path");
const {
  OPCUAClient, MessageSecurityMode, SecurityPolicy, AttributeIds, DataType, StatusCodes,
  TimestampsToReturn, BrowseDirection, NodeClass, Variant, VariantArrayType,
} = require("node-opcua-client");

const serverPath = process.argv[2];
let failures = 0;
let checks = 0;
function check(cond, what) {
  checks++;
  if (!cond) { failures++; console.log("not ok - " + what); } else { console.log("ok - " + what); }
}
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
async function waitFor(pred, ms) {
  const end = Date.now() + ms;
  while (Date.now() < end) { if (pred()) return true; await sleep(20); }
  return pred();
}

function startServer() {
  return new Promise((resolve, reject) => {
    const proc = spawn(serverPath, ["--port", "0", "--animate", "50"], { stdio: ["ignore", "pipe", "inherit"] });
    let out = "";
    const timer = setTimeout(() => reject(new Error("server did not start")), 10000);
    proc.stdout.on("data", (d) => {
      out += d.toString();
      const m = out.match(/listening on (opc\.tcp:\/\/\S+)/);
      if (m) { clearTimeout(timer); resolve({ proc, url: m[1] }); }
    });
    proc.on("exit", (code) => reject(new Error("server exited with " + code)));
  });
}

function makeClient(extra) {
  return OPCUAClient.create(Object.assign({
    endpointMustExist: false,
    securityMode: MessageSecurityMode.None,
    securityPolicy: SecurityPolicy.None,
    connectionStrategy: { maxRetry: 0, initialDelay: 100, maxDelay: 200 },
    keepSessionAlive: false,
  }, extra || {}));
}

async function browseAll(session, nodeId, depth, out) {
  if (depth > 6) return;
  let result = await session.browse({ nodeId, browseDirection: BrowseDirection.Forward, referenceTypeId: "HierarchicalReferences", includeSubtypes: true, resultMask: 63 });
  let refs = result.references || [];
  let pages = 1;
  while (result.continuationPoint && result.continuationPoint.length && pages < 100) {
    result = await session.browseNext(result.continuationPoint, false);
    refs = refs.concat(result.references || []);
    pages++;
  }
  out.pages = (out.pages || 0) + pages - 1;
  for (const r of refs) {
    const id = r.nodeId.toString();
    out.nodes.push({ id, nodeClass: r.nodeClass, name: r.browseName.name });
    if (r.nodeClass === NodeClass.Object) await browseAll(session, id, depth + 1, out);
  }
}

async function main() {
  const { proc, url } = await startServer();
  let exitCode = 1;
  try {
    // Small buffers and a short token lifetime: responses come in several chunks, the token is renewed.
    const client = makeClient({ defaultSecureTokenLifetime: 1500, transportSettings: { receiveBufferSize: 8192, sendBufferSize: 8192 } });
    await client.connect(url);
    const endpoints = await client.getEndpoints();
    check(endpoints.length === 1 && endpoints[0].securityMode === MessageSecurityMode.None, "GetEndpoints offers one None endpoint");
    const servers = await client.findServers();
    check(servers.length === 1, "FindServers lists the server");
    const session = await client.createSession();
    check(!!session, "anonymous session created and activated");

    // Browse the configured tree; 3 references per node forces continuation points.
    session.requestedMaxReferencesPerNode = 3;
    const tree = { nodes: [] };
    await browseAll(session, "ns=1;s=Line1", 0, tree);
    await browseAll(session, "ns=1;s=Line2", 0, tree);
    const ids = tree.nodes.map((n) => n.id);
    check(ids.includes("ns=1;s=Line1.Drives.Speed") && ids.includes("ns=1;s=Line1.Values.Int16Array") && ids.includes("ns=1;s=Line2.Tanks.Level"), "browse reaches every folder and tag");
    check(tree.pages > 0, "browseNext followed continuation points (" + tree.pages + " pages)");
    session.requestedMaxReferencesPerNode = 0;
    const objects = await session.browse("ns=0;i=85");
    const objectNames = objects.references.map((r) => r.browseName.name);
    check(objectNames.includes("Server") && objectNames.includes("Line1") && objectNames.includes("Line2"), "Objects organizes Server and the PLC branches");

    // Read every tag with the attributes clients ask for.
    const variables = tree.nodes.filter((n) => n.nodeClass === NodeClass.Variable);
    const attrs = [AttributeIds.Value, AttributeIds.DataType, AttributeIds.ValueRank, AttributeIds.ArrayDimensions,
      AttributeIds.AccessLevel, AttributeIds.UserAccessLevel, AttributeIds.BrowseName, AttributeIds.DisplayName,
      AttributeIds.Description, AttributeIds.NodeClass, AttributeIds.MinimumSamplingInterval];
    const toRead = [];
    for (const v of variables) for (const a of attrs) toRead.push({ nodeId: v.id, attributeId: a });
    const values = await session.read(toRead, 0);
    const byTag = {};
    variables.forEach((v, i) => {
      const row = {};
      attrs.forEach((a, k) => { row[a] = values[i * attrs.length + k]; });
      byTag[v.id.replace("ns=1;s=", "")] = row;
    });
    const expectType = {
      "Line1.Values.Bool": DataType.Boolean, "Line1.Values.SByte": DataType.SByte, "Line1.Values.Byte": DataType.Byte,
      "Line1.Values.Int16": DataType.Int16, "Line1.Values.UInt16": DataType.UInt16, "Line1.Values.Int32": DataType.Int32,
      "Line1.Values.UInt32": DataType.UInt32, "Line1.Values.Float": DataType.Float, "Line1.Values.String": DataType.String,
      "Line1.Values.BoolArray": DataType.Boolean, "Line1.Values.Int16Array": DataType.Int16, "Line1.Values.FloatArray": DataType.Float,
      "Line1.Values.ByteArray": DataType.Byte,
    };
    for (const [tag, type] of Object.entries(expectType)) {
      const row = byTag[tag];
      const isArray = tag.endsWith("Array");
      check(row && row[AttributeIds.DataType].value.value.value === type, tag + " DataType");
      check(row && row[AttributeIds.Value].statusCode.isGood() && row[AttributeIds.Value].value.dataType === type &&
            (row[AttributeIds.Value].value.arrayType === VariantArrayType.Array) === isArray, tag + " value type");
      check(row && row[AttributeIds.ValueRank].value.value === (isArray ? 1 : -1), tag + " ValueRank");
      if (isArray) {
        const dims = row[AttributeIds.ArrayDimensions].value.value;
        check(dims && dims.length === 1 && dims[0] === row[AttributeIds.Value].value.value.length, tag + " ArrayDimensions match the value");
      }
    }
    check(byTag["Line1.Drives.Speed"][AttributeIds.Description].value.value.text === "Drive speed in rpm", "Description is the comment");
    check(byTag["Line1.Drives.Speed"][AttributeIds.BrowseName].value.value.name === "Speed", "BrowseName is the name");
    check(byTag["Line1.Values.ReadOnly"][AttributeIds.AccessLevel].value.value === 1, "read-only AccessLevel 1");
    check(byTag["Line1.Values.WriteOnly"][AttributeIds.AccessLevel].value.value === 2, "write-only AccessLevel 2");
    check(byTag["Line1.Values.WriteOnly"][AttributeIds.Value].statusCode.equals(StatusCodes.BadNotReadable), "write-only tag is not readable");
    const unknown = await session.read({ nodeId: "ns=1;s=No.Such.Tag", attributeId: AttributeIds.Value });
    check(unknown.statusCode.equals(StatusCodes.BadNodeIdUnknown), "unknown NodeId gives BadNodeIdUnknown");

    // Writes.
    const w = async (id, dataType, value, arrayType) => session.write({ nodeId: "ns=1;s=" + id, attributeId: AttributeIds.Value,
      value: { value: new Variant({ dataType, value, arrayType: arrayType || VariantArrayType.Scalar }) } });
    check((await w("Line1.Values.Int16", DataType.Int16, -1234)).isGood(), "write Int16");
    check((await w("Line1.Values.String", DataType.String, "hello")).isGood(), "write String");
    check((await w("Line1.Values.FloatArray", DataType.Float, new Float32Array([1.5, 2.5, 3.5, 4.5]), VariantArrayType.Array)).isGood(), "write Float array");
    const back = await session.read([{ nodeId: "ns=1;s=Line1.Values.Int16", attributeId: AttributeIds.Value },
      { nodeId: "ns=1;s=Line1.Values.String", attributeId: AttributeIds.Value },
      { nodeId: "ns=1;s=Line1.Values.FloatArray", attributeId: AttributeIds.Value }], 0);
    check(back[0].value.value === -1234 && back[1].value.value === "hello" && back[2].value.value[3] === 4.5, "written values read back");
    check((await w("Line1.Values.Int16", DataType.Double, 1.0)).equals(StatusCodes.BadTypeMismatch), "wrong type gives BadTypeMismatch");
    check((await w("Line1.Values.ReadOnly", DataType.Int16, 1)).equals(StatusCodes.BadNotWritable), "read-only tag gives BadNotWritable");

    // Server object.
    const status = await session.read([{ nodeId: "ns=0;i=2259", attributeId: AttributeIds.Value },
      { nodeId: "ns=0;i=2255", attributeId: AttributeIds.Value }, { nodeId: "ns=0;i=2256", attributeId: AttributeIds.Value },
      { nodeId: "ns=0;i=11705", attributeId: AttributeIds.Value }]);
    check(status[0].value.value === 0, "ServerStatus.State is Running");
    check(status[1].value.value.length === 2 && status[1].value.value[0] === "http://opcfoundation.org/UA/", "NamespaceArray");
    check(status[2].statusCode.isGood() && status[2].value.value && status[2].value.value.state === 0, "ServerStatus structure decodes");
    check(status[3].value.value > 0, "MaxNodesPerRead published");
    const paths = await session.translateBrowsePath({ startingNode: "ns=0;i=85", relativePath: { elements: [
      { referenceTypeId: "ns=0;i=33", includeSubtypes: true, targetName: { namespaceIndex: 1, name: "Line1" } },
      { referenceTypeId: "ns=0;i=33", includeSubtypes: true, targetName: { namespaceIndex: 1, name: "Drives" } },
      { referenceTypeId: "ns=0;i=33", includeSubtypes: true, targetName: { namespaceIndex: 1, name: "Speed" } }] } });
    check(paths.statusCode.isGood() && paths.targets[0].targetId.toString() === "ns=1;s=Line1.Drives.Speed", "TranslateBrowsePathsToNodeIds");
    const registered = await session.registerNodes(["ns=1;s=Line1.Drives.Speed"]);
    check(registered.length === 1, "RegisterNodes");
    await session.unregisterNodes(registered);

    // A read larger than one 8 KiB chunk each way.
    const big = [];
    for (let i = 0; i < 600; i++) big.push({ nodeId: "ns=1;s=Line1.Values.String", attributeId: AttributeIds.Value });
    const bigResult = await session.read(big, 1000);
    check(bigResult.length === 600 && bigResult.every((v) => v.value.value === "hello"), "multi-chunk request and response");

    // Subscriptions.
    const sub = await session.createSubscription2({ requestedPublishingInterval: 100, requestedLifetimeCount: 100,
      requestedMaxKeepAliveCount: 10, maxNotificationsPerPublish: 0, publishingEnabled: true, priority: 1 });
    check(Math.abs(sub.publishingInterval - 100) < 1, "publishing interval 100 ms");
    const seen = [];
    const counter = await sub.monitor({ nodeId: "ns=1;s=Line1.Drives.Counter", attributeId: AttributeIds.Value },
      { samplingInterval: 100, queueSize: 1, discardOldest: true }, TimestampsToReturn.Both);
    counter.on("changed", (dv) => seen.push(dv.value.value));
    check(await waitFor(() => seen.length >= 3, 5000), "data changes arrive (" + seen.length + ")");
    const speedValues = [];
    const speed = await sub.monitor({ nodeId: "ns=1;s=Line1.Drives.Speed", attributeId: AttributeIds.Value },
      { samplingInterval: 100, queueSize: 1 }, TimestampsToReturn.Both);
    speed.on("changed", (dv) => speedValues.push(dv.value.value));
    check(await waitFor(() => speedValues.length >= 1, 5000), "initial value of a new monitored item");
    await w("Line1.Drives.Speed", DataType.Float, 42.5);
    check(await waitFor(() => speedValues.includes(42.5), 5000), "a written value arrives as a data change");
    const modified = await sub.modify({ requestedPublishingInterval: 300, requestedLifetimeCount: 100, requestedMaxKeepAliveCount: 10 });
    check(Math.abs(modified.revisedPublishingInterval - 300) < 1, "ModifySubscription revises the interval to 300 ms");
    const before = seen.length;
    check(await waitFor(() => seen.length >= before + 2, 5000), "data changes continue after the interval change");
    const bad = await sub.monitor({ nodeId: "ns=1;s=Nope", attributeId: AttributeIds.Value }, { samplingInterval: 100 }, TimestampsToReturn.Both)
      .then((m) => m.statusCode, (e) => e);
    check(bad && bad.toString().includes("BadNodeIdUnknown"), "monitoring an unknown node is refused");
    await counter.terminate();
    await speed.terminate();
    await sub.terminate();

    // By now the 1.5 s token has been renewed at least once; the channel still works.
    await sleep(1600);
    const late = await session.read({ nodeId: "ns=0;i=2258", attributeId: AttributeIds.Value });
    check(late.statusCode.isGood(), "requests succeed after the token renewal");

    await session.close();
    await client.disconnect();
    check(true, "session closed and disconnected");
    exitCode = failures === 0 ? 0 : 1;
  } catch (e) {
    console.log("not ok - exception: " + (e && e.stack ? e.stack : e));
    exitCode = 1;
  } finally {
    proc.kill("SIGTERM");
  }
  console.log("# " + checks + " checks, " + failures + " failed");
  process.exit(exitCode);
}

setTimeout(() => { console.log("not ok - timeout"); process.exit(1); }, 90000).unref();
main();
