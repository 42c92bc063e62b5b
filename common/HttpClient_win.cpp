#include <windows.h>
#include <winhttp.h>

#include <vector>

#include "common/HttpClient.h"
#include "common/Text.h"

namespace ombrelta {
namespace {

// Reads of 1 MiB let WinHTTP hand over what the socket holds in few calls; 64 KiB reads are
// several times slower under load.
constexpr DWORD kPiece = 1 << 20;
constexpr int kConnectMs = 5000;
constexpr int kQuietMs = 10000;
// How long a piece is filled once it holds some bytes, so that progress still moves on a slow line.
constexpr ULONGLONG kFillMs = 250;

struct Handle {
    HINTERNET value = nullptr;
    Handle() = default;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { Reset(); }
    void Reset(HINTERNET next = nullptr) {
        if (value)
            WinHttpCloseHandle(value);
        value = next;
    }
};

std::string ErrorText(const char* step) {
    return std::string(step) + " failed (WinHTTP error " + std::to_string(GetLastError()) + ")";
}

std::optional<std::wstring> QueryText(HINTERNET request, DWORD info) {
    DWORD bytes = 0;
    WinHttpQueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &bytes, WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0)
        return std::nullopt;
    std::wstring text(bytes / sizeof(wchar_t), L'\0');
    if (!WinHttpQueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &bytes,
                             WINHTTP_NO_HEADER_INDEX))
        return std::nullopt;
    text.resize(bytes / sizeof(wchar_t));
    return text;
}

std::optional<std::string> QueryNarrow(HINTERNET request, DWORD info) {
    const std::optional<std::wstring> text = QueryText(request, info);
    return text ? std::optional(WideToUtf8(*text)) : std::nullopt;
}

HttpHead HeadOf(HINTERNET request) {
    HttpHead head;
    DWORD status = 0;
    DWORD bytes = sizeof(status);
    if (WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                            WINHTTP_HEADER_NAME_BY_INDEX, &status, &bytes, WINHTTP_NO_HEADER_INDEX))
        head.status = static_cast<long>(status);
    if (const std::optional<std::string> length = QueryNarrow(request, WINHTTP_QUERY_CONTENT_LENGTH)) {
        try {
            head.contentLength = std::stoull(*length);
        } catch (...) {
        }
    }
    head.contentRange = QueryNarrow(request, WINHTTP_QUERY_CONTENT_RANGE);
    head.contentEncoding = QueryNarrow(request, WINHTTP_QUERY_CONTENT_ENCODING);
    return head;
}

// The parts of a URL a connection and a request need.
struct UrlParts {
    std::wstring host;
    INTERNET_PORT port = 0;
    bool secure = false;
    std::wstring path;
};

std::optional<UrlParts> Split(const std::wstring& url) {
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts))
        return std::nullopt;
    return UrlParts{.host = std::wstring(parts.lpszHostName, parts.dwHostNameLength),
                    .port = parts.nPort,
                    .secure = parts.nScheme == INTERNET_SCHEME_HTTPS,
                    .path = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength)};
}

}  // namespace

struct HttpClient::State {
    Handle session;
    Handle connection;
    Handle request;
    std::wstring host;
    INTERNET_PORT port = 0;
    std::uint64_t expected = 0;
    std::uint64_t received = 0;
    std::vector<std::uint8_t> piece = std::vector<std::uint8_t>(kPiece);
    std::string fault;

    bool Failed(std::string reason) {
        fault = std::move(reason);
        request.Reset();
        return false;
    }

    // WinHTTP keeps the connections of one server open between its requests.
    bool ConnectTo(const UrlParts& url) {
        if (!session.value) {
            session.Reset(WinHttpOpen(L"Ombrelta Launcher", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                      WINHTTP_NO_PROXY_BYPASS, 0));
            if (!session.value)
                return false;
            WinHttpSetTimeouts(session.value, 0, kConnectMs, kQuietMs, kQuietMs);
            DWORD redirects = 3;
            WinHttpSetOption(session.value, WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &redirects,
                             sizeof(redirects));
            DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
            WinHttpSetOption(session.value, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof(policy));
        }
        if (connection.value && host == url.host && port == url.port)
            return true;
        connection.Reset(WinHttpConnect(session.value, url.host.c_str(), url.port, 0));
        host = url.host;
        port = url.port;
        return connection.value != nullptr;
    }

    bool Send(const UrlParts& url, const ObjectRange& range) {
        request.Reset(WinHttpOpenRequest(connection.value, L"GET", url.path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                         WINHTTP_DEFAULT_ACCEPT_TYPES, url.secure ? WINHTTP_FLAG_SECURE : 0));
        if (!request.value)
            return Failed(ErrorText("request"));
        std::wstring headers = L"Accept-Encoding: identity\r\n";
        if (!range.Whole())
            headers += L"Range: " + Utf8ToWide(RangeValue(range)) + L"\r\n";
        if (!WinHttpSendRequest(request.value, headers.c_str(), static_cast<DWORD>(headers.size()),
                                WINHTTP_NO_REQUEST_DATA, 0, 0, 0))
            return Failed(ErrorText("connection"));
        if (!WinHttpReceiveResponse(request.value, nullptr))
            return Failed(ErrorText("answer"));
        if (std::optional<std::string> headFault = HeadFault(HeadOf(request.value), range))
            return Failed(*headFault);
        return true;
    }
};

HttpClient::HttpClient() : state(std::make_unique<State>()) {}

HttpClient::~HttpClient() = default;

bool HttpClient::Open(const std::string& url, const ObjectRange& range) {
    State& s = *state;
    s.request.Reset();
    s.fault.clear();
    s.expected = range.Length();
    s.received = 0;
    if (!range.Usable())
        return s.Failed("nothing to ask for");
    const std::optional<UrlParts> parts = Split(Utf8ToWide(url));
    if (!parts)
        return s.Failed("unusable URL");
    if (!s.ConnectTo(*parts))
        return s.Failed(ErrorText("session"));
    return s.Send(*parts, range);
}

std::optional<std::span<const std::uint8_t>> HttpClient::Read() {
    State& s = *state;
    if (!s.request.value) {
        if (s.fault.empty())
            s.fault = "no open request";
        return std::nullopt;
    }
    // One read hands over what has arrived, often a few KiB: the piece is filled further while
    // bytes come quickly, so that each one costs its caller little.
    const ULONGLONG started = GetTickCount64();
    DWORD count = 0;
    while (count < kPiece && s.received + count < s.expected && (count == 0 || GetTickCount64() - started < kFillMs)) {
        DWORD got = 0;
        if (!WinHttpReadData(s.request.value, s.piece.data() + count, kPiece - count, &got)) {
            s.Failed(ErrorText("read"));
            return std::nullopt;
        }
        if (got == 0)
            break;
        count += got;
    }
    if (count == 0) {
        if (s.received != s.expected) {
            s.Failed("ended after " + std::to_string(s.received) + " of " + std::to_string(s.expected) + " bytes");
            return std::nullopt;
        }
        s.request.Reset();
        return std::span<const std::uint8_t>();
    }
    if (s.received + count > s.expected) {
        s.Failed("more bytes than asked");
        return std::nullopt;
    }
    s.received += count;
    return std::span<const std::uint8_t>(s.piece.data(), count);
}

const std::string& HttpClient::Fault() const {
    return state->fault;
}

}  // namespace ombrelta
