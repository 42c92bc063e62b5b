#include <curl/curl.h>

#include <chrono>
#include <cstdlib>
#include <utility>
#include <vector>

#include "common/HttpClient.h"

namespace ombrelta {
namespace {

constexpr std::size_t kPiece = 1 << 20;
constexpr long kReceiveBuffer = 512 * 1024;
constexpr auto kFillTime = std::chrono::milliseconds(250);

bool InitOnce() {
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready;
}

std::optional<std::string> HeaderValue(CURL* easy, const char* name) {
    curl_header* header = nullptr;
    if (curl_easy_header(easy, name, 0, CURLH_HEADER, -1, &header) != CURLHE_OK)
        return std::nullopt;
    return std::string(header->value);
}

}  // namespace

struct HttpClient::State {
    CURLM* multi = curl_multi_init();
    CURL* easy = curl_easy_init();
    curl_slist* headers = nullptr;
    bool attached = false;
    bool headChecked = false;
    bool done = false;
    bool paused = false;
    ObjectRange range;
    std::uint64_t received = 0;
    std::vector<std::uint8_t> pending;  // received, not yet handed out
    std::vector<std::uint8_t> handed;   // the piece Read returned last
    std::string fault;

    ~State() {
        Detach();
        curl_slist_free_all(headers);
        curl_easy_cleanup(easy);
        curl_multi_cleanup(multi);
    }

    void Detach() {
        if (attached)
            curl_multi_remove_handle(multi, easy);
        attached = false;
    }

    bool CheckHead() {
        headChecked = true;
        HttpHead head;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &head.status);
        curl_off_t length = -1;
        if (curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK && length >= 0)
            head.contentLength = static_cast<std::uint64_t>(length);
        head.contentRange = HeaderValue(easy, "Content-Range");
        head.contentEncoding = HeaderValue(easy, "Content-Encoding");
        if (std::optional<std::string> headFault = HeadFault(head, range))
            fault = *headFault;
        return fault.empty();
    }

    static std::size_t OnBody(char* data, std::size_t, std::size_t count, void* user) {
        State& state = *static_cast<State*>(user);
        if (!state.headChecked && !state.CheckHead())
            return 0;
        // One perform reads whatever the socket holds: a piece is held to its size by pausing,
        // and curl hands these bytes again once Read goes on.
        if (state.pending.size() >= kPiece) {
            state.paused = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        if (state.received + count > state.range.Length()) {
            state.fault = "more bytes than asked";
            return 0;
        }
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
        state.pending.insert(state.pending.end(), bytes, bytes + count);
        state.received += count;
        return count;
    }

    // Runs the transfer until a piece is ready or it ended; false when it failed. A piece is
    // handed out early once it has waited kFillTime, so that progress still moves on a slow line.
    bool Pump() {
        const auto started = std::chrono::steady_clock::now();
        if (paused) {
            paused = false;
            if (curl_easy_pause(easy, CURLPAUSE_CONT) != CURLE_OK)
                return Failed("transfer not resumed");
        }
        while (!done && pending.size() < kPiece) {
            if (!pending.empty() && std::chrono::steady_clock::now() - started > kFillTime)
                return true;
            const std::size_t before = pending.size();
            int running = 0;
            if (curl_multi_perform(multi, &running) != CURLM_OK)
                return Failed("transfer failed");
            int left = 0;
            while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
                if (message->msg == CURLMSG_DONE)
                    return Ended(message->data.result);
            }
            // A transfer just resumed may not wake the poll: wait only when nothing came.
            if (pending.size() == before)
                curl_multi_poll(multi, nullptr, 0, 100, nullptr);
        }
        return true;
    }

    bool Ended(CURLcode result) {
        done = true;
        Detach();
        if (!fault.empty())
            return false;
        if (result != CURLE_OK)
            return Failed(curl_easy_strerror(result));
        if (!headChecked && !CheckHead())
            return false;
        if (received != range.Length())
            return Failed("ended after " + std::to_string(received) + " of " + std::to_string(range.Length()) +
                          " bytes");
        return true;
    }

    bool Failed(std::string reason) {
        if (fault.empty())
            fault = std::move(reason);
        done = true;
        Detach();
        return false;
    }
};

HttpClient::HttpClient() : state(std::make_unique<State>()) {
    CURL* easy = state->easy;
    state->headers = curl_slist_append(nullptr, "Accept-Encoding: identity");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, state->headers);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 3L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, 5L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, 10L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBuffer);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &State::OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, state.get());
    // OpenSSL's own variable names another bundle of trusted authorities.
    if (const char* bundle = std::getenv("SSL_CERT_FILE"))
        curl_easy_setopt(easy, CURLOPT_CAINFO, bundle);
}

HttpClient::~HttpClient() = default;

bool HttpClient::Open(const std::string& url, const ObjectRange& range) {
    State& s = *state;
    s.Detach();
    s.fault.clear();
    s.pending.clear();
    s.headChecked = false;
    s.done = false;
    s.paused = false;
    s.range = range;
    s.received = 0;
    if (!InitOnce() || !s.multi || !s.easy)
        return s.Failed("no HTTP client");
    if (!range.Usable())
        return s.Failed("nothing to ask for");
    const bool secure = url.compare(0, 8, "https://") == 0;
    // A redirect may leave http for https, never the other way.
    curl_easy_setopt(s.easy, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
    curl_easy_setopt(s.easy, CURLOPT_URL, url.c_str());
    const std::string bounds = RangeBounds(range);
    curl_easy_setopt(s.easy, CURLOPT_RANGE, range.Whole() ? nullptr : bounds.c_str());
    if (curl_multi_add_handle(s.multi, s.easy) != CURLM_OK)
        return s.Failed("request not started");
    s.attached = true;
    // The head is checked with the first bytes of the body, so Open waits for them.
    return s.Pump();
}

std::optional<std::span<const std::uint8_t>> HttpClient::Read() {
    State& s = *state;
    if (!s.fault.empty())
        return std::nullopt;
    if (!s.attached && !s.done) {
        s.fault = "no open request";
        return std::nullopt;
    }
    if (s.pending.empty() && !s.Pump())
        return std::nullopt;
    if (s.pending.empty())
        return std::span<const std::uint8_t>();
    s.handed.swap(s.pending);
    s.pending.clear();
    return std::span<const std::uint8_t>(s.handed);
}

const std::string& HttpClient::Fault() const {
    return state->fault;
}

}  // namespace ombrelta
