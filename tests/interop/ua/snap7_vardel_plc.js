// node-snap7's S7Server as the PLC Line1 of samples/Vardel.xml: DB10 (256 bytes) and DB11
// (64 bytes), all zero, on 127.0.0.1:PORT; prints "ready PORT". The commands on standard input
// are those of ../s7/snap7_peer.js (set, dump, stop, start, quit).
//   node snap7_vardel_plc.js PORT
'use strict';
const {serve} = require('../s7/snap7_peer.js');

serve({script: 'snap7_vardel_plc.js', blocks: {10: Buffer.alloc(256), 11: Buffer.alloc(64)}});
