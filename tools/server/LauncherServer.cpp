#include "tools/server/LauncherServer.h"

#include <chrono>
#include <memory>

#include "tools/server/ListenPolicy.h"
#include "tools/server/ServerSession.h"

namespace ombrelta::server {

LauncherServer::LauncherServer(asio::io_context& io,
                               const ServerContent& content,
                               ServerLog& log,
                               const asio::ip::tcp::endpoint& endpoint)
    : io_(io),
      content_(content),
      log_(log),
      strand_(asio::make_strand(io)),
      acceptor_(strand_, endpoint, ReuseListenAddress()),
      retryTimer_(strand_) {}

void LauncherServer::Start() {
    asio::post(strand_, [this] { Accept(); });
}

void LauncherServer::Stop() {
    asio::post(strand_, [this] {
        std::error_code ignored;
        acceptor_.close(ignored);
        retryTimer_.cancel();
    });
}

void LauncherServer::Accept() {
    // Each session gets its own strand, so sessions run in parallel on the io_context's threads.
    acceptor_.async_accept(asio::make_strand(io_),
                           [this](const std::error_code& error, asio::ip::tcp::socket socket) {
                               if (error == asio::error::operation_aborted || !acceptor_.is_open())
                                   return;
                               if (error) {
                                   log_.Line("accept failed: " + error.message());
                                   RetryLater();
                                   return;
                               }
                               std::make_shared<ServerSession>(std::move(socket), content_, log_)->Start();
                               Accept();
                           });
}

// Out of descriptors, say: accepting again at once would only spin on the same error.
void LauncherServer::RetryLater() {
    retryTimer_.expires_after(std::chrono::milliseconds(100));
    retryTimer_.async_wait([this](const std::error_code& error) {
        if (!error)
            Accept();
    });
}

}  // namespace ombrelta::server
