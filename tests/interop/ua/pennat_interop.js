// Pennat on the simulated MPI adapter, its serial set-up in the machine-wide MpiInterface key,
// seen by node-opcua-client; then Lorvik on the same simulated stations.
// Usage: node pennat_interop.js <Pennat> <Lorvik> <plcsim> <samples/Pennat.xml> <samples/Lorvik.xml>
// Checks: a wrong Parity in the key is a connection-level error on the status line and the tags go
// Bad; with the key fixed and Pennat restarted they are Good, every type reads and writes land;
// Lorvik then serves the same stations with the same values (both go through the one MPI link).
"use strict";
const fs = require("fs");
const os = require("os");
const path = require("path");
let opcua;
try {
  opcua = require("node-opcua-client");
} catch (e) {
  console.log("skipped: node-opcua-client is not installed (cd tests/interop && npm install)");
  process.exit(77);
}
const { DataType, StatusCodes } = opcua;
const m = require("./mpi_servers");
const { check } = m;

const [pennatPath, lorvikPath, plcsimPath, pennatSample, lorvikSample] = process.argv.slice(2);
const ids = ["Line1.Speed", "Line1.Current", "Line1.Running", "Line1.Counter", "Line1.Recipe", "Line1.Setpoints",
  "Line1.Mode", "Tank.Level", "Tank.Offset", "Tank.Alarm", "Tank.Valve"];
// Tags that only clients change (the simulator animates the read-only ones).
const writable = ["Line1.Speed", "Line1.Recipe", "Line1.Setpoints", "Line1.Mode", "Tank.Level", "Tank.Offset", "Tank.Valve"];
const allGood = (values) => values.every((v) => v.statusCode.equals(StatusCodes.Good));
// Strings come back zero-padded to their length from the PLC, as they were written from the cache.
const text = (v) => JSON.stringify(v.value.value).replace(/(\\u0000)+"$/, "\"");

async function main() {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), "orva-pennat-ua-"));
  const link = path.join(work, "ttyMPI");
  const registry = path.join(work, "registry");
  const uaPort = await m.freePort();
  const pennatConfig = path.join(work, "Pennat-test.xml");
  fs.copyFileSync(pennatSample, pennatConfig);
  const lorvikConfig = path.join(work, "Lorvik-test.xml");
  fs.writeFileSync(lorvikConfig, fs.readFileSync(lorvikSample, "latin1").replace("/tmp/orva-lorvik-demo", link), "latin1");
  m.writeKey(registry, "SOFTWARE\\ORVAAutomation\\Pennat", { ConfigFile: pennatConfig, OpcUaPort: uaPort,
    AnonymousAccess: "write", PkiFolder: path.join(path.dirname(registry), "pki-Pennat") });
  m.writeKey(registry, "SOFTWARE\\ORVAAutomation\\Lorvik", { ConfigFile: lorvikConfig, OpcUaPort: uaPort,
    AnonymousAccess: "write", PkiFolder: path.join(path.dirname(registry), "pki-Lorvik") });
  const mpiInterface = (parity) => m.writeKey(registry, "SOFTWARE\\ORVAAutomation\\MpiInterface",
    { Port: link, Baudrate: "38400", DataBits: "8", Parity: parity, StopBits: "1", LocalAddress: "0" });

  const sim = await m.startSimulator(plcsimPath, pennatConfig, link);

  // A wrong parity: the adapter hears garbage and stays silent.
  mpiInterface("EVEN");
  let pennat = await m.startServer(pennatPath, registry);
  let ua = await m.connect(opcua, pennat.url);
  await ua.poll(["Line1.Speed", "Tank.Level"]);
  let values = [];
  check(await m.waitFor(async () => (values = await ua.readAll(ids)).every((v) => v.statusCode.isBad()), 30000),
    "with a wrong Parity in the key the tags go Bad: " + values.map((v) => v.statusCode.name).join(","));
  check(await m.waitFor(() => /status: No answer from the MPI adapter/.test(pennat.log), 15000),
    "the status line shows the error-text library's text for the connection-level code");
  check(/differ from the adapter's 38400 8 O 1/.test(sim.out), "the simulator reports the other side's parity");
  await ua.close();
  check((await m.stop(pennat)) === 0, "Pennat ends in order");

  // The key fixed, Pennat restarted.
  mpiInterface("ODD");
  pennat = await m.startServer(pennatPath, registry);
  check(pennat.url === "opc.tcp://127.0.0.1:" + uaPort, "Pennat's endpoint on the registry's port: " + pennat.url);
  ua = await m.connect(opcua, pennat.url);
  check(await m.waitFor(async () => allGood(values = await ua.readAll(ids)), 30000),
    "with the key fixed every tag of both stations reads Good: " + values.map((v) => v.statusCode.name).join(","));
  const results = await ua.session.write([
    ["Line1.Mode", DataType.Byte, 77], ["Tank.Level", DataType.Int32, 424242], ["Tank.Offset", DataType.SByte, -9],
    ["Line1.Speed", DataType.Int16, -1234], ["Line1.Recipe", DataType.String, "PENNAT"],
  ].map(([id, dataType, value]) => ({ nodeId: ua.node(id), attributeId: opcua.AttributeIds.Value, value: { value: { dataType, value } } })));
  check(results.every((s) => s.equals(StatusCodes.Good)), "Pennat's writes succeed: " + results.map((s) => s.name).join(","));
  const byPennat = await ua.readAll(writable);
  check(byPennat[3].value.value === 77 && byPennat[4].value.value === 424242 && byPennat[0].value.value === -1234,
    "device reads return Pennat's writes: " + byPennat.map(text).join(" "));
  check(fs.existsSync(path.join(path.dirname(pennatPath), "error.dat")), "error.dat lies beside Pennat");
  await ua.close();
  check((await m.stop(pennat)) === 0, "Pennat ends in order");

  // Lorvik on the same stations: the same values.
  const lorvik = await m.startServer(lorvikPath, registry);
  ua = await m.connect(opcua, lorvik.url);
  let byLorvik = [];
  await m.waitFor(async () => allGood(byLorvik = await ua.readAll(writable)), 20000);
  check(allGood(byLorvik) && byLorvik.every((v, i) => text(v) === text(byPennat[i])),
    "Lorvik reads the values Pennat wrote: " + byLorvik.map(text).join(" "));
  await ua.close();
  await m.stop(lorvik);
  await m.stop(sim);
  if (m.failed()) console.log("# Pennat log:\n" + pennat.log.split("\n").slice(-15).join("\n"));
  fs.rmSync(work, { recursive: true, force: true });
  console.log(m.failed() === 0 ? "all passed" : m.failed() + " failed");
  process.exit(m.failed() === 0 ? 0 : 1);
}
main().catch((e) => { console.log("not ok - " + (e && e.stack || e)); process.exit(1); });
