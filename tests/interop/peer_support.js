// What the node interop scripts share: TAP-like checks, bounded waits, free loopback ports, and
// child processes that are killed (by their own pid) when the script ends.
"use strict";
const net = require("net");

let failures = 0;
function check(cond, what) {
  if (!cond) { failures++; console.log("not ok - " + what); } else { console.log("ok - " + what); }
}
const failureCount = () => failures;
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
async function waitFor(pred, ms) {
  const end = Date.now() + ms;
  while (Date.now() < end) { if (await pred()) return true; await sleep(50); }
  return pred();
}
function freePort() {
  return new Promise((resolve, reject) => {
    const srv = net.createServer();
    srv.listen(0, "127.0.0.1", () => { const p = srv.address().port; srv.close(() => resolve(p)); });
    srv.on("error", reject);
  });
}
function canConnect(port) {
  return new Promise((resolve) => {
    const s = net.connect({ host: "127.0.0.1", port }, () => { s.destroy(); resolve(true); });
    s.on("error", () => resolve(false));
  });
}
const children = new Set();
function track(proc) {
  children.add(proc);
  proc.on("exit", () => children.delete(proc));
  return proc;
}
process.on("exit", () => { for (const c of children) { try { c.kill("SIGKILL"); } catch (e) { /* gone */ } } });
// Resolves true once the process has ended, false after ms.
function exited(proc, ms) {
  return new Promise((resolve) => {
    if (proc.exitCode !== null || proc.signalCode !== null) return resolve(true);
    const timer = setTimeout(() => resolve(false), ms);
    proc.on("exit", () => { clearTimeout(timer); resolve(true); });
  });
}

module.exports = { check, failureCount, sleep, waitFor, freePort, canConnect, track, exited };
