#include "tools/server/ListenPolicy.h"

namespace ombrelta::server {

bool ReuseListenAddress() {
    return false;
}

}  // namespace ombrelta::server
