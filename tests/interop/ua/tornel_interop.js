// Tornel on the simulated PLC, seen by the independent OPC UA client node-opcua-client.
// Usage: node tornel_interop.js <Tornel> <plcsim> <samples/Tornel.xml>
// The sample configuration is served with its PLC moved to an unusual loopback port and Tornel's
// endpoint on another, both set through a private registry root. Checks: connect, browse the
// sample tree, read every type, write and see the PLC memory change (read back with node-snap7's
// S7Client when it is installed), subscribe and receive data changes, a stopped PLC turns the
// values bad and its return good again, a PLC that refuses requests gives BadCommunicationError,
// SIGTERM shows the clients state Shutdown with "Server shutdown" and ends with exit code 0, and a
// server started with -Embedding ends when its last session closes. Exit status 0 when all pass.
"use strict";
const fs = require("fs");
const os = require("os");
const path = require("path");
const opcua = require("./tornel_support").requireClient();
const {
  OPCUAClient, MessageSecurityMode, SecurityPolicy, AttributeIds, DataType, StatusCodes,
  TimestampsToReturn, BrowseDirection, NodeClass, VariantArrayType,
} = opcua;

const [tornelPath, plcsimPath, samplePath] = process.argv.slice(2);
const {
  check, sleep, waitFor, freePort, exitCodeOf, startPlc: startPlcAt, stopPlc, writeRegistry,
  startTornel: startTornelAt, run, snap7, snap7Read, snap7Write,
} = require("./tornel_support");
if (!snap7) console.log("# node-snap7 not available: PLC memory read back through OPC UA only");
const startPlc = (port, extra) => startPlcAt(plcsimPath, port, extra);
const startTornel = (registryRoot, args) => startTornelAt(tornelPath, registryRoot, args);

function makeClient() {
  return OPCUAClient.create({
    endpointMustExist: false,
    securityMode: MessageSecurityMode.None,
    securityPolicy: SecurityPolicy.None,
    connectionStrategy: { maxRetry: 0, initialDelay: 100, maxDelay: 200 },
    keepSessionAlive: false,
  });
}

async function browseVariables(session, nodeId, out, depth) {
  if (depth > 6) return;
  const result = await session.browse({ nodeId, browseDirection: BrowseDirection.Forward,
    referenceTypeId: "HierarchicalReferences", includeSubtypes: true, resultMask: 63 });
  for (const r of result.references || []) {
    const id = r.nodeId.toString();
    if (r.nodeClass === NodeClass.Variable && id.startsWith("ns=1;")) out.push(id.replace("ns=1;s=", ""));
    if (r.nodeClass === NodeClass.Object && id.startsWith("ns=1;")) await browseVariables(session, id, out, depth + 1);
  }
}

// The tags of samples/Tornel.xml with the OPC UA type each must have.
const expected = {
  "Line1.DRIVES.Speed": [DataType.Int16, false], "Line1.DRIVES.Current": [DataType.Float, false],
  "Line1.DRIVES.Running": [DataType.Boolean, false], "Line1.DRIVES.Fault": [DataType.Boolean, false],
  "Line1.PROCESS.Temperature": [DataType.Float, false], "Line1.PROCESS.Counter": [DataType.UInt32, false],
  "Line1.PROCESS.Level": [DataType.Int32, false], "Line1.PROCESS.Recipe": [DataType.String, false],
  "Line1.PROCESS.Setpoints": [DataType.Int16, true], "Line1.PROCESS.Valves": [DataType.Boolean, true],
  "Line1.Mode": [DataType.Byte, false], "Line1.Alarm": [DataType.UInt16, false], "Line1.Offset": [DataType.SByte, false],
};
const node = (id) => "ns=1;s=" + id;


async function main() {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), "orva-tornel-ua-"));
  const plcPort = await freePort();
  const uaPort = await freePort();
  const config = path.join(work, "Tornel-test.xml");
  fs.writeFileSync(config, fs.readFileSync(samplePath, "latin1").replace("127.0.0.1:10102", "127.0.0.1:" + plcPort), "latin1");
  writeRegistry(path.join(work, "registry"), config, uaPort);

  let plc = await startPlc(plcPort);
  const tornel = await startTornel(path.join(work, "registry"));
  check(tornel.url === "opc.tcp://127.0.0.1:" + uaPort, "endpoint on loopback and the registry's port: " + tornel.url);

  const client = makeClient();
  await client.connect(tornel.url);
  const session = await client.createSession();

  // Browse: every configured tag under its PLC branch and configured branches.
  const found = [];
  await browseVariables(session, "i=85", found, 0);
  const ids = Object.keys(expected);
  check(ids.every((id) => found.includes(id)) && found.length === ids.length, "browse finds the sample tree: " + found.join(", "));

  // Read every type from the device.
  const values = await session.read(ids.map((id) => ({ nodeId: node(id), attributeId: AttributeIds.Value })), 0);
  ids.forEach((id, i) => {
    const v = values[i];
    const [type, isArray] = expected[id];
    check(v.statusCode.equals(StatusCodes.Good) && v.value.dataType === type &&
      (v.value.arrayType === VariantArrayType.Array) === isArray, "read " + id + ": " + v.statusCode.name + " " + DataType[v.value.dataType]);
  });
  const dataTypes = await session.read(ids.map((id) => ({ nodeId: node(id), attributeId: AttributeIds.DataType })));
  check(dataTypes.every((d, i) => d.value.value.value === expected[ids[i]][0]), "DataType attributes match the native types");

  // Writes reach the PLC's memory.
  const writes = [
    { nodeId: node("Line1.Mode"), attributeId: AttributeIds.Value, value: { value: { dataType: DataType.Byte, value: 42 } } },
    { nodeId: node("Line1.Offset"), attributeId: AttributeIds.Value, value: { value: { dataType: DataType.SByte, value: -5 } } },
    { nodeId: node("Line1.PROCESS.Setpoints"), attributeId: AttributeIds.Value,
      value: { value: { dataType: DataType.Int16, arrayType: VariantArrayType.Array, value: new Int16Array([1, -2, 3, 4, 5, 6, 7, 300]) } } },
    { nodeId: node("Line1.PROCESS.Recipe"), attributeId: AttributeIds.Value, value: { value: { dataType: DataType.String, value: "RECIPE-7" } } },
  ];
  const results = await session.write(writes);
  check(results.every((s) => s.equals(StatusCodes.Good)), "writes succeed: " + results.map((s) => s.name).join(","));
  const ro = await session.write({ nodeId: node("Line1.Alarm"), attributeId: AttributeIds.Value, value: { value: { dataType: DataType.UInt16, value: 1 } } });
  check(ro.equals(StatusCodes.BadNotWritable), "a read-only tag refuses writes: " + ro.name);
  const back = await session.read([node("Line1.Mode"), node("Line1.Offset"), node("Line1.PROCESS.Setpoints"), node("Line1.PROCESS.Recipe")]
    .map((n) => ({ nodeId: n, attributeId: AttributeIds.Value })), 0);
  check(back[0].value.value === 42 && back[1].value.value === -5 && back[2].value.value[7] === 300 &&
    back[3].value.value.startsWith("RECIPE-7"), "device reads return the written values");
  const memory = snap7Read(plcPort, 11, 0, 5);
  if (snap7) check(memory && memory[0] === 42 && memory[4] === 0xFB, "the PLC's DB11 holds the written bytes (node-snap7)");
  const setpoints = snap7Read(plcPort, 10, 36, 16);
  if (snap7) check(setpoints && setpoints.readInt16BE(2) === -2 && setpoints.readInt16BE(14) === 300, "the PLC's DB10 holds the written array, big-endian (node-snap7)");

  // Subscribe: data changes at the publishing interval, from the PLC and from writes.
  const sub = await session.createSubscription2({ requestedPublishingInterval: 200, requestedLifetimeCount: 600,
    requestedMaxKeepAliveCount: 10, maxNotificationsPerPublish: 1000, publishingEnabled: true, priority: 1 });
  check(Math.abs(sub.publishingInterval - 200) < 1, "publishing interval 200 ms granted");
  const seen = { running: [], mode: [], status: [] };
  const monitor = async (id, list) => {
    const item = await sub.monitor({ nodeId: id, attributeId: AttributeIds.Value },
      { samplingInterval: 200, discardOldest: true, queueSize: 10 }, TimestampsToReturn.Both);
    item.on("changed", (dv) => list.push(dv));
    return item;
  };
  await monitor(node("Line1.DRIVES.Running"), seen.running);
  await monitor(node("Line1.Mode"), seen.mode);
  await monitor("i=2256", seen.status);
  check(await waitFor(() => seen.running.filter((d) => d.statusCode.equals(StatusCodes.Good)).length >= 3, 10000),
    "animated PLC bit delivers data changes");
  await session.write({ nodeId: node("Line1.Mode"), attributeId: AttributeIds.Value, value: { value: { dataType: DataType.Byte, value: 7 } } });
  check(await waitFor(() => seen.mode.some((d) => d.value.value === 7), 10000), "a write comes back as a data change");
  if (snap7) {
    check(snap7Write(plcPort, 11, 0, [99]), "node-snap7 changes the PLC memory");
    check(await waitFor(() => seen.mode.some((d) => d.value.value === 99), 10000), "a change in the PLC memory is delivered");
  }

  // The PLC stops: values turn bad; it returns: good again.
  const lastMode = () => seen.mode[seen.mode.length - 1];
  await stopPlc(plc);
  check(await waitFor(() => lastMode().statusCode.isBad(), 20000), "a stopped PLC turns the values bad: " + lastMode().statusCode.name);
  plc = await startPlc(plcPort);
  check(await waitFor(() => lastMode().statusCode.equals(StatusCodes.Good), 30000), "values are good again when the PLC returns");

  // A PLC that refuses every request: BadCommunicationError, then Good once it serves again.
  await stopPlc(plc);
  plc = await startPlc(plcPort, ["--header-error", "0x85:0x00"]);
  check(await waitFor(() => lastMode().statusCode.equals(StatusCodes.BadCommunicationError), 30000),
    "a PLC refusing requests gives BadCommunicationError: " + lastMode().statusCode.name);
  const failedRead = await session.read({ nodeId: node("Line1.Mode"), attributeId: AttributeIds.Value }, 0);
  check(failedRead.statusCode.equals(StatusCodes.BadCommunicationError), "a device read then fails with BadCommunicationError: " + failedRead.statusCode.name);
  await stopPlc(plc);
  plc = await startPlc(plcPort);
  check(await waitFor(() => lastMode().statusCode.equals(StatusCodes.Good), 30000), "Good again after the PLC serves again");

  // SIGTERM: the client sees state Shutdown with the reason before its session ends; exit code 0.
  tornel.kill("SIGTERM");
  check(await waitFor(() => seen.status.some((d) => d.value.value && d.value.value.state === 4 &&
    d.value.value.shutdownReason && d.value.value.shutdownReason.text === "Server shutdown"), 5000),
    "clients see state Shutdown and \"Server shutdown\"");
  check((await exitCodeOf(tornel, 20000)) === 0, "SIGTERM ends Tornel with exit code 0");
  check(/shutting down on signal/.test(tornel.log) && /stopped/.test(tornel.log), "the log tells of the shutdown");
  try { await client.disconnect(); } catch (e) { /* the server is gone */ }

  // -Embedding: the server ends once its last session has closed.
  const embeddedPort = await freePort();
  writeRegistry(path.join(work, "registry-embedded"), config, embeddedPort);
  const embedded = await startTornel(path.join(work, "registry-embedded"), ["-Embedding"]);
  const c2 = makeClient();
  await c2.connect(embedded.url);
  const s2 = await c2.createSession();
  const status = await s2.read({ nodeId: "i=2259", attributeId: AttributeIds.Value });
  check(status.value.value === 0, "-Embedding server runs with a session");
  await sleep(300);
  check(embedded.exitCode === null, "-Embedding server stays while its session is open");
  await s2.close();
  check((await exitCodeOf(embedded, 10000)) === 0, "-Embedding server ends with exit code 0 when its last session closes");
  try { await c2.disconnect(); } catch (e) { /* the server is gone */ }

  await stopPlc(plc);
  fs.rmSync(work, { recursive: true, force: true });
}

run(main, 170000);
