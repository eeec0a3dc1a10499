// https against a TLS server on 127.0.0.1 with a certificate made for the test.
// OpenSSL's default trust store honours SSL_CERT_FILE, which lets a test decide
// whether the client trusts that certificate without any test-only API.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/http_client.h"
#include "support/temp_dir.h"

namespace corvanta {
namespace {

using std::chrono::seconds;

// A self-signed certificate whose only name is the address 127.0.0.1.
struct TestCertificate {
  TestCertificate() {
    key = EVP_EC_gen("P-256");
    certificate = X509_new();
    if (!key || !certificate) throw std::runtime_error("openssl");
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
    X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate), 3600);
    X509_set_pubkey(certificate, key);
    X509_NAME* name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("loopback test"), -1, -1, 0);
    X509_set_issuer_name(certificate, name);
    addExtension(NID_basic_constraints, "critical,CA:TRUE");
    addExtension(NID_subject_alt_name, "IP:127.0.0.1");
    if (!X509_sign(certificate, key, EVP_sha256())) throw std::runtime_error("sign");
  }
  ~TestCertificate() {
    X509_free(certificate);
    EVP_PKEY_free(key);
  }
  void addExtension(int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
  }
  void writePem(const std::string& path) const {
    FILE* file = std::fopen(path.c_str(), "w");
    PEM_write_X509(file, certificate);
    std::fclose(file);
  }

  EVP_PKEY* key = nullptr;
  X509* certificate = nullptr;
};

// Serves one request per connection over TLS with a fixed reply; records the
// SNI name the client sent.
class TlsServer {
 public:
  explicit TlsServer(const TestCertificate& certificate) {
    context_ = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate(context_, certificate.certificate);
    SSL_CTX_use_PrivateKey(context_, certificate.key);
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
      throw std::runtime_error("listen");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~TlsServer() {
    stop_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
    SSL_CTX_free(context_);
  }
  std::string url(const std::string& host) const {
    return "https://" + host + ":" + std::to_string(port_) + "/version.json";
  }
  int served() const { return served_; }

 private:
  void serve() {
    while (!stop_) {
      int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (connection < 0) continue;
      timeval limit{5, 0};
      ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
      SSL* ssl = SSL_new(context_);
      SSL_set_fd(ssl, connection);
      if (SSL_accept(ssl) == 1) {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
          int n = SSL_read(ssl, buffer, sizeof buffer);
          if (n <= 0) break;
          request.append(buffer, static_cast<size_t>(n));
        }
        const std::string reply =
            "HTTP/1.1 200 OK\r\nContent-Length: 21\r\nConnection: close\r\n\r\n"
            "{\"version\":\"9.9.9\"}\n\n";
        SSL_write(ssl, reply.data(), static_cast<int>(reply.size()));
        SSL_shutdown(ssl);
        ++served_;
      }
      SSL_free(ssl);
      ::close(connection);
    }
  }

  SSL_CTX* context_ = nullptr;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_ = false;
  std::atomic<int> served_ = 0;
  std::thread thread_;
};

class HttpClientTlsTest : public ::testing::Test {
 protected:
  HttpClientTlsTest() {
    certificate.writePem(dir / "trusted.pem");
    const char* previous = std::getenv("SSL_CERT_FILE");
    if (previous) previous_ = previous;
  }
  ~HttpClientTlsTest() override {
    if (previous_.empty()) {
      ::unsetenv("SSL_CERT_FILE");
    } else {
      ::setenv("SSL_CERT_FILE", previous_.c_str(), 1);
    }
  }
  void trust(bool trusted) {
    ::setenv("SSL_CERT_FILE", trusted ? (dir / "trusted.pem").c_str() : "/nonexistent", 1);
  }

  test::TempDir dir;
  TestCertificate certificate;
  TlsServer server{certificate};
  std::string previous_;
};

TEST_F(HttpClientTlsTest, TrustedCertificateForTheHostGivesTheResponse) {
  trust(true);
  HttpClient client;
  auto response = client.request("GET", server.url("127.0.0.1"), {}, "", seconds(5));
  ASSERT_TRUE(response);
  EXPECT_EQ(response->status, 200);
  EXPECT_EQ(response->body, "{\"version\":\"9.9.9\"}\n\n");
}

TEST_F(HttpClientTlsTest, UntrustedCertificateIsRefused) {
  trust(false);
  HttpClient client;
  EXPECT_FALSE(client.request("GET", server.url("127.0.0.1"), {}, "", seconds(5)));
  EXPECT_EQ(server.served(), 0);
}

TEST_F(HttpClientTlsTest, TrustedCertificateForAnotherNameIsRefused) {
  trust(true);
  HttpClient client;
  // "localhost" resolves to this server, but the certificate names 127.0.0.1 only.
  EXPECT_FALSE(client.request("GET", server.url("localhost"), {}, "", seconds(5)));
  EXPECT_EQ(server.served(), 0);
}

}  // namespace
}  // namespace corvanta
