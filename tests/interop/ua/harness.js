// The plumbing of the interop test scripts: TAP-style checks, waiting on conditions with a bound,
// free loopback ports, child processes that never outlive the script, and the overall run.
"use strict";
const net = require("net");

let failures = 0;
function check(cond, what) {
  if (!cond) { failures++; console.log("not ok - " + what); } else { console.log("ok - " + what); }
}
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
const children = new Set();
function track(proc) { children.add(proc); proc.on("exit", () => children.delete(proc)); return proc; }
function killAll() { for (const c of children) { try { c.kill("SIGKILL"); } catch (e) { /* gone */ } } }
process.on("exit", killAll);
function exitCodeOf(proc, ms) {
  return new Promise((resolve) => {
    if (proc.exitCode !== null || proc.signalCode !== null) return resolve(proc.exitCode);
    const timer = setTimeout(() => resolve("timeout"), ms);
    proc.on("exit", (code) => { clearTimeout(timer); resolve(code); });
  });
}
// Runs main within limitMs and exits 0 when every check passed.
function run(main, limitMs) {
  const overall = setTimeout(() => { console.log("not ok - overall time-out"); killAll(); process.exit(1); }, limitMs);
  main().then(() => {
    clearTimeout(overall);
    console.log(failures === 0 ? "# all passed" : "# " + failures + " failed");
    killAll();
    process.exit(failures === 0 ? 0 : 1);
  }, (e) => {
    clearTimeout(overall);
    console.log("not ok - " + (e && e.stack || e));
    killAll();
    process.exit(1);
  });
}

const failureCount = () => failures;

module.exports = { check, failureCount, sleep, waitFor, freePort, track, killAll, exitCodeOf, run };
