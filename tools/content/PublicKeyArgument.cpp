#include "tools/content/PublicKeyArgument.h"

#include "config/LauncherConfig.h"

namespace ombrelta {

PublicKeySet ParsePublicKeyArgument(std::string_view text) {
    std::string value = Trim(text);
    constexpr std::string_view kKey = "publickey=";
    if (std::string_view(value).starts_with(kKey))
        value = Trim(std::string_view(value).substr(kKey.size()));
    return PublicKeySet::Parse(value);
}

}  // namespace ombrelta
