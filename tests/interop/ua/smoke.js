const { OPCUAClient, MessageSecurityMode, SecurityPolicy, AttributeIds } = require("node-opcua-client");
(async () => {
  const url = process.argv[2];
  const client = OPCUAClient.create({ endpointMustExist: false, securityMode: MessageSecurityMode.None, securityPolicy: SecurityPolicy.None, connectionStrategy: { maxRetry: 0 } });
  await client.connect(url);
  const session = await client.createSession();
  const br = await session.browse("ns=0;i=85");
  console.log(br.toString());
  const v = await session.read({ nodeId: "ns=1;s=Line1.Drives.Counter", attributeId: AttributeIds.Value });
  console.log(v.toString());
  await session.close();
  await client.disconnect();
})().catch(e => { console.error("FAIL", e); process.exit(1); });
