#include "tools/content/ScratchDirectory.h"

#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

namespace ombrelta {

ScratchDirectory::ScratchDirectory() {
    std::error_code error;
    std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error)
        throw std::runtime_error("no temporary directory: " + error.message());
    // A random name, retried on collision, keeps two tools started together apart.
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::filesystem::path candidate = base / ("ombrelta-scratch-" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate, error)) {
            path = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a directory under " + base.string());
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

}  // namespace ombrelta
