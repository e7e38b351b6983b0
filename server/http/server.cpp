#include "http/server.hpp"

#include "core/texts.hpp"

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <iostream>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace vs {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

Reply error_reply(unsigned status, const char *text) {
  Reply r;
  r.status = status;
  r.body = std::string("{\"ok\":false,\"error\":\"") + text + "\"}";
  return r;
}

class Session : public std::enable_shared_from_this<Session> {
public:
  Session(tcp::socket sock, Service &svc, asio::thread_pool &pool, const ServerConfig &cfg)
      : stream_(std::move(sock)), svc_(svc), pool_(pool), cfg_(cfg) {}

  void start() {
    beast::error_code ec;
    stream_.socket().set_option(tcp::no_delay(true), ec);
    auto ep = stream_.socket().remote_endpoint(ec);
    remote_ = ec ? "?" : ep.address().to_string();
    next_request();
  }

private:
  // Between requests the connection may idle long; once a request has begun, its header must
  // arrive within the header timeout.
  void next_request() {
    parser_.emplace();
    parser_->body_limit(cfg_.body_limit);
    parser_->header_limit(16 * 1024);
    if (buf_.size() > 0) {
      read_header();
      return;
    }
    stream_.expires_after(cfg_.idle_timeout);
    stream_.async_read_some(buf_.prepare(4096), [self = shared_from_this()](beast::error_code ec, size_t n) {
      if (ec)
        return self->close();
      self->buf_.commit(n);
      self->read_header();
    });
  }

  void read_header() {
    stream_.expires_after(cfg_.header_timeout);
    http::async_read_header(
        stream_, buf_, *parser_, [self = shared_from_this()](beast::error_code ec, size_t) {
          if (ec == http::error::body_limit)
            return self->send(error_reply(413, txt::kTooLarge), false);
          if (ec == http::error::header_limit)
            return self->send(error_reply(431, txt::kBadBody), false);
          if (ec == http::error::end_of_stream || ec == beast::error::timeout || ec == asio::error::eof ||
              ec == asio::error::connection_reset || ec == asio::error::operation_aborted)
            return self->close();
          if (ec)
            return self->send(error_reply(400, txt::kBadBody), false);
          self->read_body();
        });
  }

  void read_body() {
    stream_.expires_after(cfg_.body_timeout);
    http::async_read(stream_, buf_, *parser_, [self = shared_from_this()](beast::error_code ec, size_t) {
      if (ec == http::error::body_limit)
        return self->send(error_reply(413, txt::kTooLarge), false);
      if (ec == beast::error::timeout || ec == http::error::end_of_stream || ec == asio::error::eof ||
          ec == asio::error::connection_reset)
        return self->close();
      if (ec)
        return self->send(error_reply(400, txt::kBadBody), false);
      self->dispatch();
    });
  }

  void dispatch() {
    auto &msg = parser_->get();
    keep_alive_ = msg.keep_alive();
    head_ = msg.method() == http::verb::head;
    if (msg.method() == http::verb::options) {
      Reply r;
      r.status = 204;
      r.content_type.clear();
      preflight_ = true;
      return send(std::move(r), keep_alive_);
    }
    preflight_ = false;
    auto req = std::make_shared<Request>();
    req->method = std::string(msg.method_string());
    if (head_)
      req->method = "GET";
    req->target = std::string(msg.target());
    req->authorization = std::string(msg[http::field::authorization]);
    req->body = std::move(msg.body());
    req->remote = remote_;
    // Behind a reverse proxy on the same machine every peer is loopback; the proxy names the
    // client, so that sign-in limits still count per client.
    if ((remote_ == "127.0.0.1" || remote_ == "::1") && msg.count("X-Real-IP"))
      req->remote = std::string(msg["X-Real-IP"]);
    if (svc_.is_slow(*req)) {
      // Password hashing on the pool; the reply comes back to this connection's strand.
      stream_.expires_never();
      asio::post(pool_, [self = shared_from_this(), req]() {
        auto reply = std::make_shared<Reply>(self->svc_.handle(*req));
        asio::post(self->stream_.get_executor(),
                   [self, reply]() { self->send(std::move(*reply), self->keep_alive_); });
      });
      return;
    }
    send(svc_.handle(*req), keep_alive_);
  }

  void send(Reply r, bool keep_alive) {
    auto res = std::make_shared<http::response<http::string_body>>();
    res->version(11);
    res->result(r.status);
    res->set(http::field::access_control_allow_origin, "*");
    if (preflight_) {
      res->set(http::field::access_control_allow_methods, "GET, POST, PUT, OPTIONS");
      res->set(http::field::access_control_allow_headers, "Authorization, Content-Type");
      res->set(http::field::access_control_max_age, "86400");
    }
    if (!r.content_type.empty())
      res->set(http::field::content_type, r.content_type);
    if (!r.cache_control.empty() && !preflight_)
      res->set(http::field::cache_control, r.cache_control);
    if (!r.location.empty())
      res->set(http::field::location, r.location);
    res->keep_alive(keep_alive);
    if (head_) {
      res->content_length(r.body.size());
    } else {
      res->body() = std::move(r.body);
      res->prepare_payload();
    }
    stream_.expires_after(cfg_.body_timeout);
    http::async_write(stream_, *res,
                      [self = shared_from_this(), res, keep_alive](beast::error_code ec, size_t) {
                        if (ec || !keep_alive)
                          return self->close();
                        self->head_ = false;
                        self->preflight_ = false;
                        self->next_request();
                      });
  }

  void close() {
    beast::error_code ec;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ec);
    stream_.close();
  }

  beast::tcp_stream stream_;
  beast::flat_buffer buf_;
  std::optional<http::request_parser<http::string_body>> parser_;
  Service &svc_;
  asio::thread_pool &pool_;
  const ServerConfig &cfg_;
  std::string remote_;
  bool keep_alive_ = true;
  bool head_ = false;
  bool preflight_ = false;
};

class Listener : public std::enable_shared_from_this<Listener> {
public:
  Listener(asio::io_context &ioc, tcp::acceptor acc, Service &svc, asio::thread_pool &pool,
           const ServerConfig &cfg)
      : ioc_(ioc), acc_(std::move(acc)), svc_(svc), pool_(pool), cfg_(cfg) {}
  void accept() {
    acc_.async_accept(
        asio::make_strand(ioc_), [self = shared_from_this()](beast::error_code ec, tcp::socket s) {
          if (ec == asio::error::operation_aborted)
            return;
          if (!ec)
            std::make_shared<Session>(std::move(s), self->svc_, self->pool_, self->cfg_)->start();
          self->accept();
        });
  }
  void stop() {
    beast::error_code ec;
    acc_.close(ec);
  }

private:
  asio::io_context &ioc_;
  tcp::acceptor acc_;
  Service &svc_;
  asio::thread_pool &pool_;
  const ServerConfig &cfg_;
};

} // namespace

int serve(Service &svc, const ServerConfig &cfg,
          const std::function<void(const std::string &, unsigned short)> &ready) {
  asio::io_context ioc(static_cast<int>(cfg.io_threads));
  asio::thread_pool pool(cfg.hash_threads);
  beast::error_code ec;
  auto addr = asio::ip::make_address(cfg.host, ec);
  if (ec) {
    std::cerr << "vellora-server: not an address: " << cfg.host << "\n";
    return 1;
  }
  tcp::endpoint ep(addr, cfg.port);
  tcp::acceptor acc(ioc);
  acc.open(ep.protocol(), ec);
  if (!ec)
    acc.set_option(asio::socket_base::reuse_address(true), ec);
  if (!ec)
    acc.bind(ep, ec);
  if (!ec)
    acc.listen(asio::socket_base::max_listen_connections, ec);
  if (ec) {
    std::cerr << "vellora-server: cannot listen on " << cfg.host << ":" << cfg.port << ": " << ec.message()
              << "\n";
    return 1;
  }
  auto bound = acc.local_endpoint();
  auto listener = std::make_shared<Listener>(ioc, std::move(acc), svc, pool, cfg);
  listener->accept();

  asio::signal_set signals(ioc, SIGINT, SIGTERM);
  signals.async_wait([&](beast::error_code, int) {
    listener->stop();
    ioc.stop();
  });
  ready(bound.address().to_string(), bound.port());

  std::vector<std::thread> threads;
  for (unsigned i = 1; i < cfg.io_threads; i++)
    threads.emplace_back([&ioc] { ioc.run(); });
  ioc.run();
  for (auto &t : threads)
    t.join();
  pool.stop();
  pool.join();
  return 0;
}

} // namespace vs
