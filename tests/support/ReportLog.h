#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/ProgressCallback.h"
#include "common/Text.h"

namespace ombrelta::test {

/// Every call of a progress callback, with the text as UTF-8.
struct ReportLog {
    using Report = std::pair<std::string, std::int32_t>;
    std::vector<Report> calls;

    ProgressCallback Bind() {
        return [this](const std::wstring& message, std::int32_t percent) {
            calls.emplace_back(WideToUtf8(message), percent);
        };
    }
};

}  // namespace ombrelta::test
