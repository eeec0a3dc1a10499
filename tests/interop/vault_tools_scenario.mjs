// Interoperability of the vault tools: the official client searches a fixture
// vault, reads a page, edits it, and sees the edit in both a new read and a new
// search. Errors must arrive as tool results with isError, not as protocol errors.
import { readFileSync } from 'node:fs';
import { join } from 'node:path';

import { connectServer, makeScratchHome, resultText } from './vault_session.mjs';

const OTTERS = `---
title: Sea otters
url: https://otters.example/facts
saved_at: 2026-11-20T10:00:00Z
---

Sea otters hold hands while they sleep.
`;

const BADGERS = `---
title: Honey badgers
url: https://badgers.example/
saved_at: 2026-11-21T10:00:00Z
---

Honey badgers fear nothing.
`;

const EDITED = `---
title: Sea otters
url: https://otters.example/facts
saved_at: 2026-11-20T10:00:00Z
---

Sea otters wrap themselves in kelp.
`;

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// The index of a vault the server has never seen is built in the background
// after its first use, so the first searches may find nothing yet.
async function searchUntilFound(client, query) {
  let text = null;
  for (let attempt = 0; attempt < 50; attempt += 1) {
    text = resultText(await client.callTool({ name: 'corvanta_search', arguments: { query } }));
    if (text !== null && !text.startsWith('No results found')) return text;
    await sleep(200);
  }
  return text;
}

async function call(client, name, args) {
  const result = await client.callTool({ name, arguments: args });
  return { text: resultText(result), isError: result.isError === true };
}

export async function checkVaultTools(binary, checks) {
  const scratch = makeScratchHome({
    pages: { 'Research/otters.md': OTTERS, 'Research/badgers.md': BADGERS },
  });
  const { client, transport } = await connectServer(binary, scratch);
  try {
    const found = await searchUntilFound(client, 'otters');
    checks.that(
      found?.startsWith(
        "Search results for 'otters' (1 matches):\n" +
          '- Sea otters [Research/otters.md]\n  URL: https://otters.example/facts\n  > ',
      ),
      `search: ${JSON.stringify(found)}`,
    );

    const read = await call(client, 'corvanta_read_file', { kb: 'Research', filename: 'otters.md' });
    checks.equal(read, { text: OTTERS, isError: false }, 'read_file');

    const edited = await call(client, 'corvanta_edit_file', {
      kb: 'Research', filename: 'otters.md', content: EDITED,
    });
    checks.equal(edited, { text: "Updated 'otters.md' in 'Research'", isError: false }, 'edit_file');
    const onDisk = readFileSync(join(scratch.vaultRoot, 'Research', 'otters.md'), 'utf8');
    checks.equal(onDisk, EDITED, 'edited file on disk');
    const reread = await call(client, 'corvanta_read_file', { kb: 'Research', filename: 'otters.md' });
    checks.equal(reread.text, EDITED, 'read_file after the edit');
    const kelp = await searchUntilFound(client, 'kelp');
    checks.that(
      kelp?.startsWith("Search results for 'kelp' (1 matches):\n- Sea otters [Research/otters.md]"),
      `search after the edit: ${JSON.stringify(kelp)}`,
    );

    const noKb = await call(client, 'corvanta_edit_file', { filename: 'otters.md', content: 'x' });
    checks.equal(
      noKb, { text: 'Error: kb, filename, and content are all required', isError: true },
      'edit_file without kb',
    );
    const missing = await call(client, 'corvanta_read_file', { filename: 'nope.md' });
    checks.equal(
      missing, { text: "Error: File 'nope.md' not found in 'General'", isError: true },
      'read_file of a missing page',
    );
  } finally {
    await transport.close();
    scratch.remove();
  }
}
