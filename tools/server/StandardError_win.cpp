#include "tools/server/StandardError.h"

#include <windows.h>

namespace ombrelta::server {

void WriteStandardError(std::string_view bytes) {
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err == nullptr || err == INVALID_HANDLE_VALUE)
        return;
    while (!bytes.empty()) {
        DWORD put = 0;
        if (!WriteFile(err, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) || put == 0)
            return;
        bytes.remove_prefix(put);
    }
}

}  // namespace ombrelta::server
