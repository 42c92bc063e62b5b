#include "common/HttpClient.h"

#include "common/AsciiCase.h"

namespace ombrelta {

std::string RangeValue(std::uint64_t from, std::uint64_t size) {
    return "bytes=" + std::to_string(from) + "-" + std::to_string(size - 1);
}

std::optional<std::string> HeadFault(const HttpHead& head, std::uint64_t from, std::uint64_t size) {
    const long wanted = from == 0 ? 200 : 206;
    if (head.status != wanted)
        return "status " + std::to_string(head.status) + " where " + std::to_string(wanted) + " was due";
    if (head.contentLength != size - from) {
        return "Content-Length " + (head.contentLength ? std::to_string(*head.contentLength) : "missing") +
               " where " + std::to_string(size - from) + " was asked";
    }
    if (from != 0) {
        const std::string range = "bytes " + std::to_string(from) + "-" + std::to_string(size - 1) + "/" +
                                  std::to_string(size);
        if (head.contentRange != range)
            return "Content-Range \"" + head.contentRange.value_or("") + "\" where \"" + range + "\" was asked";
    }
    if (head.contentEncoding && !head.contentEncoding->empty() &&
        !EqualsIgnoringAsciiCase(std::string_view(*head.contentEncoding), std::string_view("identity")))
        return "Content-Encoding " + *head.contentEncoding;
    return std::nullopt;
}

}  // namespace ombrelta
