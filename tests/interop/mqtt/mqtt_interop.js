// Tornel on the simulated PLC as an MQTT edge node, seen through Debian's mosquitto broker by the
// independent MQTT client "mqtt" and, for Sparkplug B, the independent decoder "sparkplug-payload".
// Usage: node mqtt_interop.js json|sparkplug <Tornel> <plcsim> <mosquitto> <samples/Tornel.xml>
// The broker, the PLC and Tornel's endpoint run on free loopback ports, set through a private
// registry root. Checks, for both formats: the PLC's values arrive with their types; a write
// through the broker lands in PLC memory (read back with node-snap7 when installed, else seen in
// the published values); the broker is stopped for some seconds and restarted, and the changes of
// that time arrive without restarting Tornel; Tornel killed with SIGKILL turns its status offline
// (the will). Sparkplug B also: births, aliases and sequence numbers, a rebirth on request, DDEATH
// when the PLC is lost and DBIRTH when it is back. Exit status 0 when all pass, 77 when skipped.
"use strict";
const { spawn } = require("child_process");
const fs = require("fs");
const os = require("os");
const path = require("path");
let mqtt, sparkplug, sparkplugProto;
try {
  mqtt = require("mqtt");
  sparkplug = require("sparkplug-payload").get("spBv1.0");
  sparkplugProto = require("sparkplug-payload/lib/sparkplugPayloadProto").org.eclipse.tahu.protobuf;
} catch (e) {
  console.log("skipped: the npm peers mqtt and sparkplug-payload are not installed (cd tests/interop && npm install)");
  process.exit(77);
}

const [format, tornelPath, plcsimPath, mosquittoPath, samplePath] = process.argv.slice(2);
const sparkplugMode = format === "sparkplug";

const {
  check, sleep, waitFor, freePort, canConnect, track, exitCodeOf, startTornel, prepareSample, run, snap7, snap7Read,
} = require("../ua/tornel_support.js");
if (!snap7) console.log("# node-snap7 not available: writes are checked through the published values");
const num = (v) => (v !== null && typeof v === "object" && typeof v.toNumber === "function" ? v.toNumber() : v);

// The broker keeps its sessions across a restart (in a folder of the test that the broker's own
// user may write), so the test's subscriber misses nothing that arrives before it is back.
async function startBroker(work, port) {
  const dir = path.join(work, "broker");
  fs.mkdirSync(dir, { recursive: true, mode: 0o777 });
  fs.chmodSync(dir, 0o777);
  fs.chmodSync(work, 0o755);
  const conf = path.join(dir, "mosquitto.conf");
  fs.writeFileSync(conf, "listener " + port + " 127.0.0.1\nallow_anonymous true\npersistence true\n" +
    "persistence_location " + dir + "/\n");
  const proc = track(spawn(mosquittoPath, ["-c", conf], { stdio: ["ignore", "ignore", "ignore"] }));
  if (!(await waitFor(() => canConnect(port), 10000))) throw new Error("mosquitto did not start");
  return proc;
}
async function stop(proc, signal) {
  proc.kill(signal || "SIGTERM");
  await exitCodeOf(proc, 10000);
}
async function startPlc(config, port) {
  const proc = track(spawn(plcsimPath, ["--port", String(port), "--config", config, "--animate-ms", "100"],
    { stdio: ["ignore", "ignore", "inherit"] }));
  if (!(await waitFor(() => canConnect(port), 10000))) throw new Error("plcsim did not start");
  return proc;
}

// Everything the subscriber saw, in arrival order: {topic, payload, retain, at}.
// A persistent session (clean: false) with a client id of its own, when `name` is given.
function subscribe(port, topics, name) {
  const options = { reconnectPeriod: 200, connectTimeout: 2000 };
  if (name) Object.assign(options, { clientId: name + "-" + process.pid, clean: false });
  const client = mqtt.connect("mqtt://127.0.0.1:" + port, options);
  client.seen = [];
  client.subscribed = false;
  client.on("connect", () => client.subscribe(topics, { qos: 1 }, () => { client.subscribed = true; }));
  client.on("message", (topic, payload, packet) => client.seen.push({ topic, payload, retain: packet.retain, at: Date.now() }));
  client.on("error", () => { /* reconnects */ });
  return client;
}
function publish(client, topic, payload) {
  return new Promise((resolve) => client.publish(topic, payload, { qos: 1 }, () => resolve()));
}

async function main() {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), "orva-mqtt-" + format + "-"));
  const [brokerPort, plcPort, uaPort] = [await freePort(), await freePort(), await freePort()];
  const { config, registry } = prepareSample(work, samplePath, plcPort, uaPort);
  fs.appendFileSync(path.join(registry, "software", "orvaautomation", "tornel.reg"),
    "\"MqttBroker\"=\"mqtt://127.0.0.1:" + brokerPort + "\"\n\"MqttFormat\"=\"" + format + "\"\n" +
    "\"MqttUpdateRate\"=\"200\"\n\"MqttWrites\"=\"on\"\n\"MqttClientId\"=\"orva-test-" + process.pid + "\"\n");

  let broker = await startBroker(work, brokerPort);
  let plc = await startPlc(config, plcPort);
  const sub = subscribe(brokerPort, sparkplugMode ? ["spBv1.0/ORVA/#"] : ["orva/#"], "orva-test-subscriber");
  check(await waitFor(() => sub.subscribed, 10000), "the test's subscriber is subscribed");
  const tornel = await startTornel(tornelPath, registry);
  const ok = await waitFor(() => /MQTT: connected to/.test(tornel.log), 15000);
  check(ok, "Tornel connects to the broker");
  if (!ok) { console.log(tornel.log); return; }

  if (sparkplugMode) await sparkplugChecks(sub, tornel, plcPort, config, () => plc, (p) => { plc = p; });
  else await jsonChecks(sub, plcPort);

  // The broker goes away for some seconds and comes back: what changed meanwhile arrives.
  const stoppedAt = Date.now();
  await stop(broker);
  await sleep(3000);
  // Counted before the restart: Tornel may be back and sending while the broker's start is awaited.
  const before = sub.seen.length;
  const restartedAt = Date.now();
  broker = await startBroker(work, brokerPort);
  const back = await waitFor(() => (tornel.log.match(/MQTT: connected to/g) || []).length >= 2, 40000);
  check(back, "Tornel reconnects to the restarted broker by itself");
  await waitFor(() => sub.connected, 30000);
  const inGap = (at) => at > stoppedAt + 300 && at < restartedAt - 300;
  if (sparkplugMode) {
    const gotHistory = await waitFor(() => sub.seen.slice(before).some((m) => m.topic.includes("/DDATA/") &&
      sparkplug.decodePayload(m.payload).metrics.some((x) => x.isHistorical && inGap(num(x.timestamp)))), 60000);
    check(gotHistory, "DDATA of the broker's absence arrive as historical metrics after the new NBIRTH");
  } else {
    const gotGap = await waitFor(() => sub.seen.slice(before).some((m) => m.topic === "orva/Tornel/Line1" &&
      inGap(JSON.parse(m.payload.toString()).timestamp)), 60000);
    check(gotGap, "updates stamped while the broker was away arrive once it is back");
  }
  check(/sending \d+ queued updates/.test(tornel.log), "the log says queued updates are sent");

  // Tornel vanishes: the broker publishes its will.
  const seenBefore = sub.seen.length;
  await stop(tornel, "SIGKILL");
  if (sparkplugMode) {
    const births = sub.seen.filter((m) => m.topic === "spBv1.0/ORVA/NBIRTH/Tornel");
    const lastBdSeq = num(sparkplug.decodePayload(births[births.length - 1].payload).metrics.find((x) => x.name === "bdSeq").value);
    const death = await waitFor(() => sub.seen.slice(seenBefore).some((m) => m.topic === "spBv1.0/ORVA/NDEATH/Tornel"), 60000);
    check(death, "NDEATH arrives when Tornel is killed");
    const nd = sub.seen.slice(seenBefore).find((m) => m.topic === "spBv1.0/ORVA/NDEATH/Tornel");
    if (nd) check(num(sparkplug.decodePayload(nd.payload).metrics.find((x) => x.name === "bdSeq").value) === lastBdSeq,
      "the NDEATH's bdSeq is the last NBIRTH's");
  } else {
    const offline = await waitFor(() => sub.seen.slice(seenBefore).some((m) => m.topic === "orva/Tornel/status" &&
      m.payload.toString() === "offline"), 60000);
    check(offline, "the status topic turns offline when Tornel is killed");
    const late = subscribe(brokerPort, ["orva/Tornel/status"]);
    const retained = await waitFor(() => late.seen.some((m) => m.retain && m.payload.toString() === "offline"), 5000);
    check(retained, "the status offline is retained for later subscribers");
    late.end(true);
  }
  sub.end(true);
  await stop(plc);
  await stop(broker);
  fs.rmSync(work, { recursive: true, force: true });
}

async function jsonChecks(sub, plcPort) {
  const values = {};
  const plcMessages = () => sub.seen.filter((m) => m.topic === "orva/Tornel/Line1").map((m) => JSON.parse(m.payload.toString()));
  const status = await waitFor(() => sub.seen.some((m) => m.topic === "orva/Tornel/status" && m.payload.toString() === "online"), 5000);
  check(status, "status online is published");
  // The values of Good tags; before the first read the tags are Uncertain without a value (null).
  const collect = () => {
    for (const m of plcMessages())
      for (const [id, v] of Object.entries(m.values)) if (!(id in m.quality)) values[id] = v;
  };
  const full = await waitFor(() => { collect(); return Object.keys(values).length === 13; }, 10000);
  check(full, "every tag of Line1 arrives: " + Object.keys(values).join(", "));
  check(typeof values["DRIVES.Speed"] === "number" && typeof values["DRIVES.Running"] === "boolean" &&
    typeof values["PROCESS.Recipe"] === "string" && Array.isArray(values["PROCESS.Setpoints"]) &&
    values["PROCESS.Setpoints"].length === 8 && values["PROCESS.Valves"].length === 12 &&
    typeof values["PROCESS.Valves"][0] === "boolean", "values have their JSON types, arrays as arrays");
  const first = plcMessages()[0];
  check(first && typeof first.timestamp === "number" && Math.abs(first.timestamp - Date.now()) < 60000 &&
    typeof first.quality === "object", "a message has a timestamp in ms since the epoch and a quality object");
  await waitFor(() => plcMessages().length >= 5, 10000);
  const counters = plcMessages().map((m) => m.values["PROCESS.Counter"]).filter((v) => v !== undefined);
  check(counters.length >= 2 && plcMessages().some((m) => Object.keys(m.values).length < 13),
    "later messages carry only the tags that changed");

  // A write through the broker, with its result.
  const pub = mqtt.connect("mqtt://127.0.0.1:" + sub.options.port);
  await waitFor(() => pub.connected, 5000);
  await publish(pub, "orva/Tornel/Line1/write", JSON.stringify({ Mode: 42, "PROCESS.Setpoints": [1, -2, 3, 4, 5, 6, 7, 300],
    Alarm: 1, "DRIVES.Nothing": 5, Offset: 300 }));
  const resultSeen = await waitFor(() => sub.seen.some((m) => m.topic === "orva/Tornel/Line1/write/result"), 10000);
  check(resultSeen, "the write's result arrives");
  if (resultSeen) {
    const result = JSON.parse(sub.seen.find((m) => m.topic === "orva/Tornel/Line1/write/result").payload.toString());
    check(result.Mode === "Good" && result["PROCESS.Setpoints"] === "Good" && result.Alarm === "BadNotWritable" &&
      result["DRIVES.Nothing"] === "BadNodeIdUnknown" && result.Offset === "BadOutOfRange",
      "the result gives each item its status: " + JSON.stringify(result));
  }
  await publish(pub, "orva/Tornel/Line1/write", "{not json");
  const refused = await waitFor(() => sub.seen.some((m) => m.topic === "orva/Tornel/Line1/write/result" &&
    m.payload.toString().includes("BadDecodingError")), 10000);
  check(refused, "a payload that is not a JSON object is answered BadDecodingError");
  pub.end(true);
  const memory = snap7Read(plcPort, 11, 0, 1);
  if (memory) check(memory[0] === 42, "the written Mode is in PLC memory: " + memory[0]);
  const published = await waitFor(() => { collect(); return values.Mode === 42 &&
    values["PROCESS.Setpoints"][7] === 300; }, 10000);
  check(published, "the written values come back in the published values");
}

async function sparkplugChecks(sub, tornel, plcPort, config, getPlc, setPlc) {
  const decoded = () => sub.seen.map((m) => ({ topic: m.topic, p: sparkplug.decodePayload(m.payload), raw: m.payload }));
  const ddataTopic = "spBv1.0/ORVA/DDATA/Tornel/Line1";
  const births = await waitFor(() => decoded().some((m) => m.topic === "spBv1.0/ORVA/DBIRTH/Tornel/Line1"), 10000);
  check(births, "NBIRTH and DBIRTH arrive");
  if (!births) return;
  const all = decoded();
  const nbirth = all.find((m) => m.topic === "spBv1.0/ORVA/NBIRTH/Tornel");
  check(nbirth && num(nbirth.p.seq) === 0 && nbirth.p.metrics.some((x) => x.name === "bdSeq") &&
    nbirth.p.metrics.some((x) => x.name === "Node Control/Rebirth" && x.type === "Boolean"),
    "NBIRTH has seq 0, bdSeq and Node Control/Rebirth");
  const dbirth = all.find((m) => m.topic === "spBv1.0/ORVA/DBIRTH/Tornel/Line1");
  const byName = {};
  for (const x of dbirth.p.metrics) byName[x.name] = x;
  check(Object.keys(byName).length === 13 && byName["Line1.DRIVES.Speed"].type === "Int16" &&
    byName["Line1.DRIVES.Running"].type === "Boolean" && byName["Line1.PROCESS.Recipe"].type === "String" &&
    byName["Line1.PROCESS.Current"] === undefined && byName["Line1.DRIVES.Current"].type === "Float" &&
    byName["Line1.PROCESS.Counter"].type === "UInt32" && byName["Line1.Offset"].type === "Int8",
    "DBIRTH names every tag by item ID with its Sparkplug type");
  const aliases = new Set(dbirth.p.metrics.map((x) => num(x.alias)));
  // Arrays are the packed array types; the test peer's high-level decoder does not know them, its
  // protobuf layer gives the bytes.
  const setpointsAlias = num(byName["Line1.PROCESS.Setpoints"].alias);
  const rawSetpoints = () => sub.seen.filter((m) => m.topic.endsWith("/Tornel/Line1"))
    .flatMap((m) => sparkplugProto.Payload.decode(m.payload).metrics)
    .find((x) => num(x.alias) === setpointsAlias && x.bytesValue && x.bytesValue.length > 0);
  await waitFor(() => rawSetpoints() !== undefined, 10000);
  const setpoints = rawSetpoints();
  check(setpoints && setpoints.datatype === 23 && setpoints.bytesValue.length === 16, "an INT array is an Int16Array of 8 elements");
  check(aliases.size === 13, "every metric has its own alias");

  // DDATA by alias, sequence numbers in order.
  await waitFor(() => decoded().filter((m) => m.topic === ddataTopic).length >= 3, 10000);
  const ddata = decoded().filter((m) => m.topic === ddataTopic);
  check(ddata.length >= 3 && ddata.every((m) => m.p.metrics.every((x) => aliases.has(num(x.alias)) && x.name === undefined)),
    "DDATA carry metrics by alias only");
  const seqs = decoded().filter((m) => !m.topic.includes("/NDEATH/")).map((m) => num(m.p.seq));
  check(seqs.every((s, i) => i === 0 || s === (seqs[i - 1] + 1) % 256), "sequence numbers follow each other: " + seqs.slice(0, 8).join(","));

  // A write through DCMD lands in the PLC.
  const pub = mqtt.connect("mqtt://127.0.0.1:" + sub.options.port);
  await waitFor(() => pub.connected, 5000);
  const modeAlias = num(byName["Line1.Mode"].alias);
  await publish(pub, "spBv1.0/ORVA/DCMD/Tornel/Line1", sparkplug.encodePayload({ timestamp: Date.now(),
    metrics: [{ name: "Line1.Mode", type: "UInt8", value: 42 }] }));
  const written = await waitFor(() => decoded().some((m) => m.topic === ddataTopic &&
    m.p.metrics.some((x) => num(x.alias) === modeAlias && x.value === 42)), 10000);
  check(written, "a DCMD write comes back as DDATA");
  const memory = snap7Read(plcPort, 11, 0, 1);
  if (memory) check(memory[0] === 42, "the DCMD value is in PLC memory: " + memory[0]);

  // Rebirth on request.
  const beforeRebirth = sub.seen.length;
  await publish(pub, "spBv1.0/ORVA/NCMD/Tornel", sparkplug.encodePayload({ timestamp: Date.now(),
    metrics: [{ name: "Node Control/Rebirth", type: "Boolean", value: true }] }));
  const reborn = await waitFor(() => decoded().slice(beforeRebirth).some((m) => m.topic === "spBv1.0/ORVA/DBIRTH/Tornel/Line1"), 10000);
  const rebirth = decoded().slice(beforeRebirth).find((m) => m.topic === "spBv1.0/ORVA/NBIRTH/Tornel");
  check(reborn && rebirth && num(rebirth.p.seq) === 0 &&
    num(rebirth.p.metrics.find((x) => x.name === "bdSeq").value) === num(nbirth.p.metrics.find((x) => x.name === "bdSeq").value),
    "Node Control/Rebirth gives a new NBIRTH (seq 0, same bdSeq) and DBIRTH");
  pub.end(true);

  // The PLC goes away: DDEATH; it comes back: DBIRTH.
  const beforeLoss = sub.seen.length;
  await stop(getPlc());
  const dead = await waitFor(() => decoded().slice(beforeLoss).some((m) => m.topic === "spBv1.0/ORVA/DDEATH/Tornel/Line1"), 30000);
  check(dead, "DDEATH when the PLC's connection is lost");
  const beforeReturn = sub.seen.length;
  setPlc(await startPlc(config, plcPort));
  const alive = await waitFor(() => decoded().slice(beforeReturn).some((m) => m.topic === "spBv1.0/ORVA/DBIRTH/Tornel/Line1"), 30000);
  check(alive, "DBIRTH again when the PLC is back");
}

run(main, 200000);
