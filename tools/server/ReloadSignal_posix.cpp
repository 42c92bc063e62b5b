#include "tools/server/ReloadSignal.h"

#include <csignal>

namespace ombrelta::server {

bool AddReloadSignal(asio::signal_set& signals) {
    signals.add(SIGHUP);
    return true;
}

}  // namespace ombrelta::server
