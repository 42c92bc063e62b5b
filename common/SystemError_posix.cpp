#include <cerrno>
#include <cstring>

#include "common/FailureNote.h"

namespace ombrelta {

std::string SystemErrorText() {
    const int code = errno;
    return "system error " + std::to_string(code) + ": " + std::strerror(code);
}

}  // namespace ombrelta
