// node-snap7's S7Server as a test peer, shared by the peer scripts of the interop tests.
// serve() registers the given data blocks, listens on 127.0.0.1:PORT (the script's first argument)
// and prints "ready PORT". With logEvents, every data read and write of a client is printed as
// "read DB START SIZE" / "write DB START SIZE". Commands on standard input, one per line:
//   set DB START HEX (prints "set") | dump DB (prints "DB<n> <hex>") | stop | start | quit
// It ends when its input closes, and after 10 minutes at the latest.
'use strict';
const snap7 = require('node-snap7');
const readline = require('readline');

// script: the name in the usage text; blocks: {number: Buffer}; logEvents: print data accesses.
function serve({script, blocks, logEvents = false}) {
  const port = Number(process.argv[2]);
  if (!Number.isInteger(port) || port <= 0 || port > 65535) {
    console.error('usage: node ' + script + ' PORT');
    process.exit(2);
  }

  const server = new snap7.S7Server();
  server.SetParam(server.LocalPort, port);
  for (const [number, buffer] of Object.entries(blocks)) {
    server.RegisterArea(server.srvAreaDB, Number(number), buffer);
  }
  if (logEvents) {
    server.SetEventMask(server.evcDataRead | server.evcDataWrite);
    server.on('event', (event) => {
      const kind = event.EvtCode === server.evcDataRead ? 'read' : 'write';
      console.log(kind + ' ' + event.EvtParam2 + ' ' + event.EvtParam3 + ' ' + event.EvtParam4);
    });
  }

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
    const [command, a, b, c] = line.trim().split(/\s+/);
    if (command === 'stop') {
      server.Stop();
      console.log('stopped');
    } else if (command === 'start') {
      if (start()) console.log('started');
    } else if (command === 'set') {
      const bytes = Buffer.from(c, 'hex');
      server.SetArea(server.srvAreaDB, Number(a), Buffer.concat([
        server.GetArea(server.srvAreaDB, Number(a)).subarray(0, Number(b)), bytes,
        server.GetArea(server.srvAreaDB, Number(a)).subarray(Number(b) + bytes.length)]));
      console.log('set');
    } else if (command === 'dump') {
      console.log('DB' + a + ' ' + server.GetArea(server.srvAreaDB, Number(a)).toString('hex'));
    } else if (command === 'quit') {
      quit(0);
    }
  });
  lines.on('close', () => quit(0));
  setTimeout(() => quit(0), 10 * 60 * 1000).unref();
}

module.exports = {serve};
