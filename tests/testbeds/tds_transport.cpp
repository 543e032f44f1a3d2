#include "tds_transport.h"

#include <sys/socket.h>

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace zun::testing {
namespace {

constexpr uint8_t kPreloginPacket = 0x12;

[[noreturn]] void Fail(const std::string& what) {
  char reason[256] = "";
  ERR_error_string_n(ERR_get_error(), reason, sizeof reason);
  throw std::runtime_error(what + ": " + reason);
}

struct Pkey {
  EVP_PKEY* p;
  ~Pkey() { EVP_PKEY_free(p); }
};
struct Cert {
  X509* x;
  ~Cert() { X509_free(x); }
};

// A self-signed certificate, valid for ten years, for the names clients
// check on loopback: localhost and 127.0.0.1. It is its own CA, so a client
// given it as its CA file validates the server with it.
void MakeCertificate(Pkey* key, Cert* cert) {
  key->p = EVP_RSA_gen(2048);
  cert->x = X509_new();
  if (key->p == nullptr || cert->x == nullptr) Fail("key");
  X509* x = cert->x;
  unsigned char serial[16];
  RAND_bytes(serial, sizeof serial);
  serial[0] &= 0x7F;
  BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
  BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(x));
  BN_free(bn);
  X509_set_version(x, 2);
  X509_gmtime_adj(X509_getm_notBefore(x), -86400);
  X509_gmtime_adj(X509_getm_notAfter(x), 10L * 365 * 86400);
  X509_NAME* name = X509_get_subject_name(x);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
  X509_set_issuer_name(x, name);
  X509_set_pubkey(x, key->p);
  X509V3_CTX v3;
  X509V3_set_ctx(&v3, x, x, nullptr, nullptr, 0);
  for (const auto& [nid, value] : {std::pair{NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1"},
                                   std::pair{NID_basic_constraints, "critical,CA:TRUE"}}) {
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &v3, nid, value);
    if (ext == nullptr || X509_add_ext(x, ext, -1) != 1) Fail("certificate extension");
    X509_EXTENSION_free(ext);
  }
  if (X509_sign(x, key->p, EVP_sha256()) == 0) Fail("signing the certificate");
}

}  // namespace

uint8_t EncryptionAnswer(ServerEncryption server, uint8_t client) {
  if (server == ServerEncryption::kNotSupported) return kEncryptNotSup;
  if (server == ServerEncryption::kRequired) return client == kEncryptOn ? kEncryptOn : kEncryptReq;
  if (client == kEncryptOff || client == kEncryptNotSup) return client;
  return kEncryptOn;
}

TdsTlsContext::TdsTlsContext(const std::string& cert_pem, const std::string& key_pem)
    : ctx_(SSL_CTX_new(TLS_server_method())) {
  if (ctx_ == nullptr) Fail("SSL_CTX_new");
  SSL_CTX_set_max_proto_version(ctx_, TLS1_2_VERSION);
  if (cert_pem.empty() && key_pem.empty()) {
    Pkey key{nullptr};
    Cert cert{nullptr};
    MakeCertificate(&key, &cert);
    if (SSL_CTX_use_certificate(ctx_, cert.x) != 1 || SSL_CTX_use_PrivateKey(ctx_, key.p) != 1)
      Fail("certificate");
  } else if (SSL_CTX_use_certificate_chain_file(ctx_, cert_pem.c_str()) != 1 ||
             SSL_CTX_use_PrivateKey_file(ctx_, key_pem.c_str(), SSL_FILETYPE_PEM) != 1 ||
             SSL_CTX_check_private_key(ctx_) != 1) {
    SSL_CTX_free(ctx_);
    Fail("loading " + cert_pem + " and " + key_pem);
  }
}

TdsTlsContext::~TdsTlsContext() { SSL_CTX_free(ctx_); }

void WriteSelfSignedCertificate(const std::string& cert_pem, const std::string& key_pem) {
  Pkey key{nullptr};
  Cert cert{nullptr};
  MakeCertificate(&key, &cert);
  for (const std::string* path : {&cert_pem, &key_pem}) {
    FILE* f = std::fopen(path->c_str(), "w");
    if (f == nullptr) throw std::runtime_error("cannot write " + *path);
    const int ok = path == &cert_pem
                       ? PEM_write_X509(f, cert.x)
                       : PEM_write_PrivateKey(f, key.p, nullptr, nullptr, 0, nullptr, nullptr);
    std::fclose(f);
    if (ok != 1) Fail("writing " + *path);
  }
}

TdsTransport::~TdsTransport() { EndTls(); }

void TdsTransport::EndTls() {
  // No close_notify: the client drops its TLS state as silently.
  SSL_free(ssl_);
  ssl_ = nullptr;
}

bool TdsTransport::Receive(char* at, size_t n) {
  while (n > 0) {
    const int want = static_cast<int>(std::min<size_t>(n, 1 << 30));
    const long got = ssl_ != nullptr ? SSL_read(ssl_, at, want) : ::recv(fd_, at, n, 0);
    if (got <= 0) return false;
    at += got, n -= static_cast<size_t>(got);
  }
  return true;
}

bool TdsTransport::Write(const std::string& bytes) {
  if (ssl_ != nullptr)
    return SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size())) ==
           static_cast<int>(bytes.size());
  return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
         static_cast<ssize_t>(bytes.size());
}

bool TdsTransport::ReadMessage(uint8_t* type, std::string* body) {
  body->clear();
  for (;;) {
    char h[8];
    if (!Receive(h, 8)) return false;
    *type = static_cast<uint8_t>(h[0]);
    const size_t len =
        static_cast<size_t>(static_cast<uint8_t>(h[2]) << 8 | static_cast<uint8_t>(h[3]));
    if (len < 8) return false;
    const size_t at = body->size();
    body->resize(at + len - 8);
    if (!Receive(body->data() + at, len - 8)) return false;
    // Login-only encryption covers the first packet, then the link is plain.
    if (login_only_ && ssl_ != nullptr) EndTls();
    if (h[1] & 1) return true;  // end of message
  }
}

bool TdsTransport::Send(uint8_t type, const std::string& data, size_t packet_size) {
  size_t at = 0;
  uint8_t packet_id = 1;
  do {
    const size_t n = std::min(packet_size - 8, data.size() - at);
    std::string p(8, '\0');
    p[0] = static_cast<char>(type);
    p[1] = at + n == data.size() ? 1 : 0;
    p[2] = static_cast<char>((n + 8) >> 8), p[3] = static_cast<char>((n + 8) & 0xFF);
    p[5] = 51;  // the session id
    p[6] = static_cast<char>(packet_id++);
    p += data.substr(at, n);
    if (!Write(p)) return false;
    at += n;
  } while (at < data.size());
  return true;
}

bool TdsTransport::StartTls(const TdsTlsContext& tls, bool login_only) {
  SSL* ssl = SSL_new(tls.get());
  BIO* in = BIO_new(BIO_s_mem());
  BIO* out = BIO_new(BIO_s_mem());
  SSL_set_bio(ssl, in, out);
  SSL_set_accept_state(ssl);
  // The handshake's records go as the payload of PRELOGIN packets both ways.
  for (;;) {
    const int rc = SSL_do_handshake(ssl);
    std::string records(static_cast<size_t>(BIO_pending(out)), '\0');
    if (!records.empty()) BIO_read(out, records.data(), static_cast<int>(records.size()));
    if ((!records.empty() && !Send(kPreloginPacket, records, 4096)) ||
        (rc != 1 && SSL_get_error(ssl, rc) != SSL_ERROR_WANT_READ)) {
      SSL_free(ssl);
      return false;
    }
    if (rc == 1) break;
    uint8_t type;
    std::string body;
    if (!ReadMessage(&type, &body) || type != kPreloginPacket) {
      SSL_free(ssl);
      return false;
    }
    BIO_write(in, body.data(), static_cast<int>(body.size()));
  }
  BIO* socket = BIO_new_socket(fd_, BIO_NOCLOSE);
  SSL_set_bio(ssl, socket, socket);
  ssl_ = ssl;
  login_only_ = login_only;
  coverage_ = login_only ? "login" : "full";
  return true;
}

}  // namespace zun::testing
