#include "tools/server/MetricsListener.h"

#include <string>

#include "tools/server/ListenPolicy.h"
#include "tools/server/MetricsHttp.h"

namespace ombrelta::server {
namespace {

// One scrape: a request head in, one response out, then the connection is closed. Kept alive by
// its pending operations; gives back its place among the open scrapers (its ticket) when it ends.
class Scrape : public std::enable_shared_from_this<Scrape> {
public:
    static void Begin(asio::ip::tcp::socket connection, const ServerMetrics& metrics, ConnectionLimits::Ticket ticket) {
        auto scrape = std::make_shared<Scrape>(std::move(connection), metrics, std::move(ticket));
        asio::dispatch(scrape->socket.get_executor(), [scrape] { scrape->Start(); });
    }

    Scrape(asio::ip::tcp::socket connection, const ServerMetrics& metrics, ConnectionLimits::Ticket ticket)
        : socket(std::move(connection)),
          deadline(socket.get_executor()),
          metrics(metrics),
          ticket(std::move(ticket)) {}

private:
    void Start() {
        // A head trickled in byte by byte would hold a place for the whole scrape timeout.
        CloseAfter(MetricsListener::kRequestHeadTimeout);
        asio::async_read_until(socket, asio::dynamic_buffer(head, kMaxRequestHead), kRequestHeadEnd,
                               [self = shared_from_this()](std::error_code error, std::size_t) {
                                   if (error)
                                       return self->Close();
                                   self->Answer();
                               });
    }

    void CloseAfter(std::chrono::seconds timeout) {
        deadline.expires_after(timeout);
        deadline.async_wait([self = shared_from_this()](const std::error_code& error) {
            if (!error)
                self->Close();
        });
    }

    void Answer() {
        CloseAfter(MetricsListener::kScrapeTimeout);
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
    ConnectionLimits::Ticket ticket;
    std::string head;
    std::string response;
};

}  // namespace

MetricsListener::MetricsListener(asio::io_context& io,
                                 const asio::ip::tcp::endpoint& endpoint,
                                 const ServerMetrics& metrics)
    : io(io),
      metrics(metrics),
      limits(kMaxScrapers, kMaxScrapersPerAddress),
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
        Admit(std::move(socket));
        Accept();
    });
}

// A scraper over a cap, or one that finds no memory, is closed unanswered.
void MetricsListener::Admit(asio::ip::tcp::socket socket) {
    std::error_code error;
    const asio::ip::tcp::endpoint peer = socket.remote_endpoint(error);
    if (error)
        return;
    try {
        Refusal ignored{};
        std::optional<ConnectionLimits::Ticket> ticket = limits.Admit(peer.address().to_string(), ignored);
        if (ticket)
            Scrape::Begin(std::move(socket), metrics, std::move(*ticket));
    } catch (const std::bad_alloc&) {
    }
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
