// node-snap7's S7Server as the PLC of a Tornel server under test.
//   node snap7_plc.js PORT
// Serves DB1 (256 bytes) and DB2 (16 bytes), all zero, on 127.0.0.1:PORT and prints "ready PORT".
// Every data read and write of a client is printed as "read DB START SIZE" / "write DB START SIZE".
// The commands on standard input are those of ../s7/snap7_peer.js.
'use strict';
const {serve} = require('../s7/snap7_peer.js');

serve({script: 'snap7_plc.js', blocks: {1: Buffer.alloc(256), 2: Buffer.alloc(16)}, logEvents: true});
