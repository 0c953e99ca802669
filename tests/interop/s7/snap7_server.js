// An independent S7 PLC (node-snap7's S7Server) for the interop tests and the benchmark.
//   node snap7_server.js PORT
// Serves DB1 (512 bytes, byte i = i & 0xFF) and DB2 (16 bytes of zero) on 127.0.0.1:PORT.
// Prints "ready PORT" once it listens; the commands on standard input are those of snap7_peer.js.
'use strict';
const {serve} = require('./snap7_peer.js');

const db1 = Buffer.alloc(512);
for (let i = 0; i < db1.length; ++i) db1[i] = i & 0xff;
serve({script: 'snap7_server.js', blocks: {1: db1, 2: Buffer.alloc(16)}});
