#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ombrelta {

class ZipReader;

// The rules by which an archive entry's stored name becomes a path below the destination, and
// the names extraction treats apart: the root "version.dat" and delta entries.

/// The stored name of an archive entry as the path extraction uses below the destination,
/// '/' turned into ''. A name marked as UTF-8 by its entry's flags, or one that is valid UTF-8
/// anyway (many tools write UTF-8 without the flag), is decoded as UTF-8, its invalid bytes
/// becoming U+FFFD; any other name is read as code page 437, the zip format's default, so names
/// from Windows' own zip writer keep their letters. False when extraction refuses the name
/// (empty, a NUL byte, or refused by the safe-path rule); name is then unspecified.
bool DecodeEntryName(std::string_view stored, bool flaggedUtf8, std::wstring& name);

/// DecodeEntryName for entry i of reader: false when its name cannot be read or is refused.
bool SafeEntryName(const ZipReader& reader, std::uint32_t i, std::wstring& name);

/// True when an entry name ('\' separated) names the file fileName directly in the destination
/// as Windows resolves it: in any letter case, with "." or empty elements, with trailing dots
/// and spaces.
bool NamesRootFile(const std::wstring& name, std::wstring_view fileName);

/// True when a decoded entry name is the root "version.dat" in any spelling Windows takes for
/// it; extraction writes such entries after all others.
bool IsRootVersionFile(const std::wstring& name);

/// What an entry name says about deltas (see DeltaHeader.h).
enum class DeltaBaseKind {
    /// The name does not end in ".ombrelta-delta": an ordinary entry.
    NotDelta,
    /// A delta entry that cannot be a delta's file: nothing before the suffix, a name ending in
    /// a separator, an unsafe one, or the root "version.dat".
    Unusable,
    /// A delta entry for the file in DeltaBase::file.
    File,
};

struct DeltaBase {
    DeltaBaseKind kind = DeltaBaseKind::NotDelta;
    /// With File: the name ('\' separated) of the file the delta rewrites; empty otherwise.
    std::wstring file;
};

/// Reads an entry name ('\' separated) as a delta entry's: the file it rewrites, or why it is
/// none.
DeltaBase DeltaBaseName(const std::wstring& name);

}  // namespace ombrelta
