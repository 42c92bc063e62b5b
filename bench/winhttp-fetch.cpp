// The floor of the Windows column of mirror-vs-curl.sh: WinHTTP alone fetching one object from
// 127.0.0.1 in 1 MiB reads, nothing written or digested. Usage: winhttp-fetch.exe PORT PATH
// Prints the bytes received; exits 1 on any failure.
#include <windows.h>
#include <winhttp.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3)
        return 1;
    HINTERNET session = WinHttpOpen(L"winhttp-fetch", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0);
    HINTERNET connection =
        session ? WinHttpConnect(session, L"127.0.0.1", static_cast<INTERNET_PORT>(_wtoi(argv[1])), 0) : nullptr;
    HINTERNET request = connection ? WinHttpOpenRequest(connection, L"GET", argv[2], nullptr, WINHTTP_NO_REFERER,
                                                        WINHTTP_DEFAULT_ACCEPT_TYPES, 0)
                                   : nullptr;
    if (!request || !WinHttpSendRequest(request, L"Accept-Encoding: identity\r\n", static_cast<DWORD>(-1),
                                        WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(request, nullptr))
        return 1;
    std::vector<char> buffer(1 << 20);
    unsigned long long total = 0;
    for (;;) {
        DWORD got = 0;
        if (!WinHttpReadData(request, buffer.data(), static_cast<DWORD>(buffer.size()), &got))
            return 1;
        if (got == 0)
            break;
        total += got;
    }
    std::printf("%llu\n", total);
    WinHttpCloseHandle(request);
    WinHttpCloseHandle(connection);
    WinHttpCloseHandle(session);
    return 0;
}
