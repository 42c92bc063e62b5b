#include "common/HttpClient.h"

#include "common/AsciiCase.h"

namespace ombrelta {

std::string RangeBounds(const ObjectRange& range) {
    return std::to_string(range.from) + "-" + std::to_string(range.to - 1);
}

std::string RangeValue(const ObjectRange& range) {
    return "bytes=" + RangeBounds(range);
}

std::optional<std::string> HeadFault(const HttpHead& head, const ObjectRange& range) {
    const long wanted = range.Whole() ? 200 : 206;
    if (head.status != wanted)
        return "status " + std::to_string(head.status) + " where " + std::to_string(wanted) + " was due";
    if (head.contentLength != range.Length()) {
        return "Content-Length " + (head.contentLength ? std::to_string(*head.contentLength) : "missing") +
               " where " + std::to_string(range.Length()) + " was asked";
    }
    if (!range.Whole()) {
        const std::string wantedRange = "bytes " + RangeBounds(range) + "/" + std::to_string(range.size);
        if (head.contentRange != wantedRange)
            return "Content-Range \"" + head.contentRange.value_or("") + "\" where \"" + wantedRange + "\" was asked";
    }
    if (head.contentEncoding && !head.contentEncoding->empty() &&
        !EqualsIgnoringAsciiCase(std::string_view(*head.contentEncoding), std::string_view("identity")))
        return "Content-Encoding " + *head.contentEncoding;
    return std::nullopt;
}

}  // namespace ombrelta
