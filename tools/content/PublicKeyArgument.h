#pragma once

#include <string_view>

#include "common/PublicKeySet.h"

namespace ombrelta {

/// A --public-key value of the tools: what a launcher's `publickey` holds (one base64 key, or two
/// separated by a comma), or the whole line "publickey=..." as "ombrelta-patch keygen" prints it,
/// blanks and a line end around it ignored. Never fails: anything else gives a set that is not
/// Valid().
PublicKeySet ParsePublicKeyArgument(std::string_view text);

}  // namespace ombrelta
