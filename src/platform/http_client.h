// An HTTP/1.1 client for the product's few outgoing requests: analytics events,
// the update check and the stdio MCP server's probes of the application's local
// API. One request per connection ("Connection: close"), http and https.
//
// Every request has one time limit that covers the whole exchange: name lookup,
// connect, TLS handshake, writing the request and reading the complete response.
// https verifies the server's certificate against the system's trust store and
// the URL's host name, and sends the host name for SNI.
//
// The client is cheap to build: its network thread starts on the first request
// and its TLS context is made on the first https request, so a process that never
// talks to the network pays for neither.
//
// Thread safety: every member may be called from any thread, except that
// request() must not be called from inside the client's own thread (there is no
// way to get there: the client runs no caller code on it).
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/url.h"

namespace corvanta {

struct HttpResponse {
  int status = 0;
  std::string body;
};

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

class HttpClient {
 public:
  HttpClient();
  // Abandons whatever is still in flight at once (see shutdown()).
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // Blocks until the response has arrived. Nothing on an unusable URL or method,
  // a transport or TLS error, or when `timeout` passes first. Any status counts
  // as a response; callers decide which ones they accept.
  std::optional<HttpResponse> request(const std::string& method, const std::string& url,
                                      const HttpHeaders& headers, const std::string& body,
                                      std::chrono::milliseconds timeout);

  // The same request, started and forgotten: returns at once, the response and
  // any failure are dropped. At most 8 of these run at once; up to 1000 more
  // wait their turn, and beyond that they are dropped unsent.
  void send(const std::string& method, const std::string& url, const HttpHeaders& headers,
            const std::string& body, std::chrono::milliseconds timeout);

  // Requests started and not yet finished.
  size_t inFlight() const;

  // Gives the requests in flight at most `grace` to finish, then abandons the
  // rest and stops the network thread. Returns true when nothing was abandoned.
  // Afterwards the client refuses new requests. Never waits much longer than
  // `grace`, so a process can always exit on time.
  bool shutdown(std::chrono::milliseconds grace);

 private:
  struct Engine;
  std::shared_ptr<Engine> engine_;
};

}  // namespace corvanta
