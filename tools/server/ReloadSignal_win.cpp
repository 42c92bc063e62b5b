#include "tools/server/ReloadSignal.h"

namespace ombrelta::server {

bool AddReloadSignal(asio::signal_set&) {
    return false;
}

}  // namespace ombrelta::server
