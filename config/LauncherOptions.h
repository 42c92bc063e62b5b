#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Pipeline.h"
#include "common/PublicKeySet.h"
#include "config/ServerList.h"

namespace ombrelta {

/// The opt-in extensions of "Ombrel.dat". Each field's default is the behaviour without its key, so a
/// file without any of these keys behaves exactly as before they existed.
struct LauncherOptions {
    /// `pipeline`: chunk requests that may be in flight on the connection, 1 to 256, or "auto"
    /// (Pipeline::Auto) for a window that sizes itself to the line.
    Pipeline pipeline = 1;
    /// `hashcache`: "1" lets the file check trust files recorded as intact in "_verify_cache"
    /// while their size, last-write time and identity are unchanged.
    bool hashcache = false;
    /// `resume`: "1" keeps an interrupted download (patch or game file) and continues it later.
    bool resume = false;
    /// `retries`: reconnections after a lost connection in one run, 0 to 10.
    int retries = 0;
    /// `resolve`: "1" lets `host` be a host name or an IPv6 literal and limits each connect
    /// attempt to 5 s; any other value, or none, keeps dotted IPv4 only.
    bool resolve = false;
    /// `maxrate`: chunk data received over a run held to at most this many KiB/s, 16 to
    /// 1,000,000; 0 for no limit.
    int maxrate = 0;
    /// `publickey`: base64 of the operator's P-256 public key (65-byte uncompressed point), or
    /// of two keys separated by a comma. Present, patches and game files must carry a signature
    /// made with one of them. A value that is not one or two valid keys still counts as present
    /// (an invalid PublicKeySet), so every check fails rather than being switched off; only an
    /// absent or empty value leaves checks off.
    std::optional<PublicKeySet> publicKey;
    /// `delta`: "1" applies a patch's "PATH.ombrelta-delta" entries to the installed PATH instead
    /// of writing them as files.
    bool delta = false;
    /// `servers`: up to four more launcher servers after `host` and `port`, in the order they are
    /// tried when one cannot be reached, stops answering or is lost; empty for none.
    std::vector<ServerAddress> servers;
    /// `mirror`: one to four web servers' base URLs, comma-separated, that serve the bytes of
    /// patch archives (BASE/patches/NAME) and game files (BASE/md5/MD5) before the launcher
    /// server does; empty, the default, when the value is empty or unusable (ParseMirrorBases).
    std::vector<std::string> mirror;
    /// `details`: "1" shows a second line in the window while a patch or a game file downloads:
    /// the rate, the time left and the bytes of that download.
    bool details = false;
    /// `log`: "1" writes "ombrelta-launcher.log" beside "version.dat": one line per event of
    /// the run, at most 1 MiB before it moves to "ombrelta-launcher.log.1".
    bool log = false;
    /// `blockrepair`: "1" repairs a damaged game file of 4 MiB or more that has the listed size
    /// by fetching only the 1 MiB blocks that differ from the file's block map.
    bool blockrepair = false;
};

/// Applies one setting when `key` (lower case) names an option; returns false for any other key.
/// A value that is empty, unparsable or out of range gives the option's default (but see
/// `publicKey`); never fails.
bool ApplyOption(LauncherOptions& options, std::string_view key, std::string_view value);

/// Why a launcher would not use value as written for the option `key` (lower case), saying what
/// it expects ("expected a whole number from 0 to 10"), or nothing when it does. Nothing also for
/// keys without a rule of their own, whatever their value. Never fails.
std::optional<std::string> CheckOption(std::string_view key, std::string_view value);

}  // namespace ombrelta
