// Tornel's secured endpoint on the simulated PLC, seen by node-opcua-client (which makes its own
// client certificate) and administered with orva-admin.
// Usage: node tornel_security.js <Tornel> <plcsim> <orva-admin> <samples/Tornel.xml> <uaclient>
// Checks: an untrusted client is refused and its certificate lands in rejected/certs, then
// `orva-admin pki trust` admits it without a restart; for every secure policy and both modes a
// user browses, reads, writes and subscribes; a reader's write and a wrong password get
// BadUserAccessDenied; the token is renewed under SignAndEncrypt while a subscription keeps
// delivering; a user with an X.509 certificate added by orva-admin logs on with its role, an
// unknown certificate and a removed user are refused; uaclient reaches the secured endpoint as a
// user once each side trusts the other; anonymous clients are refused with AnonymousAccess none; a
// server on 0.0.0.0 offers no None endpoint, creates no session over an unsecured channel and
// names the host's addresses in the certificate it makes.
"use strict";
const fs = require("fs");
const os = require("os");
const path = require("path");
const { spawnSync } = require("child_process");
const opcua = require("./tornel_support").requireClient();
const { OPCUAClient, MessageSecurityMode, SecurityPolicy, AttributeIds, DataType, StatusCodes, UserTokenType } = opcua;
const { OPCUACertificateManager } = require("node-opcua-certificate-manager");
const { check, waitFor, freePort, startPlc, startTornel, prepareSample, exitCodeOf, run } = require("./tornel_support");
const ocrypto = require("node-opcua-crypto");

const [tornelPath, plcsimPath, adminPath, samplePath, uaclientPath] = process.argv.slice(2);
const mode = "ns=1;s=Line1.Mode";
const policies = ["Basic256Sha256", "Aes128_Sha256_RsaOaep", "Aes256_Sha256_RsaPss"];

function writeKey(registry, values) {
  const file = path.join(registry, "software", "orvaautomation", "tornel.reg");
  let text = "[SOFTWARE\\ORVAAutomation\\Tornel]\n";
  for (const [k, v] of Object.entries(values)) text += "\"" + k + "\"=\"" + v + "\"\n";
  fs.writeFileSync(file, text);
}

function admin(registry, args, input) {
  const r = spawnSync(adminPath, ["--server", "Tornel"].concat(args),
    { env: Object.assign({}, process.env, { ORVA_REGISTRY_ROOT: registry }), input: input || "", encoding: "utf8" });
  return { code: r.status, out: r.stdout, err: r.stderr };
}

function makeClient(certificates, policy, securityMode, extra) {
  return OPCUAClient.create(Object.assign({
    endpointMustExist: false, securityPolicy: SecurityPolicy[policy], securityMode: MessageSecurityMode[securityMode],
    clientCertificateManager: certificates, connectionStrategy: { maxRetry: 0, initialDelay: 100, maxDelay: 200 },
    keepSessionAlive: false,
  }, extra || {}));
}
const user = (userName, password) => ({ type: UserTokenType.UserName, userName, password });
// A self-signed user certificate and its key.
async function userCertificate(name) {
  const { privateKey } = await ocrypto.generateKeyPair(2048);
  const { cert } = await ocrypto.createSelfSignedCertificate({ privateKey, subject: "/CN=" + name,
    startDate: new Date(Date.now() - 86400000), validity: 30, purpose: 1 });
  const der = ocrypto.convertPEMtoDER(cert);
  return { der, identity: { type: UserTokenType.Certificate, certificateData: der,
    privateKey: (await ocrypto.privateKeyToPEM(privateKey)).privPem } };
}
function uaclient(xdg, args, input) {
  const r = spawnSync(uaclientPath, args, { env: Object.assign({}, process.env, { XDG_CONFIG_HOME: xdg }),
    input: input || "", encoding: "utf8", timeout: 30000 });
  return { code: r.status, out: r.stdout, err: r.stderr };
}
const byte = (value) => ({ nodeId: mode, attributeId: AttributeIds.Value, value: { value: { dataType: DataType.Byte, value } } });

async function failure(promise) {
  try { await promise; return null; } catch (e) { return String(e && e.message || e); }
}

// Browse, read, write and a data change, as a user with the write role.
async function exercise(url, certificates, policy, securityMode) {
  const client = makeClient(certificates, policy, securityMode);
  await client.connect(url);
  const session = await client.createSession(user("operator", "op-secret"));
  const objects = await session.browse("i=85");
  const read = await session.read({ nodeId: mode, attributeId: AttributeIds.Value });
  const sub = await session.createSubscription2({ requestedPublishingInterval: 100, requestedLifetimeCount: 600,
    requestedMaxKeepAliveCount: 10, publishingEnabled: true });
  const values = [];
  const item = await sub.monitor({ nodeId: mode, attributeId: AttributeIds.Value },
    { samplingInterval: 100, queueSize: 10, discardOldest: true }, 0);
  item.on("changed", (dv) => values.push(dv.value.value));
  const target = 1 + Math.floor(Math.random() * 200);
  const written = await session.write(byte(target));
  check(objects.references.length > 0 && read.statusCode.equals(StatusCodes.Good) && written.equals(StatusCodes.Good) &&
    await waitFor(() => values.includes(target), 10000),
    policy + " " + securityMode + ": browse, read, write and the written value as a data change");
  await session.close();
  await client.disconnect();
}

async function main() {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), "orva-tornel-security-"));
  const plcPort = await freePort();
  const uaPort = await freePort();
  const { config, registry } = prepareSample(work, samplePath, plcPort, uaPort);
  const pki = path.join(work, "pki");
  const base = { ConfigFile: config, OpcUaPort: uaPort, PkiFolder: pki, UsersFile: path.join(work, "users") };
  writeKey(registry, base);
  check(admin(registry, ["user", "add", "operator", "--role", "write"], "op-secret\n").code === 0 &&
    admin(registry, ["user", "add", "viewer", "--role", "read"], "view-secret\n").code === 0 &&
    /operator write[\s\S]*viewer read/.test(admin(registry, ["user", "list"]).out), "orva-admin adds users with roles");
  check(admin(registry, ["user", "add", "x", "--role", "admin"], "p\n").code !== 0, "orva-admin refuses an unknown role");

  await startPlc(plcsimPath, plcPort);
  let tornel = await startTornel(tornelPath, registry);
  const url = "opc.tcp://127.0.0.1:" + uaPort;
  check(fs.statSync(path.join(pki, "own", "private", "server.pem")).mode % 0o1000 === 0o600 &&
    fs.existsSync(path.join(pki, "own", "certs", "server.der")), "the server made its certificate, key mode 0600");

  const certificates = new OPCUACertificateManager({ rootFolder: path.join(work, "client-pki"),
    automaticallyAcceptUnknownCertificate: true });
  await certificates.initialize();

  // Untrusted, then trusted with orva-admin, without restarting.
  const untrusted = makeClient(certificates, "Basic256Sha256", "SignAndEncrypt");
  check(await failure(untrusted.connect(url)) !== null, "an untrusted client certificate is refused");
  await untrusted.disconnect();
  const rejectedDir = path.join(pki, "rejected", "certs");
  const rejected = fs.existsSync(rejectedDir) ? fs.readdirSync(rejectedDir) : [];
  check(rejected.length === 1 && /^[0-9A-F]{40}\.der$/.test(rejected[0]), "its certificate is in rejected/certs: " + rejected);
  const thumbprint = rejected.length ? rejected[0].slice(0, 40).toLowerCase() : "none";
  check(admin(registry, ["pki", "list"]).out.includes("rejected " + thumbprint.toUpperCase()), "orva-admin pki list shows it");
  check(admin(registry, ["pki", "trust", thumbprint]).code === 0, "orva-admin pki trust takes the thumbprint in lower case");

  const endpoints = await (async () => {
    const c = makeClient(certificates, "None", "None");
    await c.connect(url);
    const e = await c.getEndpoints();
    await c.disconnect();
    return e;
  })();
  check(endpoints.length === 7 && endpoints.filter((e) => e.securityMode !== MessageSecurityMode.None)
    .every((e) => e.serverCertificate && e.serverCertificate.length > 0 && e.userIdentityTokens.length === 3 &&
      e.userIdentityTokens.some((t) => t.tokenType === UserTokenType.Certificate)),
    "GetEndpoints on loopback: None and three policies in two modes, with the certificate and anonymous, user name and certificate tokens");

  for (const policy of policies)
    for (const securityMode of ["Sign", "SignAndEncrypt"]) await exercise(url, certificates, policy, securityMode);

  // Roles and passwords.
  const client = makeClient(certificates, "Basic256Sha256", "SignAndEncrypt");
  await client.connect(url);
  const viewer = await client.createSession(user("viewer", "view-secret"));
  check((await viewer.write(byte(3))).equals(StatusCodes.BadUserAccessDenied), "a reader's write: BadUserAccessDenied");
  check((await viewer.read({ nodeId: mode, attributeId: AttributeIds.Value })).statusCode.equals(StatusCodes.Good), "a reader reads");
  const anonymous = await client.createSession();
  check((await anonymous.write(byte(3))).equals(StatusCodes.BadUserAccessDenied), "anonymous users read only by default");
  const wrong = await failure(client.createSession(user("operator", "not-it")));
  check(wrong !== null && /BadUserAccessDenied/.test(wrong), "a wrong password: BadUserAccessDenied (" + wrong + ")");
  await viewer.close();
  await anonymous.close();
  await client.disconnect();
  // A failed logon makes this address wait a moment before the next one is checked.
  await new Promise((r) => setTimeout(r, 1500));

  // X.509 user certificates: the role from the users file, trust from user/certs.
  const maintainer = await userCertificate("maintainer");
  const stranger = await userCertificate("stranger");
  const certFile = path.join(work, "maintainer.der");
  fs.writeFileSync(certFile, maintainer.der);
  check(admin(registry, ["user", "add", "maintainer", "--role", "write", "--cert", certFile]).code === 0 &&
    /maintainer write certificate [0-9A-F]{40}/.test(admin(registry, ["user", "list"]).out),
    "orva-admin adds a certificate user");
  const x509 = makeClient(certificates, "Basic256Sha256", "SignAndEncrypt");
  await x509.connect(url);
  const byCertificate = await x509.createSession(maintainer.identity);
  check((await byCertificate.write(byte(5))).equals(StatusCodes.Good), "a certificate user with role write writes");
  await byCertificate.close();
  const unknown = await failure(x509.createSession(stranger.identity));
  check(unknown !== null && /BadIdentityTokenRejected/.test(unknown), "an unknown user certificate is refused: " + unknown);
  check(admin(registry, ["user", "remove", "maintainer"]).code === 0, "orva-admin removes the certificate user");
  const removed = await failure(x509.createSession(maintainer.identity));
  check(removed !== null, "a removed certificate user is refused: " + removed);
  await x509.disconnect();

  // uaclient as a user: it trusts the server on first use, the server trusts it with orva-admin.
  const xdg = path.join(work, "xdg");
  const secureArgs = ["-e", url, "--security", "Basic256Sha256", "SignAndEncrypt"];
  const before = fs.readdirSync(rejectedDir);
  let r = uaclient(xdg, secureArgs.concat(["--trust-server", "--user", "operator", "read", mode]), "op-secret\n");
  const added = fs.readdirSync(rejectedDir).filter((f) => !before.includes(f));
  check(r.code === 1 && /BadCertificateUntrusted/.test(r.err) && added.length === 1,
    "uaclient's certificate is refused until trusted: " + r.err.trim());
  check(added.length === 1 && admin(registry, ["pki", "trust", added[0].slice(0, 40)]).code === 0, "orva-admin trusts uaclient");
  r = uaclient(xdg, secureArgs.concat(["--user", "operator", "write", mode, "77"]), "op-secret\n");
  check(r.code === 0 && /Good/.test(r.out), "uaclient as operator writes over SignAndEncrypt: " + r.out.trim() + r.err.trim());
  r = uaclient(xdg, secureArgs.concat(["--user", "viewer", "write", mode, "78"]), "view-secret\n");
  check(r.code === 1 && /BadUserAccessDenied/.test(r.out), "uaclient as viewer: BadUserAccessDenied: " + r.out.trim() + r.err.trim());
  r = uaclient(xdg, ["-e", url, "--security", "Aes256_Sha256_RsaPss", "Sign", "--user", "viewer", "subscribe", "-i", "100",
    "-t", "2", mode], "view-secret\n");
  check(r.code === 0 && r.out.split("\n").filter((l) => l.includes(mode)).length >= 1,
    "uaclient subscribes as viewer under Aes256_Sha256_RsaPss Sign: " + r.err.trim());
  await new Promise((res) => setTimeout(res, 300));

  // Token renewal under SignAndEncrypt with a subscription delivering throughout.
  const renewing = makeClient(certificates, "Aes256_Sha256_RsaPss", "SignAndEncrypt", { defaultSecureTokenLifetime: 1500 });
  let renewals = 0;
  renewing.on("security_token_renewed", () => renewals++);
  await renewing.connect(url);
  const session = await renewing.createSession(user("operator", "op-secret"));
  const sub = await session.createSubscription2({ requestedPublishingInterval: 100, requestedLifetimeCount: 600,
    requestedMaxKeepAliveCount: 5, publishingEnabled: true });
  const seen = [];
  const item = await sub.monitor({ nodeId: mode, attributeId: AttributeIds.Value },
    { samplingInterval: 100, queueSize: 10 }, 0);
  item.on("changed", (dv) => seen.push(dv.value.value));
  await waitFor(() => renewals >= 2, 15000);
  const written = await session.write(byte(211));
  check(renewals >= 2 && written.equals(StatusCodes.Good) && await waitFor(() => seen.includes(211), 10000),
    "the token was renewed (" + renewals + " times) and the subscription keeps delivering");
  await session.close();
  await renewing.disconnect();

  // AnonymousAccess none, then a server on every address.
  tornel.kill("SIGTERM");
  await exitCodeOf(tornel, 15000);
  writeKey(registry, Object.assign({}, base, { AnonymousAccess: "none", OpcUaAddress: "0.0.0.0" }));
  // A first start on every address: the certificate it makes names the host's addresses.
  fs.rmSync(path.join(pki, "own", "certs", "server.der"));
  fs.rmSync(path.join(pki, "own", "private", "server.pem"));
  tornel = await startTornel(tornelPath, registry);
  const plain = makeClient(certificates, "None", "None");
  await plain.connect(url);
  const offered = await plain.getEndpoints();
  const names = offered.length ? ocrypto.exploreCertificate(offered[0].serverCertificate).tbsCertificate.extensions.subjectAltName : {};
  // The certificate's IP addresses come as hex digits of their bytes.
  const hostAddresses = Object.values(os.networkInterfaces()).flat().filter((a) => a.family === "IPv4")
    .map((a) => a.address.split(".").map((n) => Number(n).toString(16).padStart(2, "0")).join(""));
  check(hostAddresses.length >= 1 && hostAddresses.every((a) => (names.iPAddress || []).includes(a)),
    "on 0.0.0.0 the certificate names every IPv4 address of the host: " + JSON.stringify(names.iPAddress) + " for " + hostAddresses);
  check(offered.length === 6 && offered.every((e) => e.securityMode !== MessageSecurityMode.None &&
    e.userIdentityTokens.every((t) => t.tokenType !== UserTokenType.Anonymous)),
    "on 0.0.0.0 no None endpoint and, with AnonymousAccess none, no anonymous token");
  check(await failure(plain.createSession()) !== null, "no session over the unsecured discovery channel");
  await plain.disconnect();
  const secured = makeClient(certificates, "Basic256Sha256", "Sign");
  await secured.connect(url);
  const refused = await failure(secured.createSession());
  check(refused !== null, "anonymous refused with AnonymousAccess none: " + refused);
  await secured.disconnect();
  tornel.kill("SIGTERM");
  await exitCodeOf(tornel, 15000);
  fs.rmSync(work, { recursive: true, force: true });
}

run(main, 170000);
