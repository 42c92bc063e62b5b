// Feeds arbitrary bytes to the reader of "ombrelta-files.sig", which a launcher with a public key
// parses before it checks the signature. It must return a list or its fault, never crash or read
// outside the text (AddressSanitizer watches), and a list it accepts must write back to
// exactly the bytes it was given: one text per list, so no two spellings can carry one signature.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "verify/SignedFileList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const ombrelta::SignedFileListReading reading = ombrelta::ParseSignedFileList(text);
    if (reading.list.has_value() != reading.fault.empty() ||
        (reading.list && ombrelta::AppendSignatureLine(
                             ombrelta::FormatSignedFiles(reading.list->files, reading.list->version),
                             reading.list->signature) != text))
        __builtin_trap();
    return 0;
}
