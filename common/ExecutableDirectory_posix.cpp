#include "common/Path.h"

#include "common/Text.h"

#include <unistd.h>

#include <vector>

namespace ombrelta {

std::wstring GetExecutablePath() {
    std::vector<char> buffer(4096);
    ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    // readlink does not say when it truncated; a full buffer may be a cut path.
    if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size())
        return {};
    return Utf8ToWide(std::string_view(buffer.data(), static_cast<std::size_t>(length)));
}

}  // namespace ombrelta
