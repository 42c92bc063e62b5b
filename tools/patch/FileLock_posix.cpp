#include "tools/patch/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace ombrelta::patchkit {

FileLock::FileLock(const std::filesystem::path& path)
    : descriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC)),
      locked(descriptor >= 0 && ::flock(descriptor, LOCK_EX | LOCK_NB) == 0) {}

FileLock::~FileLock() {
    if (descriptor >= 0)
        ::close(descriptor);
}

}  // namespace ombrelta::patchkit
