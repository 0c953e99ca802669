// Server CPU per notification of a subscription under SecurityPolicy None and under
// Basic256Sha256 SignAndEncrypt, in one run: ua-testserver with --bench-tags tags changing every
// animation step, node-opcua-client subscribed to all of them at 100 ms.
// Usage: node secure_subscription.js <ua-testserver> [tags] [seconds]
// Prints notifications per second and CPU microseconds per notification for each, and the ratio.
"use strict";
const fs = require("fs");
const os = require("os");
const path = require("path");
const { spawn } = require("child_process");
const peers = path.join(__dirname, "..", "..", "tests", "interop", "node_modules");
const { OPCUAClient, MessageSecurityMode, SecurityPolicy, AttributeIds } = require(path.join(peers, "node-opcua-client"));
const { OPCUACertificateManager } = require(path.join(peers, "node-opcua-certificate-manager"));

const [serverPath, tagsArg, secondsArg] = process.argv.slice(2);
const tags = Number(tagsArg || 2000);
const seconds = Number(secondsArg || 10);

function cpuSeconds(pid) {
  const stat = fs.readFileSync("/proc/" + pid + "/stat", "utf8");
  const fields = stat.slice(stat.lastIndexOf(")") + 2).split(" ");
  return (Number(fields[11]) + Number(fields[12])) / 100;  // utime + stime in clock ticks (100 Hz)
}

function startServer(work) {
  return new Promise((resolve, reject) => {
    const proc = spawn(serverPath, ["--port", "0", "--animate", "100", "--bench-tags", String(tags),
      "--pki", path.join(work, "pki"), "--auto-accept"], { stdio: ["ignore", "pipe", "ignore"] });
    let out = "";
    const timer = setTimeout(() => reject(new Error("server did not start")), 20000);
    proc.stdout.on("data", (d) => {
      out += d.toString();
      const m = out.match(/listening on (opc\.tcp:\/\/\S+)/);
      if (m) { clearTimeout(timer); resolve({ proc, url: m[1] }); }
    });
  });
}

async function measure(url, pid, certificates, policy, mode) {
  const client = OPCUAClient.create({ endpointMustExist: false, securityPolicy: SecurityPolicy[policy],
    securityMode: MessageSecurityMode[mode], clientCertificateManager: certificates, keepSessionAlive: false,
    connectionStrategy: { maxRetry: 0 } });
  await client.connect(url);
  const session = await client.createSession();
  const sub = await session.createSubscription2({ requestedPublishingInterval: 100, requestedLifetimeCount: 600,
    requestedMaxKeepAliveCount: 10, maxNotificationsPerPublish: 0, publishingEnabled: true });
  let count = 0;
  sub.on("raw_notification", (n) => {
    for (const d of n.notificationData || []) count += (d.monitoredItems || []).length;
  });
  const items = [];
  for (let i = 0; i < tags; i++) items.push({ nodeId: "ns=1;s=Bench.T" + i, attributeId: AttributeIds.Value });
  const group = await sub.monitorItems(items, { samplingInterval: 100, queueSize: 1 }, 0);
  await new Promise((r) => setTimeout(r, 3000));  // warm up
  const cpu0 = cpuSeconds(pid);
  const n0 = count;
  await new Promise((r) => setTimeout(r, seconds * 1000));
  const cpu = cpuSeconds(pid) - cpu0;
  const n = count - n0;
  await group.terminate();
  await session.close();
  await client.disconnect();
  return { rate: n / seconds, usPerNotification: n > 0 ? cpu * 1e6 / n : NaN };
}

(async () => {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), "orva-secure-bench-"));
  const { proc, url } = await startServer(work);
  const certificates = new OPCUACertificateManager({ rootFolder: path.join(work, "client-pki"),
    automaticallyAcceptUnknownCertificate: true });
  await certificates.initialize();
  try {
    const none = await measure(url, proc.pid, certificates, "None", "None");
    const secure = await measure(url, proc.pid, certificates, "Basic256Sha256", "SignAndEncrypt");
    const line = (name, r) => console.log(name.padEnd(32) + r.rate.toFixed(0).padStart(8) + " notifications/s " +
      r.usPerNotification.toFixed(2).padStart(8) + " us CPU/notification");
    line("None", none);
    line("Basic256Sha256 SignAndEncrypt", secure);
    console.log("ratio " + (secure.usPerNotification / none.usPerNotification).toFixed(2) + " (goal at most 1.5)");
  } finally {
    proc.kill("SIGTERM");
    fs.rmSync(work, { recursive: true, force: true });
  }
  process.exit(0);
})().catch((e) => { console.error(e); process.exit(1); });
