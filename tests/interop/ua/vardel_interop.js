// Vardel on node-snap7's S7Server, found through the SAPI-S7 connection database, seen by the
// independent OPC UA client node-opcua-client.
// Usage: node vardel_interop.js <Vardel> <samples/Vardel.xml>
// A private registry root holds Vardel's configuration file and endpoint port and the connection
// database of the sample's interface S7ONLINE, whose connection Line1 points at the S7Server.
// Checks: every type of the sample reads the PLC's bytes; writes land in the PLC's memory (read
// back by the S7Server itself); a stopped PLC turns a subscribed value bad and its return good
// again without restarting Vardel; SIGTERM ends Vardel with exit code 0.
"use strict";
const { spawn } = require("child_process");
const fs = require("fs");
const os = require("os");
const path = require("path");
const readline = require("readline");
const { check, waitFor, freePort, track, exitCodeOf, run } = require("./harness.js");
let opcua;
try {
  opcua = require("node-opcua-client");
  require("node-snap7");
} catch (e) {
  console.log("skipped: node-opcua-client or node-snap7 is not installed (cd tests/interop && npm install)");
  process.exit(77);
}
const { OPCUAClient, MessageSecurityMode, SecurityPolicy, AttributeIds, DataType, StatusCodes,
  TimestampsToReturn, VariantArrayType } = opcua;

const [vardelPath, samplePath] = process.argv.slice(2);

// The S7Server peer, driven line by line over its standard input.
function startPeer(port) {
  const proc = track(spawn("node", [path.join(__dirname, "snap7_vardel_plc.js"), String(port)],
    { stdio: ["pipe", "pipe", "inherit"] }));
  const waiting = [];
  readline.createInterface({ input: proc.stdout }).on("line", (line) => {
    const i = waiting.findIndex((w) => line.startsWith(w.prefix));
    if (i >= 0) waiting.splice(i, 1)[0].resolve(line);
  });
  proc.expect = (prefix, ms = 10000) => new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error("S7Server peer: no \"" + prefix + "\"")), ms);
    waiting.push({ prefix, resolve: (l) => { clearTimeout(timer); resolve(l); } });
  });
  proc.command = (line, prefix) => { const p = proc.expect(prefix); proc.stdin.write(line + "\n"); return p; };
  return proc;
}

function startVardel(registryRoot) {
  const env = Object.assign({}, process.env, { ORVA_REGISTRY_ROOT: registryRoot });
  delete env.DISPLAY; delete env.WAYLAND_DISPLAY; delete env.QT_QPA_PLATFORM;
  const proc = track(spawn(vardelPath, [], { env, stdio: ["ignore", "ignore", "pipe"] }));
  proc.log = "";
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error("Vardel did not start:\n" + proc.log)), 15000);
    proc.stderr.on("data", (d) => {
      proc.log += d.toString();
      const m = proc.log.match(/OPC UA endpoint (opc\.tcp:\/\/\S+)/);
      if (m && !proc.url) { proc.url = m[1]; clearTimeout(timer); resolve(proc); }
    });
    proc.on("exit", (code) => { clearTimeout(timer); reject(new Error("Vardel exited with " + code + ":\n" + proc.log)); });
  });
}

// The sample's tags: bytes placed in the PLC, the type and the value each must read as.
const db10 = "fed4" + "41480000" + "0100" + "41aa0000" + "ee6b2800" + "fffeee90" +
  Buffer.from("MIX-42").toString("hex") + "00".repeat(10) +
  "0001000200030004000500060007fff8" + "0508";
const db11 = "c800fde8f9";
const expected = {
  "Line1.DRIVES.Speed": [DataType.Int16, -300], "Line1.DRIVES.Current": [DataType.Float, 12.5],
  "Line1.DRIVES.Running": [DataType.Boolean, true], "Line1.DRIVES.Fault": [DataType.Boolean, false],
  "Line1.PROCESS.Temperature": [DataType.Float, 21.25], "Line1.PROCESS.Counter": [DataType.UInt32, 4000000000],
  "Line1.PROCESS.Level": [DataType.Int32, -70000], "Line1.PROCESS.Recipe": [DataType.String, "MIX-42"],
  "Line1.PROCESS.Setpoints": [DataType.Int16, [1, 2, 3, 4, 5, 6, 7, -8]],
  "Line1.PROCESS.Valves": [DataType.Boolean, [true, false, true, false, false, false, false, false, false, false, false, true]],
  "Line1.Mode": [DataType.Byte, 200], "Line1.Alarm": [DataType.UInt16, 65000], "Line1.Offset": [DataType.SByte, -7],
};
const node = (id) => "ns=1;s=" + id;
function same(actual, wanted) {
  if (Array.isArray(wanted)) return actual && wanted.every((w, i) => actual[i] === w) && actual.length === wanted.length;
  if (typeof wanted === "string") return typeof actual === "string" && actual.replace(/\0+$/, "") === wanted;
  return actual === wanted;
}

async function main() {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), "orva-vardel-ua-"));
  const plcPort = await freePort();
  const uaPort = await freePort();
  const registry = path.join(work, "registry");
  const keys = path.join(registry, "software", "orvaautomation");
  fs.mkdirSync(path.join(keys, "sapis7"), { recursive: true });
  fs.writeFileSync(path.join(keys, "vardel.reg"), "[SOFTWARE\\ORVAAutomation\\Vardel]\n\"ConfigFile\"=\"" +
    samplePath + "\"\n\"OpcUaPort\"=\"" + uaPort + "\"\n\"AnonymousAccess\"=\"write\"\n\"PkiFolder\"=\"" +
    path.join(path.dirname(registry), "pki") + "\"\n");
  fs.writeFileSync(path.join(keys, "sapis7", "s7online.reg"), "[SOFTWARE\\ORVAAutomation\\SapiS7\\S7ONLINE]\n" +
    "\"Device\"=\"ISO-on-TCP\"\n\"Line1\"=\"127.0.0.1:" + plcPort + " rack=0 slot=2\"\n");

  const plc = startPeer(plcPort);
  check((await plc.expect("ready")) === "ready " + plcPort, "S7Server listens on its port");
  await plc.command("set 10 0 " + db10, "set");
  await plc.command("set 11 0 " + db11, "set");

  const vardel = await startVardel(registry);
  check(vardel.url === "opc.tcp://127.0.0.1:" + uaPort, "endpoint on loopback and the registry's port: " + vardel.url);
  const client = OPCUAClient.create({ endpointMustExist: false, securityMode: MessageSecurityMode.None,
    securityPolicy: SecurityPolicy.None, connectionStrategy: { maxRetry: 0, initialDelay: 100, maxDelay: 200 },
    keepSessionAlive: false });
  await client.connect(vardel.url);
  const session = await client.createSession();

  // Every type, read from the device.
  const ids = Object.keys(expected);
  const values = await session.read(ids.map((id) => ({ nodeId: node(id), attributeId: AttributeIds.Value })), 0);
  ids.forEach((id, i) => {
    const v = values[i];
    const [type, wanted] = expected[id];
    const actual = v.value.arrayType === VariantArrayType.Array ? Array.from(v.value.value) : v.value.value;
    check(v.statusCode.equals(StatusCodes.Good) && v.value.dataType === type && same(actual, wanted),
      "read " + id + ": " + v.statusCode.name + " " + DataType[v.value.dataType] + " " + JSON.stringify(actual));
  });

  // Writes land in the PLC's memory.
  const results = await session.write([
    { nodeId: node("Line1.Mode"), attributeId: AttributeIds.Value, value: { value: { dataType: DataType.Byte, value: 42 } } },
    { nodeId: node("Line1.Offset"), attributeId: AttributeIds.Value, value: { value: { dataType: DataType.SByte, value: -5 } } },
    { nodeId: node("Line1.DRIVES.Speed"), attributeId: AttributeIds.Value, value: { value: { dataType: DataType.Int16, value: 1234 } } },
    { nodeId: node("Line1.PROCESS.Setpoints"), attributeId: AttributeIds.Value,
      value: { value: { dataType: DataType.Int16, arrayType: VariantArrayType.Array, value: new Int16Array([9, 8, 7, 6, 5, 4, 3, 300]) } } },
    { nodeId: node("Line1.PROCESS.Recipe"), attributeId: AttributeIds.Value, value: { value: { dataType: DataType.String, value: "RECIPE-7" } } },
  ]);
  check(results.every((s) => s.equals(StatusCodes.Good)), "writes succeed: " + results.map((s) => s.name).join(","));
  const dump11 = Buffer.from((await plc.command("dump 11", "DB11")).split(" ")[1], "hex");
  check(dump11[0] === 42 && dump11[4] === 0xfb && dump11[2] === 0xfd, "DB11 of the S7Server holds the written bytes, the rest kept");
  const dump10 = Buffer.from((await plc.command("dump 10", "DB10")).split(" ")[1], "hex");
  check(dump10.readInt16BE(0) === 1234 && dump10.readInt16BE(50) === 300 && dump10.toString("latin1", 20, 28) === "RECIPE-7" &&
    dump10.readFloatBE(2) === 12.5, "DB10 of the S7Server holds the written values, big-endian");

  // A subscribed value follows the PLC: stopped -> Bad, back -> Good, Vardel running throughout.
  const sub = await session.createSubscription2({ requestedPublishingInterval: 200, requestedLifetimeCount: 600,
    requestedMaxKeepAliveCount: 10, maxNotificationsPerPublish: 100, publishingEnabled: true, priority: 1 });
  const seen = [];
  const item = await sub.monitor({ nodeId: node("Line1.Mode"), attributeId: AttributeIds.Value },
    { samplingInterval: 200, discardOldest: true, queueSize: 10 }, TimestampsToReturn.Both);
  item.on("changed", (dv) => seen.push(dv));
  const last = () => seen[seen.length - 1];
  check(await waitFor(() => seen.length > 0 && last().statusCode.equals(StatusCodes.Good) && last().value.value === 42, 10000),
    "the subscription delivers the written value");
  await plc.command("set 11 0 63", "set");
  check(await waitFor(() => last().value.value === 99, 10000), "a change in the PLC's memory is delivered");
  await plc.command("stop", "stopped");
  check(await waitFor(() => last().statusCode.isBad(), 20000), "a stopped PLC turns the value bad: " + last().statusCode.name);
  await plc.command("start", "started");
  check(await waitFor(() => last().statusCode.equals(StatusCodes.Good), 30000), "the value is good again when the PLC returns");
  check(vardel.exitCode === null, "Vardel kept running");

  vardel.kill("SIGTERM");
  check((await exitCodeOf(vardel, 20000)) === 0, "SIGTERM ends Vardel with exit code 0");
  try { await client.disconnect(); } catch (e) { /* the server is gone */ }
  plc.stdin.end();
  await exitCodeOf(plc, 10000);
  fs.rmSync(work, { recursive: true, force: true });
}

run(main, 170000);
