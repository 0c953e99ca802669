// Runs the OPC UA interop check, or skips (exit 77) when the npm peers are not installed.
"use strict";
const path = require("path");
try {
  require.resolve("node-opcua-client", { paths: [path.join(__dirname, "..")] });
} catch (e) {
  console.log("skipped: node-opcua-client is not installed (cd tests/interop && npm install)");
  process.exit(77);
}
require("./ua_interop.js");
