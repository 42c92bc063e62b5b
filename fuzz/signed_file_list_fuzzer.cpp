// Feeds arbitrary bytes to the reader of "ombrelta-files.sig", which a launcher with a public key
// parses before it checks the signature. It must return or throw std::runtime_error, never crash
// or read outside the text (AddressSanitizer watches), and a list it accepts must write back to
// exactly the bytes it was given: one text per list, so no two spellings can carry one signature.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "verify/SignedFileList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const ombrelta::SignedFileList list = ombrelta::ParseSignedFileList(text);
        if (ombrelta::AppendSignatureLine(ombrelta::FormatSignedFiles(list.files, list.version),
                                          list.signature) != text)
            __builtin_trap();
    } catch (const std::runtime_error&) {
    }
    return 0;
}
