// An independent S7 PLC (node-snap7's S7Server) for the interop tests and the benchmark.
//   node snap7_server.js PORT
// Serves DB1 (512 bytes, byte i = i & 0xFF) and DB2 (16 bytes of zero) on 127.0.0.1:PORT.
// Prints "ready PORT" once it listens. Commands on standard input, one per line:
//   stop | start | dump N (prints "DB<N> <hex>") | quit
// It ends when its input closes, and after 10 minutes at the latest.
'use strict';
const snap7 = require('node-snap7');
const readline = require('readline');

const port = Number(process.argv[2]);
if (!Number.isInteger(port) || port <= 0 || port > 65535) {
  console.error('usage: node snap7_server.js PORT');
  process.exit(2);
}

const server = new snap7.S7Server();
server.SetParam(server.LocalPort, port);
const db1 = Buffer.alloc(512);
for (let i = 0; i < db1.length; ++i) db1[i] = i & 0xff;
server.RegisterArea(server.srvAreaDB, 1, db1);
server.RegisterArea(server.srvAreaDB, 2, Buffer.alloc(16));

function start() {
  if (!server.StartTo('127.0.0.1')) {
    console.log('error ' + server.ErrorText(server.LastError()));
    return false;
  }
  return true;
}

function quit(code) {
  server.Stop();
  process.exit(code);
}

if (!start()) quit(1);
console.log('ready ' + port);

const lines = readline.createInterface({input: process.stdin});
lines.on('line', (line) => {
  const [command, arg] = line.trim().split(/\s+/);
  if (command === 'stop') {
    server.Stop();
    console.log('stopped');
  } else if (command === 'start') {
    if (start()) console.log('started');
  } else if (command === 'dump') {
    console.log('DB' + arg + ' ' + server.GetArea(server.srvAreaDB, Number(arg)).toString('hex'));
  } else if (command === 'quit') {
    quit(0);
  }
});
lines.on('close', () => quit(0));
setTimeout(() => quit(0), 10 * 60 * 1000).unref();
