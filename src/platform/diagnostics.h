// Diagnostic lines ("Kest HTTP server running on ...", "SearchIndex: failed to
// open ..."). The application prints them on standard output. In the MCP server
// and hook modes standard output carries only the protocol — a stray line there
// corrupts the stream the assistant host parses — so those modes send every
// diagnostic to standard error instead.
#pragma once

#include <string_view>

namespace corvanta {

enum class DiagnosticStream { standardOutput, standardError };

// Chosen once by the process entry, before any other thread starts.
void setDiagnosticStream(DiagnosticStream stream);

// Writes `line` and a line feed in one call, then flushes. Safe from any thread.
void printDiagnostic(std::string_view line);

}  // namespace corvanta
