// Lorvik on the simulated MPI adapter (plcsim --serial, two stations on a pseudo-terminal), seen
// by the independent OPC UA client node-opcua-client.
// Usage: node lorvik_interop.js <Lorvik> <plcsim> <samples/Lorvik.xml>
// Checks: every type of both stations reads Good, writes land (device reads return them), the
// simulator sees the file's line settings, a stopped simulator turns the values bad with the
// connection-level text on the status line, and a restarted one makes them Good again without
// restarting Lorvik. Exit status 0 when all pass.
"use strict";
const { spawn } = require("child_process");
const fs = require("fs");
const net = require("net");
const os = require("os");
const path = require("path");
let opcua;
try {
  opcua = require("node-opcua-client");
} catch (e) {
  console.log("skipped: node-opcua-client is not installed (cd tests/interop && npm install)");
  process.exit(77);
}
const { OPCUAClient, MessageSecurityMode, SecurityPolicy, AttributeIds, DataType, StatusCodes, VariantArrayType } = opcua;

const [lorvikPath, plcsimPath, samplePath] = process.argv.slice(2);
let failures = 0;
function check(cond, what) {
  if (!cond) { failures++; console.log("not ok - " + what); } else { console.log("ok - " + what); }
}
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
async function waitFor(pred, ms) {
  const end = Date.now() + ms;
  while (Date.now() < end) { if (await pred()) return true; await sleep(100); }
  return pred();
}
function freePort() {
  return new Promise((resolve, reject) => {
    const srv = net.createServer();
    srv.listen(0, "127.0.0.1", () => { const p = srv.address().port; srv.close(() => resolve(p)); });
    srv.on("error", reject);
  });
}
const children = new Set();
function track(proc) { children.add(proc); proc.on("exit", () => children.delete(proc)); return proc; }
process.on("exit", () => { for (const c of children) { try { c.kill("SIGKILL"); } catch (e) { /* gone */ } } });
function exitOf(proc, ms) {
  return new Promise((resolve) => {
    if (proc.exitCode !== null || proc.signalCode !== null) return resolve(proc.exitCode);
    const timer = setTimeout(() => resolve("timeout"), ms);
    proc.on("exit", (code) => { clearTimeout(timer); resolve(code); });
  });
}

async function startSimulator(config, link) {
  const proc = track(spawn(plcsimPath, ["--serial", link, "--config", config, "--animate-ms", "200"],
    { stdio: ["ignore", "pipe", "inherit"] }));
  proc.out = "";
  proc.stdout.on("data", (d) => { proc.out += d.toString(); });
  if (!(await waitFor(() => fs.existsSync(link), 10000))) throw new Error("plcsim did not start:\n" + proc.out);
  return proc;
}

function startLorvik(registryRoot) {
  const env = Object.assign({}, process.env, { ORVA_REGISTRY_ROOT: registryRoot });
  delete env.DISPLAY; delete env.WAYLAND_DISPLAY; delete env.QT_QPA_PLATFORM;
  const proc = track(spawn(lorvikPath, [], { env, stdio: ["ignore", "ignore", "pipe"] }));
  proc.log = "";
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error("Lorvik did not start:\n" + proc.log)), 15000);
    proc.stderr.on("data", (d) => {
      proc.log += d.toString();
      const m = proc.log.match(/OPC UA endpoint (opc\.tcp:\/\/\S+)/);
      if (m && !proc.url) { proc.url = m[1]; clearTimeout(timer); resolve(proc); }
    });
    proc.on("exit", (code) => { clearTimeout(timer); reject(new Error("Lorvik exited with " + code + ":\n" + proc.log)); });
  });
}

const expected = {
  "Line1.Speed": DataType.Int16, "Line1.Current": DataType.Float, "Line1.Running": DataType.Boolean,
  "Line1.Counter": DataType.UInt32, "Line1.Recipe": DataType.String, "Line1.Setpoints": DataType.Int16,
  "Line1.Mode": DataType.Byte, "Tank.Level": DataType.Int32, "Tank.Offset": DataType.SByte,
  "Tank.Alarm": DataType.UInt16, "Tank.Valve": DataType.Boolean,
};
const node = (id) => "ns=1;s=" + id;

async function main() {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), "orva-lorvik-ua-"));
  const link = path.join(work, "ttyMPI");
  const uaPort = await freePort();
  const config = path.join(work, "Lorvik-test.xml");
  fs.writeFileSync(config, fs.readFileSync(samplePath, "latin1").replace("/tmp/orva-lorvik-demo", link), "latin1");
  const registry = path.join(work, "registry");
  fs.mkdirSync(path.join(registry, "software", "orvaautomation"), { recursive: true });
  fs.writeFileSync(path.join(registry, "software", "orvaautomation", "lorvik.reg"),
    "[SOFTWARE\\ORVAAutomation\\Lorvik]\n\"ConfigFile\"=\"" + config + "\"\n\"OpcUaPort\"=\"" + uaPort + "\"\n");

  let sim = await startSimulator(config, link);
  const lorvik = await startLorvik(registry);
  check(lorvik.url === "opc.tcp://127.0.0.1:" + uaPort, "endpoint on the registry's port: " + lorvik.url);
  const client = OPCUAClient.create({ endpointMustExist: false, securityMode: MessageSecurityMode.None,
    securityPolicy: SecurityPolicy.None, connectionStrategy: { maxRetry: 0, initialDelay: 100, maxDelay: 200 },
    keepSessionAlive: false });
  await client.connect(lorvik.url);
  const session = await client.createSession();

  const ids = Object.keys(expected);
  const readAll = () => session.read(ids.map((id) => ({ nodeId: node(id), attributeId: AttributeIds.Value })), 0);
  let values = [];
  await waitFor(async () => { values = await readAll(); return values.every((v) => v.statusCode.equals(StatusCodes.Good)); }, 20000);
  ids.forEach((id, i) => {
    const v = values[i];
    check(v.statusCode.equals(StatusCodes.Good) && v.value.dataType === expected[id] &&
      (v.value.arrayType === VariantArrayType.Array) === (id === "Line1.Setpoints"),
      "read " + id + ": " + v.statusCode.name + " " + DataType[v.value.dataType]);
  });
  check(/line settings of the other side: 38400 8 O 1/.test(sim.out), "the simulator sees the file's SETTINGS (38400 8 O 1)");

  const results = await session.write([
    { nodeId: node("Line1.Mode"), attributeId: AttributeIds.Value, value: { value: { dataType: DataType.Byte, value: 42 } } },
    { nodeId: node("Tank.Level"), attributeId: AttributeIds.Value, value: { value: { dataType: DataType.Int32, value: -123456 } } },
    { nodeId: node("Tank.Offset"), attributeId: AttributeIds.Value, value: { value: { dataType: DataType.SByte, value: -5 } } },
    { nodeId: node("Tank.Valve"), attributeId: AttributeIds.Value, value: { value: { dataType: DataType.Boolean, value: true } } },
    { nodeId: node("Line1.Recipe"), attributeId: AttributeIds.Value, value: { value: { dataType: DataType.String, value: "MPI-7" } } },
  ]);
  check(results.every((s) => s.equals(StatusCodes.Good)), "writes to both stations succeed: " + results.map((s) => s.name).join(","));
  const back = await session.read(["Line1.Mode", "Tank.Level", "Tank.Offset", "Tank.Valve", "Line1.Recipe"]
    .map((id) => ({ nodeId: node(id), attributeId: AttributeIds.Value })), 0);
  check(back[0].value.value === 42 && back[1].value.value === -123456 && back[2].value.value === -5 &&
    back[3].value.value === true && String(back[4].value.value).startsWith("MPI-7"),
    "device reads return the written values: " + back.map((b) => b.value.value).join(","));

  // Polling (a subscription) is what reports errors to the status line.
  const sub = await session.createSubscription2({ requestedPublishingInterval: 200, requestedLifetimeCount: 600,
    requestedMaxKeepAliveCount: 10, maxNotificationsPerPublish: 100, publishingEnabled: true, priority: 1 });
  await sub.monitor({ nodeId: node("Line1.Speed"), attributeId: AttributeIds.Value },
    { samplingInterval: 200, discardOldest: true, queueSize: 10 }, opcua.TimestampsToReturn.Both);
  await sub.monitor({ nodeId: node("Tank.Alarm"), attributeId: AttributeIds.Value },
    { samplingInterval: 200, discardOldest: true, queueSize: 10 }, opcua.TimestampsToReturn.Both);
  await sleep(500);

  // The simulator stops: the port disappears, the values go bad and the status line says why.
  sim.kill("SIGTERM");
  await exitOf(sim, 10000);
  let mode = null;
  check(await waitFor(async () => { mode = (await readAll())[6]; return mode.statusCode.isBad(); }, 30000),
    "a stopped simulator turns the values bad: " + (mode && mode.statusCode.name));
  check(await waitFor(() => /status: .*(Serial port cannot be opened|MPI adapter does not answer)/.test(lorvik.log), 10000),
    "the status line shows the connection-level text" + (failures ? "" : ""));

  sim = await startSimulator(config, link);
  check(await waitFor(async () => (await readAll()).every((v) => v.statusCode.equals(StatusCodes.Good)), 30000),
    "a restarted simulator makes the values Good again without restarting Lorvik");
  if (failures) console.log("# Lorvik log:\n" + lorvik.log.split("\n").slice(-15).join("\n"));

  await session.close();
  await client.disconnect();
  lorvik.kill("SIGTERM");
  check((await exitOf(lorvik, 15000)) === 0, "Lorvik ends in order on SIGTERM");
  sim.kill("SIGTERM");
  await exitOf(sim, 10000);
  check(!fs.existsSync(link), "the simulator removes its link at exit");
  fs.rmSync(work, { recursive: true, force: true });
  console.log(failures === 0 ? "all passed" : failures + " failed");
  process.exit(failures === 0 ? 0 : 1);
}
main().catch((e) => { console.log("not ok - " + (e && e.stack || e)); process.exit(1); });
