// Shared pieces of the serial-MPI interop tests: the simulated adapter (plcsim --serial), a
// server process (Lorvik or Pennat) with a private registry, an OPC UA client, small waits.
"use strict";
const { spawn } = require("child_process");
const fs = require("fs");
const path = require("path");

const { check, failureCount, sleep, waitFor, freePort, track, exitCodeOf } = require("./harness");
const failed = failureCount;
const exitOf = exitCodeOf;
async function stop(proc) {
  proc.kill("SIGTERM");
  return exitOf(proc, 15000);
}

// plcsim --serial LINK --config FILE; its output collects in proc.out.
async function startSimulator(plcsimPath, config, link) {
  const proc = track(spawn(plcsimPath, ["--serial", link, "--config", config, "--animate-ms", "200"],
    { stdio: ["ignore", "pipe", "inherit"] }));
  proc.out = "";
  proc.stdout.on("data", (d) => { proc.out += d.toString(); });
  if (!(await waitFor(() => fs.existsSync(link), 10000))) throw new Error("plcsim did not start:\n" + proc.out);
  return proc;
}

// One registry key file: values is an object of name -> text.
function writeKey(registryRoot, keyPath, values) {
  const parts = keyPath.toLowerCase().split("\\");
  const dir = path.join(registryRoot, ...parts.slice(0, -1));
  fs.mkdirSync(dir, { recursive: true });
  let text = "[" + keyPath + "]\n";
  for (const [name, value] of Object.entries(values)) text += "\"" + name + "\"=\"" + value + "\"\n";
  fs.writeFileSync(path.join(dir, parts[parts.length - 1] + ".reg"), text);
}

// A server without display, on the private registry; resolves once its endpoint is up. The log
// collects in proc.log.
function startServer(serverPath, registryRoot) {
  // The machine's /etc/orva (certificates, users, configuration) stays out of the test.
  const env = Object.assign({}, process.env,
    { ORVA_REGISTRY_ROOT: registryRoot, ORVA_CONFIG_DIR: path.join(path.dirname(registryRoot), "etc") });
  delete env.DISPLAY; delete env.WAYLAND_DISPLAY; delete env.QT_QPA_PLATFORM;
  const proc = track(spawn(serverPath, [], { env, stdio: ["ignore", "ignore", "pipe"] }));
  proc.log = "";
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(serverPath + " did not start:\n" + proc.log)), 15000);
    proc.stderr.on("data", (d) => {
      proc.log += d.toString();
      const m = proc.log.match(/OPC UA endpoint (opc\.tcp:\/\/\S+)/);
      if (m && !proc.url) { proc.url = m[1]; clearTimeout(timer); resolve(proc); }
    });
    proc.on("exit", (code) => { clearTimeout(timer); reject(new Error(serverPath + " exited with " + code + ":\n" + proc.log)); });
  });
}

// A session on the server, with readAll(ids) (device reads) and poll(ids) (a subscription, which
// is what reports errors to the status line).
async function connect(opcua, url) {
  const { OPCUAClient, MessageSecurityMode, SecurityPolicy, AttributeIds, TimestampsToReturn } = opcua;
  const client = OPCUAClient.create({ endpointMustExist: false, securityMode: MessageSecurityMode.None,
    securityPolicy: SecurityPolicy.None, connectionStrategy: { maxRetry: 0, initialDelay: 100, maxDelay: 200 },
    keepSessionAlive: false });
  await client.connect(url);
  const session = await client.createSession();
  const node = (id) => "ns=1;s=" + id;
  return {
    session, node,
    readAll: (ids) => session.read(ids.map((id) => ({ nodeId: node(id), attributeId: AttributeIds.Value })), 0),
    poll: async (ids) => {
      const sub = await session.createSubscription2({ requestedPublishingInterval: 200, requestedLifetimeCount: 600,
        requestedMaxKeepAliveCount: 10, maxNotificationsPerPublish: 100, publishingEnabled: true, priority: 1 });
      for (const id of ids) {
        await sub.monitor({ nodeId: node(id), attributeId: AttributeIds.Value },
          { samplingInterval: 200, discardOldest: true, queueSize: 10 }, TimestampsToReturn.Both);
      }
    },
    close: async () => { await session.close(); await client.disconnect(); },
  };
}

module.exports = { check, failed, sleep, waitFor, freePort, exitOf, stop, startSimulator, writeKey, startServer, connect };
