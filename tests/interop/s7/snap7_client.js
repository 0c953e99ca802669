// node-snap7's S7Client, an independent client, exercising a PLC at 127.0.0.1:PORT.
//   node snap7_client.js PORT
// Expects DB1 of at least 300 bytes with byte i = i & 0xFF and no DB 99. Reads 222 bytes, writes
// 212 and reads them back, reads a word and a bit with ReadMultiVars, and checks that a missing
// block is refused. Prints "ok" and exits 0 when every check holds, else prints the failure
// and exits 1.
'use strict';
const snap7 = require('node-snap7');

const port = Number(process.argv[2]);
const client = new snap7.S7Client();
client.SetParam(client.RemotePort, port);
client.SetParam(client.PingTimeout, 2000);
client.SetParam(client.RecvTimeout, 2000);
client.SetParam(client.SendTimeout, 2000);

function fail(message) {
  console.log('FAIL ' + message);
  client.Disconnect();
  process.exit(1);
}

function check(condition, message) {
  if (!condition) fail(message);
}

if (!client.ConnectTo('127.0.0.1', 0, 2)) fail('connect: ' + client.ErrorText(client.LastError()));
check(client.PDULength() >= 240, 'PDU length ' + client.PDULength());

const read = client.DBRead(1, 0, 222);
check(read, 'read: ' + client.ErrorText(client.LastError()));
for (let i = 0; i < 222; ++i) check(read[i] === (i & 0xff), 'byte ' + i + ' is ' + read[i]);

const data = Buffer.alloc(212);
for (let i = 0; i < data.length; ++i) data[i] = (255 - i) & 0xff;
check(client.DBWrite(1, 50, 212, data), 'write: ' + client.ErrorText(client.LastError()));
const back = client.DBRead(1, 50, 212);
check(back && back.equals(data), 'read-back differs');

const multi = client.ReadMultiVars([
  {Area: client.S7AreaDB, WordLen: client.S7WLWord, DBNumber: 1, Start: 10, Amount: 1},
  {Area: client.S7AreaDB, WordLen: client.S7WLBit, DBNumber: 1, Start: 8 * 3 + 0, Amount: 1},
  {Area: client.S7AreaDB, WordLen: client.S7WLByte, DBNumber: 99, Start: 0, Amount: 4},
]);
check(multi, 'multi-read: ' + client.ErrorText(client.LastError()));
check(multi[0].Result === 0 && multi[0].Data[0] === 10 && multi[0].Data[1] === 11, 'word item');
check(multi[1].Result === 0 && multi[1].Data[0] === 1, 'bit item');
check(multi[2].Result !== 0, 'missing block accepted in multi-read');

check(client.DBRead(99, 0, 4) === false, 'missing block accepted');
check(client.Connected(), 'connection lost after an access error');

client.Disconnect();
console.log('ok');
process.exit(0);
