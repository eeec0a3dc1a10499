// Interoperability check: the official MCP client must be able to connect to
// `corvanta-vault --mcp`, list its tools and call one. Exits non-zero on any
// mismatch. Usage: node check_stdio_server.mjs <path to corvanta-vault>
import { Checks, connectServer, makeScratchHome, resultText } from './vault_session.mjs';
import { checkVaultTools } from './vault_tools_scenario.mjs';

const EXPECTED_TOOLS = [
  'corvanta_list_knowledge_bases', 'corvanta_list_files', 'corvanta_read_file',
  'corvanta_get_overview', 'corvanta_search', 'corvanta_synthesize', 'corvanta_write_topic',
  'corvanta_add_relation', 'corvanta_list_topics', 'corvanta_get_relations',
  'corvanta_move_file', 'corvanta_edit_file', 'corvanta_delete_file', 'corvanta_delete_kb',
  'corvanta_save_url', 'corvanta_lint',
];

async function checkEmptyVault(binary, checks) {
  const scratch = makeScratchHome();
  const { client, transport, exited } = await connectServer(binary, scratch);
  try {
    checks.equal(client.getServerVersion()?.name, 'Corvanta MCP', 'server name');
    checks.equal(client.getServerCapabilities()?.tools, { listChanged: false }, 'capabilities');
    const instructions = client.getInstructions() ?? '';
    checks.equal([...instructions].length, 1555, 'instructions length');

    const { tools } = await client.listTools();
    checks.equal(tools.map((tool) => tool.name), EXPECTED_TOOLS, 'tool names');

    const listed = await client.callTool({ name: 'corvanta_list_knowledge_bases', arguments: {} });
    checks.that(resultText(listed) !== null, `tool result shape: ${JSON.stringify(listed)}`);

    // Methods the server does not offer are protocol errors, not hangs.
    const ping = await client.ping().then(() => 'answered', (error) => error?.code);
    checks.equal(ping, -32601, 'ping');
  } finally {
    await transport.close();
    const code = await exited;
    if (code !== null) checks.equal(code, 0, 'exit status after input ends');
    scratch.remove();
  }
}

async function main() {
  const binary = process.argv[2];
  if (!binary) {
    console.error('usage: node check_stdio_server.mjs <corvanta-vault>');
    return 2;
  }
  const checks = new Checks();
  // Each scenario starts its own server on its own scratch vault.
  await checkEmptyVault(binary, checks);
  await checkVaultTools(binary, checks);
  return checks.report('interop');
}

const watchdog = setTimeout(() => {
  console.error('interop: timed out');
  process.exit(1);
}, 120000);
watchdog.unref();

main().then(
  (status) => process.exit(status),
  (error) => {
    console.error('interop: failed:', error);
    process.exit(1);
  },
);
