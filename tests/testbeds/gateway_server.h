// A local HTTP(S) server on 127.0.0.1 standing in for the mail gateway (it
// records every request it answers), a port that never answers, and a
// fixture that sends the log to a scratch file.
#pragma once

#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../support/log_capture.h"
#include "foundation/log.h"

namespace zun::testing {

class GatewayServer {
 public:
  explicit GatewayServer(int status = 200, const std::string& cert = "",
                         const std::string& key = "")
      : srv_(cert.empty() ? std::make_unique<httplib::Server>()
                          : std::make_unique<httplib::SSLServer>(cert.c_str(), key.c_str())) {
    auto record = [this, status](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard<std::mutex> lock(mu_);
      got_.push_back(req);
      res.status = status;
    };
    srv_->Get(".*", record).Post(".*", record);
    port_ = srv_->bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { srv_->listen_after_bind(); });
    while (port_ > 0 && !srv_->is_running()) std::this_thread::yield();
  }
  ~GatewayServer() {
    srv_->stop();
    thread_.join();
  }
  int Port() const { return port_; }
  std::string Url(const std::string& scheme = "http") const {
    return scheme + "://127.0.0.1:" + std::to_string(port_) + "/";
  }
  std::vector<httplib::Request> Got() {
    std::lock_guard<std::mutex> lock(mu_);
    return got_;
  }

 private:
  std::unique_ptr<httplib::Server> srv_;
  std::thread thread_;
  int port_ = -1;
  std::mutex mu_;
  std::vector<httplib::Request> got_;
};

// A bound socket on 127.0.0.1: refuses connections, or, when listening,
// takes them into its backlog and never answers.
struct DeadPort {
  explicit DeadPort(bool listening) : fd(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t len = sizeof a;
    bind(fd, reinterpret_cast<sockaddr*>(&a), len);
    if (listening) listen(fd, 4);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    url = "http://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/";
  }
  ~DeadPort() { close(fd); }
  int fd;
  std::string url;
};

class NotifyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLogFileName(file_.string());
    setenv("no_proxy", "*", 1);  // local requests never go through a proxy
    log_.Mark();
  }
  void TearDown() override {
    SetLogFileName("zuninput.log");
    std::filesystem::remove(file_);
  }
  // The log messages since the test began, one per line.
  std::string Log() { return log_.Text(); }
  bool Logged(const std::string& text) { return Log().find(text) != std::string::npos; }

  LogCapture log_;
  const std::filesystem::path file_ =
      std::filesystem::temp_directory_path() / ("zun-notify-" + std::to_string(getpid()) + ".log");
};

}  // namespace zun::testing
