#include "tools/server/ListenPolicy.h"

namespace ombrelta::server {

bool ReuseListenAddress() {
    return true;
}

}  // namespace ombrelta::server
