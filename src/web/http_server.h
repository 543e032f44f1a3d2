// The web server's HTTP layer over libmicrohttpd: one thread per connection,
// each connection's memory and idle time bounded by the library (a header
// without a line end or a client that stops sending is dropped, never
// waited for), and request bodies bounded before they are read: a POST
// whose announced length is above the limit gets 413, one without a length
// (a chunked body) 411, both before the body is read. Form bodies
// (application/x-www-form-urlencoded and multipart/form-data) are parsed
// here; a file part is streamed to a private temporary file with its
// SHA-256, never held whole in memory.
//
// Thread-safety: Start and Stop from one thread; the handler is called
// from many connection threads at once and must be thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

struct MHD_Daemon;

namespace zun::web {

// The file part of a multipart body.
struct Upload {
  std::string field;       // the form field's name
  std::string name;        // the file name the browser sent
  std::string path;        // the temporary file; removed after the answer
  std::string sha256;      // lower-case hex of the bytes stored
  uint64_t size = 0;       // bytes received
  bool too_large = false;  // more than the limit came: the file is cut
};

struct Request {
  std::string method;
  std::string path;
  // The client's address; over loopback the reverse proxy's X-Real-IP.
  std::string peer;
  std::map<std::string, std::string> headers;  // names in lower case
  std::map<std::string, std::string> cookies;
  std::map<std::string, std::string> query;  // decoded
  std::map<std::string, std::vector<std::string>> form;
  Upload upload;  // path empty when none
  // The first value of form field name; "" when absent.
  std::string Form(const std::string& name) const;
  std::string Query(const std::string& name) const;
  std::string Header(const std::string& lower_name) const;
};

struct Response {
  int status = 200;
  std::string content_type = "text/html; charset=utf-8";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
};

using Handler = std::function<Response(Request&)>;

struct Limits {
  uint64_t max_file_bytes = 64ull << 20;  // the file part's limit
  uint64_t form_overhead = 64 << 10;      // what a body may add to it
  unsigned connection_timeout_s = 30;     // idle seconds before a drop
  size_t connection_memory = 64 << 10;    // headers and buffers per connection
  unsigned max_connections = 64;
  unsigned max_per_address = 16;
  std::string upload_dir;  // where file parts are written
};

class HttpServer {
 public:
  HttpServer(Handler handler, Limits limits);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Listens on address:port (an IPv4 address; port 0 picks a free one).
  // Returns "" or why it cannot.
  std::string Start(const std::string& address, uint16_t port);
  uint16_t Port() const { return port_; }
  void Stop();

  // Internal: the library's callbacks reach these.
  Handler& handler() { return handler_; }
  const Limits& limits() const { return limits_; }

 private:
  Handler handler_;
  Limits limits_;
  MHD_Daemon* daemon_ = nullptr;
  uint16_t port_ = 0;
};

// The SHA-256 of bytes as 64 lower-case hex digits.
std::string Sha256Hex(const std::string& bytes);

// The text of an HTTP status: "Not Found" for 404.
const char* StatusText(int status);

}  // namespace zun::web
