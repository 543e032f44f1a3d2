// The TDS test server's transport: TDS packets over a TCP socket, through TLS
// where the PRELOGIN exchange agreed on it, as SQL Server carries them. The
// TLS handshake travels inside PRELOGIN packets; afterwards TLS records go on
// the socket itself, for the whole connection or, when the client asked for
// encryption to stay off, for the LOGIN7 packet only.
//
// Thread-safety: a TdsTlsContext is shared by all connections (OpenSSL's
// SSL_CTX is safe for that once set up); a TdsTransport belongs to the one
// thread that serves its connection.
#pragma once

#include <openssl/ssl.h>

#include <cstdint>
#include <memory>
#include <string>

namespace zun::testing {

// The server's encryption setting and the PRELOGIN ENCRYPTION values
// ([MS-TDS] 2.2.6.5).
enum class ServerEncryption { kOff, kRequired, kNotSupported };
constexpr uint8_t kEncryptOff = 0, kEncryptOn = 1, kEncryptNotSup = 2, kEncryptReq = 3;

// The ENCRYPTION value SQL Server answers a client's value with: a server
// with a certificate that does not force encryption keeps the client's
// choice (OFF: the login only), one that forces it answers REQ to OFF and
// NOT_SUP (the client must then encrypt or leave), and a server without TLS
// answers NOT_SUP whatever the client asked.
uint8_t EncryptionAnswer(ServerEncryption server, uint8_t client);

// The certificate and key the server presents (TLS 1.2 at most, as SQL
// Server 2019 offers).
class TdsTlsContext {
 public:
  // Loads cert_pem and key_pem (PEM files); with both empty, makes a
  // self-signed certificate for localhost and 127.0.0.1. Throws
  // std::runtime_error when OpenSSL refuses.
  TdsTlsContext(const std::string& cert_pem, const std::string& key_pem);
  ~TdsTlsContext();
  TdsTlsContext(const TdsTlsContext&) = delete;
  TdsTlsContext& operator=(const TdsTlsContext&) = delete;

  SSL_CTX* get() const { return ctx_; }

 private:
  SSL_CTX* ctx_;
};

// Writes a new self-signed certificate and its key to cert_pem and key_pem.
// Throws std::runtime_error on failure.
void WriteSelfSignedCertificate(const std::string& cert_pem, const std::string& key_pem);

class TdsTransport {
 public:
  explicit TdsTransport(int fd) : fd_(fd) {}
  ~TdsTransport();
  TdsTransport(const TdsTransport&) = delete;
  TdsTransport& operator=(const TdsTransport&) = delete;

  // Reads one message (its packets up to end of message) into body and its
  // packet type into type. False when the link ends or a packet is malformed.
  bool ReadMessage(uint8_t* type, std::string* body);

  // Sends data as one message of packet type type, in packets of at most
  // packet_size bytes. False when the link is gone.
  bool Send(uint8_t type, const std::string& data, size_t packet_size);

  // Runs the TLS handshake carried in PRELOGIN packets. With login_only,
  // TLS covers the next packet read (the LOGIN7) and then ends; otherwise
  // every later byte both ways. False when the handshake fails.
  bool StartTls(const TdsTlsContext& tls, bool login_only);

  // "full", "login" or "none": what TLS covered so far.
  const char* Coverage() const { return coverage_; }

 private:
  bool Receive(char* at, size_t n);
  bool Write(const std::string& bytes);
  void EndTls();

  int fd_;
  SSL* ssl_ = nullptr;
  bool login_only_ = false;
  const char* coverage_ = "none";
};

}  // namespace zun::testing
