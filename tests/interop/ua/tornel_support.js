// What the Tornel interop tests share: TAP-style checks, bounded waits, free loopback ports, plcsim
// and Tornel as child processes (killed when the test ends) with a private registry root.
"use strict";
const { spawn } = require("child_process");
const fs = require("fs");
const net = require("net");
const path = require("path");

// node-opcua-client, or the test is skipped (exit status 77) when it is not installed.
function requireClient() {
  try {
    return require("node-opcua-client");
  } catch (e) {
    console.log("skipped: node-opcua-client is not installed (cd tests/interop && npm install)");
    process.exit(77);
  }
}

const { check, failureCount, sleep, waitFor, freePort, track, killAll, exitCodeOf, run } = require("./harness");

// node-snap7 looks into the PLC's memory beside the gateway; null when it is not installed, and
// the tests then check through the gateway only.
let snap7 = null;
try { snap7 = require("node-snap7"); } catch (e) { snap7 = null; }

// Runs `job` with a node-snap7 client connected to the PLC on `plcPort`; `failed` when it cannot.
function withSnap7(plcPort, failed, job) {
  if (!snap7) return failed;
  const c = new snap7.S7Client();
  c.SetParam(c.RemotePort, plcPort);
  c.SetParam(c.RecvTimeout, 2000);
  if (!c.ConnectTo("127.0.0.1", 0, 2)) return failed;
  const result = job(c);
  c.Disconnect();
  return result;
}
const snap7Read = (plcPort, db, start, size) => withSnap7(plcPort, null, (c) => c.DBRead(db, start, size) || null);
const snap7Write = (plcPort, db, start, bytes) =>
  withSnap7(plcPort, false, (c) => c.DBWrite(db, start, bytes.length, Buffer.from(bytes)));

function canConnect(port) {
  return new Promise((resolve) => {
    const s = net.connect({ host: "127.0.0.1", port }, () => { s.destroy(); resolve(true); });
    s.on("error", () => resolve(false));
  });
}

async function startPlc(plcsimPath, port, extra) {
  const proc = track(spawn(plcsimPath, ["--port", String(port), "--db", "10:256", "--db", "11:64",
    "--animate", "10", "--animate-ms", "100"].concat(extra || []), { stdio: ["ignore", "ignore", "inherit"] }));
  if (!(await waitFor(() => canConnect(port), 10000))) throw new Error("plcsim did not start");
  return proc;
}
async function stopPlc(proc) {
  proc.kill("SIGTERM");
  await exitCodeOf(proc, 10000);
}

function writeRegistry(root, configFile, uaPort) {
  const dir = path.join(root, "software", "orvaautomation");
  fs.mkdirSync(dir, { recursive: true });
  fs.writeFileSync(path.join(dir, "tornel.reg"),
    "[SOFTWARE\\ORVAAutomation\\Tornel]\n\"ConfigFile\"=\"" + configFile + "\"\n\"OpcUaPort\"=\"" + uaPort + "\"\n" +
    // Anonymous clients of these tests write; certificates stay in the test's folder.
    "\"AnonymousAccess\"=\"write\"\n\"PkiFolder\"=\"" + path.join(path.dirname(root), "pki") + "\"\n");
}

// Starts Tornel without a display; resolves once it logs its endpoint (proc.url).
function startTornel(tornelPath, registryRoot, args) {
  // The machine's /etc/orva (certificates, users, configuration) stays out of the test.
  const env = Object.assign({}, process.env,
    { ORVA_REGISTRY_ROOT: registryRoot, ORVA_CONFIG_DIR: path.join(path.dirname(registryRoot), "etc") });
  delete env.DISPLAY; delete env.WAYLAND_DISPLAY; delete env.QT_QPA_PLATFORM;
  const proc = track(spawn(tornelPath, args || [], { env, stdio: ["ignore", "ignore", "pipe"] }));
  proc.log = "";
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error("Tornel did not start:\n" + proc.log)), 15000);
    proc.stderr.on("data", (d) => {
      proc.log += d.toString();
      const m = proc.log.match(/OPC UA endpoint (opc\.tcp:\/\/\S+)/);
      if (m && !proc.url) { proc.url = m[1]; clearTimeout(timer); resolve(proc); }
    });
    proc.on("exit", (code) => { clearTimeout(timer); reject(new Error("Tornel exited with " + code + ":\n" + proc.log)); });
  });
}

// The sample configuration with its PLC on plcPort, registered for Tornel with its endpoint on uaPort.
function prepareSample(work, samplePath, plcPort, uaPort, registryName) {
  const config = path.join(work, "Tornel-test.xml");
  fs.writeFileSync(config, fs.readFileSync(samplePath, "latin1").replace("127.0.0.1:10102", "127.0.0.1:" + plcPort), "latin1");
  const registry = path.join(work, registryName || "registry");
  writeRegistry(registry, config, uaPort);
  return { config, registry };
}

module.exports = {
  requireClient, check, failureCount, sleep, waitFor, freePort, canConnect, track, killAll, exitCodeOf, startPlc, stopPlc,
  writeRegistry, startTornel, prepareSample, run, snap7, snap7Read, snap7Write,
};
