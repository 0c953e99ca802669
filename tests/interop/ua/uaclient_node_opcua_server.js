// uaclient against an independent OPC UA server: node-opcua-server on a loopback port with one
// writable variable and one user, under SecurityPolicy None (anonymous) and Basic256Sha256
// SignAndEncrypt (user name and password).
// Usage: node uaclient_node_opcua_server.js <uaclient>
// Checks: read, write and a short subscription in both; the server's certificate is refused until
// trusted (--trust-server) and lands in the client's rejected/certs; a wrong password and an
// endpoint the server does not offer are refused with a message naming the cause.
"use strict";
const fs = require("fs");
const os = require("os");
const path = require("path");
const { spawn } = require("child_process");
const { check, freePort, run } = require("./harness");

let server;
try {
  server = require("node-opcua-server");
} catch (e) {
  console.log("skipped: node-opcua-server is not installed (cd tests/interop && npm install)");
  process.exit(77);
}
const { OPCUACertificateManager } = require("node-opcua-certificate-manager");
const { OPCUAServer } = server;
// The protocol's types, as the client package exports them.
const { Variant, DataType, StatusCodes, SecurityPolicy, MessageSecurityMode } = require("node-opcua-client");

const [uaclientPath] = process.argv.slice(2);
const speedNode = "ns=1;s=Speed";

// Runs uaclient to its end (bounded); the password, if any, on standard input.
function uaclient(env, args, input) {
  return new Promise((resolve) => {
    const proc = spawn(uaclientPath, args, { env, stdio: ["pipe", "pipe", "pipe"] });
    let out = "";
    let err = "";
    const timer = setTimeout(() => proc.kill("SIGKILL"), 30000);
    proc.stdout.on("data", (d) => { out += d; });
    proc.stderr.on("data", (d) => { err += d; });
    proc.on("exit", (code) => { clearTimeout(timer); resolve({ code, out, err }); });
    proc.stdin.end(input || "");
  });
}

async function main() {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), "orva-uaclient-node-server-"));
  const port = await freePort();
  const serverCertificates = new OPCUACertificateManager({ rootFolder: path.join(work, "server-pki"),
    automaticallyAcceptUnknownCertificate: true });
  await serverCertificates.initialize();
  let speed = 12.5;
  const ua = new OPCUAServer({
    port, host: "127.0.0.1", hostname: "localhost", serverCertificateManager: serverCertificates,
    securityPolicies: [SecurityPolicy.None, SecurityPolicy.Basic256Sha256],
    securityModes: [MessageSecurityMode.None, MessageSecurityMode.Sign, MessageSecurityMode.SignAndEncrypt],
    allowAnonymous: true,
    userManager: { isValidUser: (user, password) => user === "operator" && password === "op-secret" },
  });
  await ua.initialize();
  const namespace = ua.engine.addressSpace.getOwnNamespace();
  namespace.addVariable({
    organizedBy: ua.engine.addressSpace.rootFolder.objects, browseName: "Speed", nodeId: "s=Speed",
    dataType: "Double", accessLevel: "CurrentRead | CurrentWrite", userAccessLevel: "CurrentRead | CurrentWrite",
    minimumSamplingInterval: 100,
    value: {
      get: () => new Variant({ dataType: DataType.Double, value: speed }),
      set: (v) => { speed = v.value; return StatusCodes.Good; },
    },
  });
  await ua.start();
  const url = "opc.tcp://127.0.0.1:" + port;
  const env = Object.assign({}, process.env, { XDG_CONFIG_HOME: path.join(work, "xdg") });
  const clientPki = path.join(work, "xdg", "orva", "uaclient", "pki");

  // SecurityPolicy None, anonymous.
  let r = await uaclient(env, ["-e", url, "read", speedNode]);
  check(r.code === 0 && /= 12\.5 +Good/.test(r.out), "None: read (" + r.out.trim() + r.err.trim() + ")");
  r = await uaclient(env, ["-e", url, "write", speedNode, "33.25"]);
  check(r.code === 0 && speed === 33.25, "None: write reaches the server (" + r.out.trim() + r.err.trim() + ")");
  let ticker = setInterval(() => { speed += 1; }, 150);
  r = await uaclient(env, ["-e", url, "subscribe", "-i", "100", "-t", "2", speedNode]);
  clearInterval(ticker);
  check(r.code === 0 && r.out.split("\n").filter((l) => l.includes(speedNode)).length >= 2,
    "None: a subscription delivers changes (" + r.out.split("\n").length + " lines) " + r.err.trim());

  // Basic256Sha256 SignAndEncrypt as a user: the server's certificate is ours to trust first.
  const secure = ["-e", url, "--security", "Basic256Sha256", "SignAndEncrypt", "--user", "operator"];
  r = await uaclient(env, secure.concat(["read", speedNode]), "op-secret\n");
  const rejected = path.join(clientPki, "rejected", "certs");
  check(r.code === 1 && /not trusted|BadCertificateUntrusted/.test(r.err) && /--trust-server/.test(r.err) &&
    fs.existsSync(rejected) && fs.readdirSync(rejected).length === 1,
    "an untrusted server certificate is refused and kept in rejected/certs (" + r.err.trim() + ")");
  check(fs.existsSync(path.join(clientPki, "own", "certs", "uaclient.der")) &&
    (fs.statSync(path.join(clientPki, "own", "private", "uaclient.pem")).mode & 0o777) === 0o600,
    "uaclient made its certificate, key mode 0600");
  r = await uaclient(env, secure.concat(["--trust-server", "read", speedNode]), "op-secret\n");
  check(r.code === 0 && /Good/.test(r.out), "SignAndEncrypt with a user: read after --trust-server (" + r.err.trim() + ")");
  r = await uaclient(env, secure.concat(["write", speedNode, "-7.5"]), "op-secret\n");
  check(r.code === 0 && speed === -7.5, "SignAndEncrypt with a user: write, trusted from now on (" + r.err.trim() + ")");
  ticker = setInterval(() => { speed += 1; }, 150);
  r = await uaclient(env, secure.concat(["subscribe", "-i", "100", "-t", "2", speedNode]), "op-secret\n");
  check(r.code === 0 && r.out.split("\n").filter((l) => l.includes(speedNode)).length >= 2,
    "SignAndEncrypt with a user: a subscription delivers changes " + r.err.trim());
  clearInterval(ticker);
  r = await uaclient(env, ["-e", url, "--security", "Basic256Sha256", "Sign", "read", speedNode]);
  check(r.code === 0 && /Good/.test(r.out), "Basic256Sha256 Sign, anonymous: read (" + r.err.trim() + ")");

  r = await uaclient(env, secure.concat(["read", speedNode]), "not-it\n");
  check(r.code === 1 && /refused the session \(ActivateSession/.test(r.err), "a wrong password is refused: " + r.err.trim());
  r = await uaclient(env, ["-e", url, "--security", "Aes256_Sha256_RsaPss", "SignAndEncrypt", "read", speedNode]);
  check(r.code === 1 && /offers no endpoint with Aes256_Sha256_RsaPss SignAndEncrypt/.test(r.err) &&
    /Basic256Sha256 SignAndEncrypt/.test(r.err), "a policy the server does not offer: " + r.err.trim());

  await ua.shutdown();
  fs.rmSync(work, { recursive: true, force: true });
}

run(main, 170000);
