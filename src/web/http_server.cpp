#include "web/http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cstring>
#include <memory>

namespace zun::web {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// One request's state across the library's calls.
struct Conn {
  Request req;
  MHD_PostProcessor* pp = nullptr;
  int fd = -1;
  EVP_MD_CTX* sha = nullptr;
  int refuse = 0;  // a status decided before the body was read
  HttpServer* server = nullptr;
  ~Conn() {
    if (pp != nullptr) MHD_destroy_post_processor(pp);
    if (fd >= 0) ::close(fd);
    if (sha != nullptr) EVP_MD_CTX_free(sha);
    if (!req.upload.path.empty()) ::unlink(req.upload.path.c_str());
  }
};

MHD_Result Queue(MHD_Connection* c, const Response& r) {
  MHD_Response* resp = MHD_create_response_from_buffer(
      r.body.size(), const_cast<char*>(r.body.data()), MHD_RESPMEM_MUST_COPY);
  if (resp == nullptr) return MHD_NO;
  MHD_add_response_header(resp, "Content-Type", r.content_type.c_str());
  for (const auto& [k, v] : r.headers) MHD_add_response_header(resp, k.c_str(), v.c_str());
  const MHD_Result ok = MHD_queue_response(c, static_cast<unsigned>(r.status), resp);
  MHD_destroy_response(resp);
  return ok;
}

Response Plain(int status, const std::string& text) {
  Response r;
  r.status = status;
  r.content_type = "text/plain; charset=utf-8";
  r.body = text + "\n";
  r.headers = {{"Connection", "close"}};
  return r;
}

MHD_Result Collect(void* cls, MHD_ValueKind kind, const char* key, const char* value) {
  auto* req = static_cast<Request*>(cls);
  const std::string v = value != nullptr ? value : "";
  if (kind == MHD_HEADER_KIND) req->headers[Lower(key)] = v;
  if (kind == MHD_COOKIE_KIND) req->cookies[key] = v;
  if (kind == MHD_GET_ARGUMENT_KIND) req->query.emplace(key, v);
  return MHD_YES;
}

// Writes the bytes of a file part to the temporary file, hashing them;
// past the limit nothing more is written and the upload is marked.
bool WriteFilePart(Conn* c, HttpServer* s, const char* data, size_t size) {
  Upload& u = c->req.upload;
  if (u.too_large) return true;
  if (u.size + size > s->limits().max_file_bytes) {
    u.too_large = true;
    return true;
  }
  EVP_DigestUpdate(c->sha, data, size);
  for (size_t done = 0; done < size;) {
    const ssize_t n = ::write(c->fd, data + done, size - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  u.size += size;
  return true;
}

MHD_Result Field(void* cls, MHD_ValueKind, const char* key, const char* filename, const char*,
                 const char*, const char* data, uint64_t off, size_t size) {
  auto* c = static_cast<Conn*>(cls);
  if (filename != nullptr) {
    Upload& u = c->req.upload;
    if (c->fd < 0) {
      if (!u.path.empty()) return MHD_NO;  // one file per request
      std::string tmpl = c->server->limits().upload_dir + "/upload-XXXXXX";
      c->fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
      if (c->fd < 0) return MHD_NO;
      u.path = tmpl;
      u.field = key;
      u.name = filename;
      c->sha = EVP_MD_CTX_new();
      EVP_DigestInit_ex(c->sha, EVP_sha256(), nullptr);
    }
    return WriteFilePart(c, c->server, data, size) ? MHD_YES : MHD_NO;
  }
  auto& values = c->req.form[key];
  if (off == 0 || values.empty()) values.emplace_back();
  if (values.size() > 1000 || values.back().size() + size > (64u << 10)) return MHD_NO;
  values.back().append(data, size);
  return MHD_YES;
}

void FinishUpload(Conn* c) {
  if (c->fd < 0) return;
  ::close(c->fd);
  c->fd = -1;
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  EVP_DigestFinal_ex(c->sha, md, &n);
  static const char* hex = "0123456789abcdef";
  for (unsigned i = 0; i < n; ++i) {
    c->req.upload.sha256 += hex[md[i] >> 4];
    c->req.upload.sha256 += hex[md[i] & 15];
  }
}

MHD_Result Access(void* cls, MHD_Connection* mc, const char* url, const char* method, const char*,
                  const char* upload_data, size_t* upload_data_size, void** con_cls) {
  auto* server = static_cast<HttpServer*>(cls);
  auto* c = static_cast<Conn*>(*con_cls);
  if (c == nullptr) {
    c = new Conn;
    c->server = server;
    *con_cls = c;
    c->req.method = method;
    c->req.path = url;
    MHD_get_connection_values(mc, MHD_HEADER_KIND, Collect, &c->req);
    MHD_get_connection_values(mc, MHD_COOKIE_KIND, Collect, &c->req);
    MHD_get_connection_values(mc, MHD_GET_ARGUMENT_KIND, Collect, &c->req);
    if (const auto* info = MHD_get_connection_info(mc, MHD_CONNECTION_INFO_CLIENT_ADDRESS)) {
      char buf[INET6_ADDRSTRLEN] = "";
      const sockaddr* sa = info->client_addr;
      if (sa->sa_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(sa)->sin_addr, buf, sizeof buf);
      } else if (sa->sa_family == AF_INET6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(sa)->sin6_addr, buf, sizeof buf);
      }
      c->req.peer = buf;
    }
    const std::string real = c->req.Header("x-real-ip");
    if ((c->req.peer == "127.0.0.1" || c->req.peer == "::1") && !real.empty() && real.size() < 64) {
      c->req.peer = real;
    }
    if (c->req.method == "POST") {
      const std::string len = c->req.Header("content-length");
      const uint64_t max = server->limits().max_file_bytes + server->limits().form_overhead;
      if (len.empty()) {
        c->refuse = 411;
      } else if (len.size() > 19 || std::strtoull(len.c_str(), nullptr, 10) > max) {
        c->refuse = 413;
      } else {
        c->pp = MHD_create_post_processor(mc, 16 << 10, Field, c);
        // An empty body or a type no form has is answered by the handler.
      }
    }
    if (c->refuse == 0) return MHD_YES;
  }
  if (c->refuse != 0) {
    return Queue(mc, c->refuse == 411
                         ? Plain(411,
                                 "411 Length Required: send the file with its length "
                                 "(Content-Length); a body without one is refused")
                         : Plain(413, "413 Content Too Large: the file is larger than the " +
                                          std::to_string(server->limits().max_file_bytes >> 20) +
                                          " MiB the queue takes"));
  }
  if (*upload_data_size != 0) {
    if (c->pp != nullptr && MHD_post_process(c->pp, upload_data, *upload_data_size) != MHD_YES) {
      c->refuse = 400;
    }
    *upload_data_size = 0;
    return MHD_YES;
  }
  FinishUpload(c);
  if (c->refuse == 400) return Queue(mc, Plain(400, "400 Bad Request: the form was not readable"));
  if (c->req.upload.too_large) {
    return Queue(mc, Plain(413, "413 Content Too Large: the file is larger than the " +
                                    std::to_string(server->limits().max_file_bytes >> 20) +
                                    " MiB the queue takes"));
  }
  Response r;
  try {
    r = server->handler()(c->req);
  } catch (const std::exception& x) {
    r = Plain(500, std::string("500 Internal Server Error: ") + x.what());
  }
  return Queue(mc, r);
}

void Completed(void*, MHD_Connection*, void** con_cls, MHD_RequestTerminationCode) {
  auto* c = static_cast<Conn*>(*con_cls);
  if (c == nullptr) return;
  delete c;
  *con_cls = nullptr;
}

}  // namespace

std::string Request::Form(const std::string& name) const {
  auto it = form.find(name);
  return it == form.end() || it->second.empty() ? "" : it->second.front();
}
std::string Request::Query(const std::string& name) const {
  auto it = query.find(name);
  return it == query.end() ? "" : it->second;
}
std::string Request::Header(const std::string& lower_name) const {
  auto it = headers.find(lower_name);
  return it == headers.end() ? "" : it->second;
}

HttpServer::HttpServer(Handler handler, Limits limits)
    : handler_(std::move(handler)), limits_(std::move(limits)) {}

HttpServer::~HttpServer() { Stop(); }

std::string HttpServer::Start(const std::string& address, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  if (inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) {
    return "not an IPv4 address: " + address;
  }
  daemon_ = MHD_start_daemon(
      MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_ERROR_LOG, port,
      nullptr, nullptr, Access, this, MHD_OPTION_SOCK_ADDR, &sa, MHD_OPTION_CONNECTION_TIMEOUT,
      limits_.connection_timeout_s, MHD_OPTION_CONNECTION_MEMORY_LIMIT, limits_.connection_memory,
      MHD_OPTION_CONNECTION_LIMIT, limits_.max_connections, MHD_OPTION_PER_IP_CONNECTION_LIMIT,
      limits_.max_per_address, MHD_OPTION_NOTIFY_COMPLETED, Completed, nullptr, MHD_OPTION_END);
  if (daemon_ == nullptr) return "cannot listen on " + address + ":" + std::to_string(port);
  const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT);
  port_ = info != nullptr ? info->port : port;
  return "";
}

void HttpServer::Stop() {
  if (daemon_ != nullptr) MHD_stop_daemon(daemon_);
  daemon_ = nullptr;
}

std::string Sha256Hex(const std::string& bytes) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  EVP_Digest(bytes.data(), bytes.size(), md, &n, EVP_sha256(), nullptr);
  static const char* hex = "0123456789abcdef";
  std::string out;
  for (unsigned i = 0; i < n; ++i) {
    out += hex[md[i] >> 4];
    out += hex[md[i] & 15];
  }
  return out;
}

const char* StatusText(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 303:
      return "See Other";
    case 400:
      return "Bad Request";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 409:
      return "Conflict";
    case 411:
      return "Length Required";
    case 413:
      return "Content Too Large";
    case 429:
      return "Too Many Requests";
    default:
      return "Error";
  }
}

}  // namespace zun::web
