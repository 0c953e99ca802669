// Writes, index ranges and monitored items of Tornel, seen by the independent OPC UA client
// node-opcua-client, with node-snap7's S7Server as the PLC so that every write is checked in the
// PLC's memory (neighbouring bytes unchanged).
// Usage: node tornel_values.js <Tornel> <samples/Tornel.xml>
// Checks: strings longer than the tag and arrays of another length are refused without touching
// the PLC, shorter strings are padded, ranged writes change only their elements (bits of a BOOL
// array included), writes with time stamps or a status are refused, a failed write leaves the
// next write and an unrelated read alone, index ranges on reads and monitored items, absolute
// deadbands, sampling faster than publishing with the item's queue, and a new item's first value
// is fresh (or Bad within a bounded wait when the PLC cannot be reached). Exit status 0 when all pass.
"use strict";
const fs = require("fs");
const os = require("os");
const path = require("path");
const { requireClient, check, sleep, waitFor, freePort, startTornel, prepareSample, run } = require("./tornel_support.js");

const opcua = requireClient();
let snap7;
try {
  snap7 = require("node-snap7");
} catch (e) {
  console.log("skipped: node-snap7 is not installed (cd tests/interop && npm install)");
  process.exit(77);
}
const {
  OPCUAClient, MessageSecurityMode, SecurityPolicy, AttributeIds, DataType, StatusCodes, TimestampsToReturn,
  VariantArrayType, DataChangeFilter, DataChangeTrigger, DeadbandType,
} = opcua;

const [tornelPath, samplePath] = process.argv.slice(2);

// The PLC: DB10 and DB11 of the sample configuration, filled with a pattern so that a byte written
// where it should not be shows.
const plc = new snap7.S7Server();
function startPlc(port) {
  plc.SetParam(plc.LocalPort, port);
  if (!plc.StartTo("127.0.0.1")) throw new Error("S7Server: " + plc.ErrorText(plc.LastError()));
}
const db = (n) => plc.GetArea(plc.srvAreaDB, n);
function setBytes(n, start, bytes) {
  const area = db(n);
  Buffer.from(bytes).copy(area, start);
  plc.SetArea(plc.srvAreaDB, n, area);
}
const pattern = (size) => Buffer.from(Array.from({ length: size }, (_, i) => (i * 7 + 3) & 0xff));
// Bytes of DB10 outside [from, to) unchanged against `before`.
const outsideUnchanged = (before, after, from, to) =>
  before.subarray(0, from).equals(after.subarray(0, from)) && before.subarray(to).equals(after.subarray(to));

process.on("exit", () => { try { plc.Stop(); } catch (e) { /* stopped */ } });

const node = (id) => "ns=1;s=Line1." + id;
const value = (dataType, v, arrayType) => ({ value: { dataType, value: v, arrayType } });
const writeOf = (id, dataValue, indexRange) => ({ nodeId: node(id), attributeId: AttributeIds.Value, indexRange, value: dataValue });
const readOf = (id, indexRange) => ({ nodeId: node(id), attributeId: AttributeIds.Value, indexRange });

async function writes(session) {
  // Issue 13, item 11: time stamps and status codes cannot be stored.
  const stamped = await session.write([
    writeOf("Mode", Object.assign(value(DataType.Byte, 1), { sourceTimestamp: new Date() })),
    writeOf("Mode", Object.assign(value(DataType.Byte, 1), { serverTimestamp: new Date() })),
    writeOf("Mode", Object.assign(value(DataType.Byte, 1), { statusCode: StatusCodes.UncertainInitialValue })),
  ]);
  check(stamped.every((s) => s.equals(StatusCodes.BadWriteNotSupported)),
    "writes with a time stamp or a status code answer BadWriteNotSupported: " + stamped.map((s) => s.name));

  // Issue 13, item 1: a string longer than the tag is refused, nothing in the PLC changes.
  let before = db(10);
  const long = await session.write(writeOf("PROCESS.Recipe", value(DataType.String, "ABCDEFGHIJKLMNOPQRST")));
  check(long.equals(StatusCodes.BadOutOfRange), "a 20-character string to the 16-character Recipe: " + long.name);
  check(db(10).equals(before), "the refused string changed no byte of DB10 (Setpoints keep their bytes)");
  // A shorter one is padded to the tag's length and goes no further.
  const short = await session.write(writeOf("PROCESS.Recipe", value(DataType.String, "MIX-2")));
  check(short.equals(StatusCodes.Good), "a 5-character string is written: " + short.name);
  let after = db(10);
  check(after.subarray(20, 25).toString("latin1") === "MIX-2" && after.subarray(25, 36).every((b) => b === 0 || b === 0x20),
    "the PLC holds the short string padded to 16 characters: " + after.subarray(20, 36).toString("hex"));
  check(outsideUnchanged(before, after, 20, 36), "bytes around the string are unchanged");

  // Issue 13, item 2: arrays of another length are refused and the tag keeps its shape.
  before = db(10);
  const shortArray = await session.write(writeOf("PROCESS.Setpoints", value(DataType.Int16, new Int16Array([1, 2, 3]), VariantArrayType.Array)));
  const shortBits = await session.write(writeOf("PROCESS.Valves", value(DataType.Boolean, [true, true], VariantArrayType.Array)));
  check(shortArray.equals(StatusCodes.BadTypeMismatch) && shortBits.equals(StatusCodes.BadTypeMismatch),
    "3 values to 8 Setpoints and 2 to 12 Valves are refused: " + shortArray.name + ", " + shortBits.name);
  check(db(10).equals(before), "the refused arrays changed no byte of DB10");
  const shapes = await session.read([readOf("PROCESS.Setpoints"), readOf("PROCESS.Valves")], 0);
  check(shapes[0].value.value.length === 8 && shapes[1].value.value.length === 12,
    "the tags keep 8 and 12 elements: " + shapes[0].value.value.length + ", " + shapes[1].value.value.length);

  // Ranged writes change exactly their elements.
  before = db(10);
  const ranged = await session.write([
    writeOf("PROCESS.Setpoints", value(DataType.Int16, new Int16Array([-7, 8, 900]), VariantArrayType.Array), "2:4"),
    writeOf("PROCESS.Valves", value(DataType.Boolean, [true, false, true], VariantArrayType.Array), "7:9"),
    writeOf("PROCESS.Recipe", value(DataType.String, "XY"), "1:2"),
  ]);
  check(ranged.every((s) => s.equals(StatusCodes.Good)), "ranged writes of Setpoints 2:4, Valves 7:9, Recipe 1:2: " + ranged.map((s) => s.name));
  after = db(10);
  const sp = after.subarray(36, 52);
  check(sp.readInt16BE(4) === -7 && sp.readInt16BE(6) === 8 && sp.readInt16BE(8) === 900 &&
    outsideUnchanged(before.subarray(36, 52), sp, 4, 10), "Setpoints[2..4] changed in the PLC, the other elements kept");
  const bitsBefore = before.readUInt16LE(52);
  const bitsAfter = after.readUInt16LE(52);
  const mask = 0b1110000000;  // bits 7, 8, 9 of the 12 (byte 52 bit 7, byte 53 bits 0 and 1)
  check((bitsAfter & ~mask) === (bitsBefore & ~mask) && ((bitsAfter >> 7) & 7) === 0b101,
    "Valves[7..9] set to 1,0,1 and every other bit kept: " + bitsBefore.toString(2) + " -> " + bitsAfter.toString(2));
  check(after.subarray(21, 23).toString("latin1") === "XY" && after[20] === before[20] && after[23] === before[23],
    "Recipe characters 1..2 replaced, the others kept");
  check(outsideUnchanged(before, after, 20, 54), "no byte outside the three tags changed");
  const outside = await session.write([
    writeOf("PROCESS.Setpoints", value(DataType.Int16, new Int16Array([1, 2]), VariantArrayType.Array), "7:8"),
    writeOf("PROCESS.Setpoints", value(DataType.Int16, new Int16Array([1, 2]), VariantArrayType.Array), "2:4"),
    writeOf("PROCESS.Setpoints", value(DataType.Int16, new Int16Array([1, 2]), VariantArrayType.Array), "4:2"),
  ]);
  check(outside[0].equals(StatusCodes.BadIndexRangeNoData) && outside[1].equals(StatusCodes.BadIndexRangeDataMismatch) &&
    outside[2].equals(StatusCodes.BadIndexRangeInvalid), "ranges past the tag, of another length, or malformed: " + outside.map((s) => s.name));
  check(db(10).equals(after), "refused ranged writes changed nothing");

  // Issue 13, item 3: a failed write stays with its request. The PLC's DB11 ends before Offset (DB11.4),
  // so the PLC itself refuses that write; a refused 40-character string fails before the PLC.
  for (const failing of [writeOf("Offset", value(DataType.SByte, -5)),
    writeOf("PROCESS.Recipe", value(DataType.String, "X".repeat(40)))]) {
    const failed = await session.write(failing);
    const next = await session.write(writeOf("Mode", value(DataType.Byte, 17)));
    const unrelated = await session.read(readOf("DRIVES.Speed"), 0);
    check(failed.isBad() && next.equals(StatusCodes.Good) && unrelated.statusCode.equals(StatusCodes.Good),
      "after a failed write the next write and a read of another tag succeed at once: " + [failed.name, next.name, unrelated.statusCode.name]);
    check(db(11)[0] === 17, "the next write reached the PLC");
    setBytes(11, 0, [0]);
  }
}

async function indexRanges(session) {
  // Issue 13, item 8.
  const r = await session.read([readOf("PROCESS.Setpoints", "0:2"), readOf("PROCESS.Recipe", "1:2"),
    readOf("PROCESS.Setpoints", "6:20"), readOf("PROCESS.Setpoints", "8:9"), readOf("PROCESS.Setpoints", "2:1"),
    readOf("Mode", "0"), readOf("PROCESS.Setpoints", "1:2,0:1")], 0);
  check(r[0].statusCode.equals(StatusCodes.Good) && r[0].value.value.length === 3 && r[0].value.value[2] === -7,
    "read Setpoints 0:2 gives 3 elements: " + r[0].statusCode.name + " " + Array.from(r[0].value.value || []));
  check(r[1].statusCode.equals(StatusCodes.Good) && r[1].value.value === "XY", "read Recipe 1:2 gives 2 characters: " + r[1].value.value);
  check(r[2].statusCode.equals(StatusCodes.Good) && r[2].value.value.length === 2, "a range past the end gives what exists");
  check(r[3].statusCode.equals(StatusCodes.BadIndexRangeNoData) && r[4].statusCode.equals(StatusCodes.BadIndexRangeInvalid) &&
    r[5].statusCode.equals(StatusCodes.BadIndexRangeNoData) && r[6].statusCode.equals(StatusCodes.BadIndexRangeNoData),
    "no data past the end, on a scalar or in a second dimension, invalid syntax refused: " + r.slice(3).map((d) => d.statusCode.name));

  const sub = await session.createSubscription2({ requestedPublishingInterval: 100, requestedLifetimeCount: 600,
    requestedMaxKeepAliveCount: 10, maxNotificationsPerPublish: 1000, publishingEnabled: true, priority: 1 });
  const seen = [];
  const item = await sub.monitor({ nodeId: node("PROCESS.Setpoints"), attributeId: AttributeIds.Value, indexRange: "1:2" },
    { samplingInterval: 100, queueSize: 10 }, TimestampsToReturn.Both);
  item.on("changed", (dv) => seen.push(dv));
  check(await waitFor(() => seen.length > 0, 5000) && seen[0].value.value.length === 2,
    "a monitored item on Setpoints 1:2 delivers 2 elements: " + (seen[0] && Array.from(seen[0].value.value)));
  const count = seen.length;
  setBytes(10, 36 + 12, [0x01, 0x02]);  // Setpoints[6]: outside the item's range
  await sleep(600);
  check(seen.length === count, "a change outside the range is not reported");
  setBytes(10, 36 + 2, [0x00, 0x2a]);  // Setpoints[1]
  check(await waitFor(() => seen.length > count && seen[seen.length - 1].value.value[0] === 42, 5000),
    "a change inside the range is reported");
  await sub.terminate();
}

async function deadbands(session) {
  // Issue 13, item 4: Level (Int32, DB10.16).
  const sub = await session.createSubscription2({ requestedPublishingInterval: 100, requestedLifetimeCount: 600,
    requestedMaxKeepAliveCount: 10, maxNotificationsPerPublish: 1000, publishingEnabled: true, priority: 1 });
  const monitorWith = async (deadbandValue, list) => {
    const filter = new DataChangeFilter({ trigger: DataChangeTrigger.StatusValue, deadbandType: DeadbandType.Absolute, deadbandValue });
    const item = await sub.monitor({ nodeId: node("PROCESS.Level"), attributeId: AttributeIds.Value },
      { samplingInterval: 100, queueSize: 10, filter }, TimestampsToReturn.Both);
    item.on("changed", (dv) => list.push(dv.value.value));
    return item;
  };
  setBytes(10, 16, [0, 0, 0, 100]);
  await sleep(400);
  const zero = [];
  const ten = [];
  const z = await monitorWith(0.0, zero);
  const t = await monitorWith(10, ten);
  check(z.statusCode.equals(StatusCodes.Good) && t.statusCode.equals(StatusCodes.Good),
    "Absolute deadbands 0.0 and 10 are accepted: " + z.statusCode.name + ", " + t.statusCode.name);
  check(await waitFor(() => zero.length > 0 && ten.length > 0, 5000), "both items report the first value");
  for (const v of [105, 110, 111, 125]) {
    setBytes(10, 16, [0, 0, 0, v]);
    await waitFor(() => zero[zero.length - 1] === v, 3000);
  }
  await sleep(400);
  check(JSON.stringify(zero) === "[100,105,110,111,125]", "deadband 0 reports every change: " + zero);
  check(JSON.stringify(ten) === "[100,111,125]", "deadband 10 reports changes beyond 10 of the last reported: " + ten);
  const percent = await sub.monitor({ nodeId: node("PROCESS.Level"), attributeId: AttributeIds.Value },
    { samplingInterval: 100, filter: new DataChangeFilter({ deadbandType: DeadbandType.Percent, deadbandValue: 5 }) },
    TimestampsToReturn.Both);
  check(percent.statusCode.equals(StatusCodes.BadMonitoredItemFilterUnsupported),
    "a percent deadband without an EURange: " + percent.statusCode.name);
  await sub.terminate();
}

async function sampling(session) {
  // Issue 13, item 5: a 100 ms item in a 1,000 ms subscription with queue 10 delivers about ten values
  // per Publish. The PLC's Counter (UInt32, DB10.12) counts every 25 ms.
  let n = 0;
  const counter = setInterval(() => { n++; setBytes(10, 12, [0, 0, (n >> 8) & 0xff, n & 0xff]); }, 25);
  const sub = await session.createSubscription2({ requestedPublishingInterval: 1000, requestedLifetimeCount: 100,
    requestedMaxKeepAliveCount: 10, maxNotificationsPerPublish: 1000, publishingEnabled: true, priority: 1 });
  const item = await sub.monitor({ nodeId: node("PROCESS.Counter"), attributeId: AttributeIds.Value },
    { samplingInterval: 100, queueSize: 10, discardOldest: true }, TimestampsToReturn.Both);
  check(Math.abs(item.result.revisedSamplingInterval - 100) < 1 && item.result.revisedQueueSize === 10,
    "sampling interval 100 ms and queue 10 granted in a 1,000 ms subscription: " +
    item.result.revisedSamplingInterval + " ms, " + item.result.revisedQueueSize);
  const perPublish = [];
  sub.on("raw_notification", (msg) => {
    for (const d of msg.notificationData || []) if (d.monitoredItems) perPublish.push(d.monitoredItems.length);
  });
  await waitFor(() => perPublish.length >= 4, 8000);
  clearInterval(counter);
  const steady = perPublish.slice(1, 4);  // the first message may cover part of a cycle
  check(steady.length === 3 && steady.every((k) => k >= 8 && k <= 10), "about ten values per Publish: " + perPublish);
  const fast = await sub.monitor({ nodeId: node("PROCESS.Counter"), attributeId: AttributeIds.Value },
    { samplingInterval: 0, queueSize: 1 }, TimestampsToReturn.Both);
  check(Math.abs(fast.result.revisedSamplingInterval - 50) < 1, "sampling interval 0 is revised to the server's 50 ms: " +
    fast.result.revisedSamplingInterval);
  await sub.terminate();
}

async function firstValues(session) {
  // Issue 13, item 6: Temperature (Float, DB10.8) polled only every 10 s by a slow item; its memory then
  // changes; a new 100 ms item must start from the PLC's value, not the cache of 10 s ago.
  const slow = await session.createSubscription2({ requestedPublishingInterval: 1000, requestedLifetimeCount: 100,
    requestedMaxKeepAliveCount: 10, publishingEnabled: true, priority: 1 });
  await slow.monitor({ nodeId: node("PROCESS.Temperature"), attributeId: AttributeIds.Value }, { samplingInterval: 10000 },
    TimestampsToReturn.Both);
  await slow.monitor({ nodeId: node("DRIVES.Current"), attributeId: AttributeIds.Value }, { samplingInterval: 10000 },
    TimestampsToReturn.Both);
  await sleep(1000);
  const t = Buffer.alloc(4);
  t.writeFloatBE(21.5);
  setBytes(10, 8, t);
  await sleep(1000);
  const created = Date.now();
  const sub = await session.createSubscription2({ requestedPublishingInterval: 100, requestedLifetimeCount: 600,
    requestedMaxKeepAliveCount: 10, publishingEnabled: true, priority: 1 });
  const first = [];
  const item = await sub.monitor({ nodeId: node("PROCESS.Temperature"), attributeId: AttributeIds.Value },
    { samplingInterval: 100, queueSize: 10 }, TimestampsToReturn.Both);
  item.on("changed", (dv) => first.push(dv));
  check(await waitFor(() => first.length > 0, 5000), "the new item reports a first value");
  const f = first[0];
  check(f && f.statusCode.equals(StatusCodes.Good) && Math.abs(f.value.value - 21.5) < 1e-6 &&
    f.sourceTimestamp.getTime() >= created - 1000,
    "its first value is the PLC's, Good, read after the item was made: " + (f && [f.statusCode.name, f.value.value, f.sourceTimestamp]));

  // DRIVES.Current did not change: read again it is no data change, yet its first value must be
  // one read after the item was made, not the cache of seconds ago.
  const unchanged = [];
  const made0 = Date.now();
  const item1 = await sub.monitor({ nodeId: node("DRIVES.Current"), attributeId: AttributeIds.Value },
    { samplingInterval: 100 }, TimestampsToReturn.Both);
  item1.on("changed", (dv) => unchanged.push(dv));
  check(await waitFor(() => unchanged.length > 0, 5000) && unchanged[0].statusCode.equals(StatusCodes.Good) &&
    unchanged[0].sourceTimestamp.getTime() >= made0 - 1000,
    "an unchanged tag's first value is read after the item was made: " + (unchanged[0] && [unchanged[0].statusCode.name, unchanged[0].sourceTimestamp]));

  // A PLC that cannot be reached: a new item's first value is Bad, soon, never a stale Uncertain.
  plc.Stop();
  await sleep(500);
  const unreached = [];
  const made = Date.now();
  const item2 = await sub.monitor({ nodeId: node("Alarm"), attributeId: AttributeIds.Value }, { samplingInterval: 100 }, TimestampsToReturn.Both);
  item2.on("changed", (dv) => unreached.push([Date.now() - made, dv]));
  check(await waitFor(() => unreached.length > 0, 10000), "an item on the unreachable PLC reports");
  const [ms, dv] = unreached[0] || [0, null];
  check(dv && dv.statusCode.isBad() && ms < 6000, "its first value is Bad (" + (dv && dv.statusCode.name) + ") after " + ms + " ms");
  await sub.terminate();
  await slow.terminate();
}

async function main() {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), "orva-tornel-values-"));
  const plcPort = await freePort();
  const uaPort = await freePort();
  plc.RegisterArea(plc.srvAreaDB, 10, pattern(256));
  plc.RegisterArea(plc.srvAreaDB, 11, pattern(4));
  startPlc(plcPort);
  const { registry } = prepareSample(work, samplePath, plcPort, uaPort);
  const tornel = await startTornel(tornelPath, registry);

  const client = OPCUAClient.create({ endpointMustExist: false, securityMode: MessageSecurityMode.None,
    securityPolicy: SecurityPolicy.None, connectionStrategy: { maxRetry: 0 }, keepSessionAlive: false });
  await client.connect(tornel.url);
  const session = await client.createSession();
  await writes(session);
  await indexRanges(session);
  await deadbands(session);
  await sampling(session);
  await firstValues(session);
  await session.close();
  await client.disconnect();
  fs.rmSync(work, { recursive: true, force: true });
}

run(main, 170000);
