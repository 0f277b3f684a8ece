// WebSocket server of the npm package ws for the interoperability check.
// Prints its port, then stores every message it receives as OUT/msg-NNN.bin,
// in the order received.
'use strict';
const fs = require('fs');
const path = require('path');
const { WebSocketServer } = require('ws');

const out = process.argv[2];
let count = 0;
const server = new WebSocketServer({ host: '127.0.0.1', port: 0, maxPayload: 64 * 1024 * 1024 });
server.on('listening', () => console.log(String(server.address().port)));
server.on('connection', (ws) => {
  ws.on('error', () => {}); // the client ends with the TCP stream, without a close frame
  ws.on('message', (data) => {
    const name = path.join(out, 'msg-' + String(count++).padStart(3, '0') + '.bin');
    fs.writeFileSync(name + '.tmp', data);
    fs.renameSync(name + '.tmp', name);
  });
});
