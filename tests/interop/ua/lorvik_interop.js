// Lorvik on the simulated MPI adapter (plcsim --serial, two stations on a pseudo-terminal), seen
// by the independent OPC UA client node-opcua-client.
// Usage: node lorvik_interop.js <Lorvik> <plcsim> <samples/Lorvik.xml>
// Checks: every type of both stations reads Good, writes land (device reads return them), the
// simulator sees the file's line settings, a stopped simulator turns the values bad with the
// connection-level text on the status line, and a restarted one makes them Good again without
// restarting Lorvik. Exit status 0 when all pass.
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
const { DataType, StatusCodes, VariantArrayType } = opcua;
const m = require("./mpi_servers");
const { check } = m;

const [lorvikPath, plcsimPath, samplePath] = process.argv.slice(2);

const expected = {
  "Line1.Speed": DataType.Int16, "Line1.Current": DataType.Float, "Line1.Running": DataType.Boolean,
  "Line1.Counter": DataType.UInt32, "Line1.Recipe": DataType.String, "Line1.Setpoints": DataType.Int16,
  "Line1.Mode": DataType.Byte, "Tank.Level": DataType.Int32, "Tank.Offset": DataType.SByte,
  "Tank.Alarm": DataType.UInt16, "Tank.Valve": DataType.Boolean,
};
const ids = Object.keys(expected);
const allGood = (values) => values.every((v) => v.statusCode.equals(StatusCodes.Good));

async function main() {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), "orva-lorvik-ua-"));
  const link = path.join(work, "ttyMPI");
  const uaPort = await m.freePort();
  const config = path.join(work, "Lorvik-test.xml");
  fs.writeFileSync(config, fs.readFileSync(samplePath, "latin1").replace("/tmp/orva-lorvik-demo", link), "latin1");
  const registry = path.join(work, "registry");
  m.writeKey(registry, "SOFTWARE\\ORVAAutomation\\Lorvik", { ConfigFile: config, OpcUaPort: uaPort, AnonymousAccess: "write",
    PkiFolder: path.join(path.dirname(registry), "pki-Lorvik") });

  let sim = await m.startSimulator(plcsimPath, config, link);
  const lorvik = await m.startServer(lorvikPath, registry);
  check(lorvik.url === "opc.tcp://127.0.0.1:" + uaPort, "endpoint on the registry's port: " + lorvik.url);
  const ua = await m.connect(opcua, lorvik.url);

  let values = [];
  await m.waitFor(async () => allGood(values = await ua.readAll(ids)), 20000);
  ids.forEach((id, i) => {
    const v = values[i];
    check(v.statusCode.equals(StatusCodes.Good) && v.value.dataType === expected[id] &&
      (v.value.arrayType === VariantArrayType.Array) === (id === "Line1.Setpoints"),
      "read " + id + ": " + v.statusCode.name + " " + DataType[v.value.dataType]);
  });
  check(/line settings of the other side: 38400 8 O 1/.test(sim.out), "the simulator sees the file's SETTINGS (38400 8 O 1)");

  const results = await ua.session.write([
    ["Line1.Mode", DataType.Byte, 42], ["Tank.Level", DataType.Int32, -123456], ["Tank.Offset", DataType.SByte, -5],
    ["Tank.Valve", DataType.Boolean, true], ["Line1.Recipe", DataType.String, "MPI-7"],
  ].map(([id, dataType, value]) => ({ nodeId: ua.node(id), attributeId: opcua.AttributeIds.Value, value: { value: { dataType, value } } })));
  check(results.every((s) => s.equals(StatusCodes.Good)), "writes to both stations succeed: " + results.map((s) => s.name).join(","));
  const back = await ua.readAll(["Line1.Mode", "Tank.Level", "Tank.Offset", "Tank.Valve", "Line1.Recipe"]);
  check(back[0].value.value === 42 && back[1].value.value === -123456 && back[2].value.value === -5 &&
    back[3].value.value === true && String(back[4].value.value).startsWith("MPI-7"),
    "device reads return the written values: " + back.map((b) => b.value.value).join(","));

  // The simulator stops: the port disappears, the values go bad and the status line says why.
  await ua.poll(["Line1.Speed", "Tank.Alarm"]);
  await m.sleep(500);
  await m.stop(sim);
  let mode = null;
  check(await m.waitFor(async () => (mode = (await ua.readAll(["Line1.Mode"]))[0]).statusCode.isBad(), 30000),
    "a stopped simulator turns the values bad: " + (mode && mode.statusCode.name));
  check(await m.waitFor(() => /status: .*(Serial port cannot be opened|MPI adapter does not answer)/.test(lorvik.log), 10000),
    "the status line shows the connection-level text");

  sim = await m.startSimulator(plcsimPath, config, link);
  check(await m.waitFor(async () => allGood(await ua.readAll(ids)), 30000),
    "a restarted simulator makes the values Good again without restarting Lorvik");

  await ua.close();
  check((await m.stop(lorvik)) === 0, "Lorvik ends in order on SIGTERM");
  await m.stop(sim);
  check(!fs.existsSync(link), "the simulator removes its link at exit");
  if (m.failed()) console.log("# Lorvik log:\n" + lorvik.log.split("\n").slice(-15).join("\n"));
  fs.rmSync(work, { recursive: true, force: true });
  console.log(m.failed() === 0 ? "all passed" : m.failed() + " failed");
  process.exit(m.failed() === 0 ? 0 : 1);
}
main().catch((e) => { console.log("not ok - " + (e && e.stack || e)); process.exit(1); });
