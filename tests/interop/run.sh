#!/usr/bin/env bash
# Interoperability test: drives `corvanta-vault --mcp` with the official MCP
# TypeScript client library. Usage: run.sh <path to corvanta-vault>.
# Exit 77 (skipped) only when the client library cannot be installed.
set -uo pipefail
binary=$(readlink -f "${1:?usage: run.sh <corvanta-vault>}")
cd "$(dirname "$0")"

if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  echo "interop: skipped: node and npm are not installed"
  exit 77
fi

# Install only when the library is missing or package.json changed since.
if [ ! -d node_modules ] || [ package.json -nt node_modules ]; then
  log=$(mktemp)
  if ! npm install --no-audit --no-fund >"$log" 2>&1; then
    echo "interop: skipped: npm install failed:"
    tail -n 20 "$log"
    rm -f "$log"
    exit 77
  fi
  rm -f "$log"
  touch node_modules
fi

exec node check_stdio_server.mjs "$binary"
