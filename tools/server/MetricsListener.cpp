#include "tools/server/MetricsListener.h"

#include <string>

#include "tools/server/ListenPolicy.h"
#include "tools/server/MetricsHttp.h"

namespace ombrelta::server {
namespace {

// One scrape: a request head in, one response out, then the connection is closed. Kept alive by
// its pending operations; gives back its place among the open scrapers when it ends.
class Scrape : public std::enable_shared_from_this<Scrape> {
public:
    static void Begin(asio::ip::tcp::socket connection,
                      const ServerMetrics& metrics,
                      std::shared_ptr<std::atomic<std::size_t>> open) {
        auto scrape = std::make_shared<Scrape>(std::move(connection), metrics, std::move(open));
        asio::dispatch(scrape->socket.get_executor(), [scrape] { scrape->Start(); });
    }

    Scrape(asio::ip::tcp::socket connection,
           const ServerMetrics& metrics,
           std::shared_ptr<std::atomic<std::size_t>> open)
        : socket(std::move(connection)),
          deadline(socket.get_executor()),
          metrics(metrics),
          open(std::move(open)) {
        ++*this->open;
    }
    ~Scrape() { --*open; }

private:
    void Start() {
        deadline.expires_after(MetricsListener::kScrapeTimeout);
        deadline.async_wait([self = shared_from_this()](const std::error_code& error) {
            if (!error)
                self->Close();
        });
        asio::async_read_until(socket, asio::dynamic_buffer(head, kMaxRequestHead), kRequestHeadEnd,
                               [self = shared_from_this()](std::error_code error, std::size_t) {
                                   if (error)
                                       return self->Close();
                                   self->Answer();
                               });
    }

    void Answer() {
        try {
            response = MetricsResponse(head, [this] { return metrics.Page(); });
        } catch (const std::bad_alloc&) {
            return Close();
        }
        asio::async_write(socket, asio::buffer(response),
                          [self = shared_from_this()](std::error_code, std::size_t) { self->Close(); });
    }

    void Close() {
        std::error_code ignored;
        deadline.cancel();
        socket.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
        socket.close(ignored);
    }

    asio::ip::tcp::socket socket;
    asio::steady_timer deadline;
    const ServerMetrics& metrics;
    std::shared_ptr<std::atomic<std::size_t>> open;
    std::string head;
    std::string response;
};

}  // namespace

MetricsListener::MetricsListener(asio::io_context& io,
                                 const asio::ip::tcp::endpoint& endpoint,
                                 const ServerMetrics& metrics)
    : io(io),
      metrics(metrics),
      open(std::make_shared<std::atomic<std::size_t>>(0)),
      strand(asio::make_strand(io)),
      acceptor(strand, endpoint, ReuseListenAddress()),
      retryTimer(strand) {}

void MetricsListener::Start() {
    asio::post(strand, [this] { Accept(); });
}

void MetricsListener::Accept() {
    acceptor.async_accept(asio::make_strand(io), [this](std::error_code error, asio::ip::tcp::socket socket) {
        if (error == asio::error::operation_aborted || !acceptor.is_open())
            return;
        if (error)
            return RetryLater();
        // A scraper over the cap, or one that finds no memory, is closed unanswered.
        try {
            if (open->load() < kMaxScrapers)
                Scrape::Begin(std::move(socket), metrics, open);
        } catch (const std::bad_alloc&) {
        }
        Accept();
    });
}

// Out of descriptors, say: accepting again at once would only spin on the same error.
void MetricsListener::RetryLater() {
    retryTimer.expires_after(std::chrono::milliseconds(100));
    retryTimer.async_wait([this](const std::error_code& error) {
        if (!error)
            Accept();
    });
}

}  // namespace ombrelta::server
