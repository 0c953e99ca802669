// node-snap7's own client reading 222 bytes of DB1 in a loop, for comparison with our library.
//   node snap7_read_bench.js PORT SECONDS
// Prints "reads N seconds S".
'use strict';
const snap7 = require('node-snap7');

const port = Number(process.argv[2]);
const seconds = Math.min(Number(process.argv[3]) || 3, 60);
const client = new snap7.S7Client();
client.SetParam(client.RemotePort, port);
if (!client.ConnectTo('127.0.0.1', 0, 2)) {
  console.log('error ' + client.ErrorText(client.LastError()));
  process.exit(1);
}
const begin = process.hrtime.bigint();
const end = begin + BigInt(Math.round(seconds * 1e9));
let reads = 0;
let now = begin;
while (now < end) {
  if (!client.DBRead(1, 0, 222)) {
    console.log('error ' + client.ErrorText(client.LastError()));
    process.exit(1);
  }
  ++reads;
  now = process.hrtime.bigint();
}
client.Disconnect();
console.log('reads ' + reads + ' seconds ' + Number(now - begin) / 1e9);
