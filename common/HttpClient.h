#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace ombrelta {

/// What the head of an answer told, as far as a ranged GET cares.
struct HttpHead {
    long status = 0;
    std::optional<std::uint64_t> contentLength;
    std::optional<std::string> contentRange;
    std::optional<std::string> contentEncoding;
};

/// The bytes from `from` up to (not including) `to` of an object of size bytes.
struct ObjectRange {
    std::uint64_t from = 0;
    std::uint64_t to = 0;
    std::uint64_t size = 0;

    bool Whole() const { return from == 0 && to == size; }
    /// Whether it holds at least one byte and lies inside the object.
    bool Usable() const { return from < to && to <= size; }
    std::uint64_t Length() const { return to - from; }
};

/// The bounds of range as HTTP writes them: "FROM-LAST".
std::string RangeBounds(const ObjectRange& range);
/// The Range header value that asks for range ("bytes=FROM-LAST").
std::string RangeValue(const ObjectRange& range);

/// Why an answer to a GET of range cannot be used, or nothing when it can: the status must be 200
/// for the whole object or 206 for a part, the Content-Length exactly the bytes asked, a part's
/// Content-Range "bytes FROM-LAST/SIZE", and any Content-Encoding "identity".
std::optional<std::string> HeadFault(const HttpHead& head, const ObjectRange& range);

/// A web client from the platform (WinHTTP on Windows, libcurl elsewhere) fetching ranges of
/// objects of known size. Its connections stay open across requests to the same server. Every
/// request sends "Accept-Encoding: identity", follows at most 3 redirects (never from https to
/// http), gives up when no connection is made within 5 s or no byte arrives for 10 s. Faults are
/// reported with a reason text, never thrown. Used by one thread at a time.
class HttpClient {
public:
    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    /// Sends a GET of url for range (not empty, inside the object), with a Range unless it is the
    /// whole object, and checks the answer's head (HeadFault). Ends a request still open first.
    /// False with Fault() set on any fault (connection, TLS, head).
    bool Open(const std::string& url, const ObjectRange& range);

    /// The next bytes of the open answer (up to about 1 MiB, valid until the next call); empty
    /// once every byte asked for has arrived. Nothing with Fault() set when the answer fails: no
    /// byte for 10 s, a broken connection, more or fewer bytes than asked, no open request.
    std::optional<std::span<const std::uint8_t>> Read();

    /// The reason of the last fault.
    const std::string& Fault() const;

private:
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace ombrelta
