// Helpers for driving `corvanta-vault --mcp` with the official MCP client:
// a scratch home with a vault (optionally holding fixture pages), a connected
// client, and small assertion helpers that collect failures instead of throwing,
// so one run reports every mismatch.
import { mkdtempSync, mkdirSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';

import { Client } from '@modelcontextprotocol/sdk/client/index.js';
import { StdioClientTransport } from '@modelcontextprotocol/sdk/client/stdio.js';

// A home folder of its own, so the server never sees the real user's files.
// `pages` maps "<kb>/<filename>" to file content; an empty map gives an empty
// vault. Knowledge bases listed in `emptyKnowledgeBases` are created as folders.
export function makeScratchHome({ pages = {}, emptyKnowledgeBases = [] } = {}) {
  const home = mkdtempSync(join(tmpdir(), 'corvanta-interop-'));
  const configHome = join(home, 'config');
  const dataHome = join(home, 'data');
  const vaultRoot = join(home, 'vault');
  mkdirSync(vaultRoot, { recursive: true });
  for (const kb of emptyKnowledgeBases) mkdirSync(join(vaultRoot, kb), { recursive: true });
  for (const [key, content] of Object.entries(pages)) {
    const path = join(vaultRoot, key);
    mkdirSync(dirname(path), { recursive: true });
    writeFileSync(path, content);
  }
  const settings = join(configHome, 'corvanta-vault', 'settings.json');
  mkdirSync(dirname(settings), { recursive: true });
  // Usage events go to a closed local port: a test never reaches the real endpoint.
  writeFileSync(settings, JSON.stringify({
    vaultRootPath: vaultRoot,
    'analytics.captureURL': 'http://127.0.0.1:9/capture/',
  }));
  return {
    home,
    vaultRoot,
    environment: { HOME: home, XDG_CONFIG_HOME: configHome, XDG_DATA_HOME: dataHome },
    remove: () => rmSync(home, { recursive: true, force: true }),
  };
}

// Starts `<binary> --mcp` in `scratch` and completes the initialize handshake.
// Returns { client, transport, exited }, where `exited` resolves to the exit
// code once the process ends (null when the library hides the process).
export async function connectServer(binary, scratch) {
  const transport = new StdioClientTransport({
    command: binary,
    args: ['--mcp'],
    env: { PATH: process.env.PATH ?? '/usr/bin:/bin', ...scratch.environment },
    stderr: 'pipe',
  });
  const client = new Client({ name: 'corvanta-interop', version: '1.0.0' });
  await client.connect(transport);
  // The library keeps its child private; watch it when it is there.
  const child = transport._process;
  const exited = child
    ? new Promise((resolve) => child.once('exit', (code) => resolve(code)))
    : Promise.resolve(null);
  return { client, transport, exited };
}

export class Checks {
  constructor() {
    this.failures = [];
  }

  that(condition, message) {
    if (!condition) this.failures.push(message);
    return condition;
  }

  equal(actual, expected, what) {
    const a = JSON.stringify(actual);
    const e = JSON.stringify(expected);
    return this.that(a === e, `${what}: expected ${e}, got ${a}`);
  }

  // Prints the outcome and returns the process exit status.
  report(name) {
    if (this.failures.length === 0) {
      console.log(`${name}: all checks passed`);
      return 0;
    }
    for (const failure of this.failures) console.error(`${name}: ${failure}`);
    return 1;
  }
}

// The text of a tool result with its single text item, or null when the
// result is not shaped that way.
export function resultText(result) {
  const content = result?.content;
  if (!Array.isArray(content) || content.length !== 1 || content[0].type !== 'text') return null;
  return content[0].text;
}
