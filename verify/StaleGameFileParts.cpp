#include "verify/StaleGameFileParts.h"

#include "common/PartialDownload.h"
#include "common/SafePath.h"
#include "verify/EntryFile.h"

namespace ombrelta {

void RemoveStaleGameFileParts(const std::vector<HashEntry>& entries) {
    std::vector<ListedGameFile> listed;
    for (const HashEntry& entry : entries) {
        if (IsSafeEntryPath(entry.path))
            listed.push_back(
                {.path = EntryWidePath(entry), .partRecord = GameFilePartRecord(entry.size, entry.hash)});
    }
    SweepGameFileParts(L".", listed);
}

}  // namespace ombrelta
