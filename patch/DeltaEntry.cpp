#include "patch/DeltaEntry.h"

#include <algorithm>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "common/DigestHasher.h"
#include "common/FailureNote.h"
#include "common/FileSystem.h"
#include "common/MappedFile.h"
#include "common/Text.h"
#include "patch/DeltaFrameDecoder.h"
#include "patch/DeltaHeader.h"

namespace ombrelta {
namespace {

bool HasDigest(std::span<const std::uint8_t> bytes, const Sha256Digest& expected) {
    const std::optional<Sha256Digest> digest = Sha256Hasher::Of(bytes);
    return digest && *digest == expected;
}

// Below this a thread costs about what it saves.
constexpr std::size_t kBaseCheckedAsideFrom = 16u << 20;

// The base's SHA-256; a large base's is taken on a thread of its own while the frame is decoded.
class BaseCheck {
public:
    BaseCheck(std::span<const std::uint8_t> bytes, const Sha256Digest& expected) {
        if (bytes.size() >= kBaseCheckedAsideFrom) {
            try {
                thread = std::thread([this, bytes, expected] { matches = HasDigest(bytes, expected); });
                return;
            } catch (const std::system_error&) {
                // Checked here and now instead.
            }
        }
        matches = HasDigest(bytes, expected);
    }
    ~BaseCheck() { Wait(); }
    BaseCheck(const BaseCheck&) = delete;
    BaseCheck& operator=(const BaseCheck&) = delete;

    bool Matches() {
        Wait();
        return matches;
    }

private:
    void Wait() {
        if (thread.joinable())
            thread.join();
    }

    bool matches = false;
    std::thread thread;
};

// Takes the entry's data as the zip reader streams it: the header first, then the frame.
class DeltaSink {
public:
    DeltaSink(const std::wstring& base, const std::wstring& stagingPath, const ResultMapper& mapResult)
        : base(base), stagingPath(stagingPath), mapResult(mapResult) {}

    bool Put(const std::uint8_t* data, std::size_t size) {
        refused = !Take(data, size);
        return !refused;
    }

    // After the whole entry went through Put, read says whether it passed its size and CRC-32
    // checks: settles the base's check, then the result's, and closes the result.
    DeltaOutcome Finish(bool read) {
        baseDiffers = baseDiffers || (baseCheck && !baseCheck->Matches());
        if (!baseDiffers && !resultNotMapped)
            fault = Fault(read);
        decoder.reset();
        const bool closed = !result || result->Close();
        const std::string closeError = closed ? std::string() : SystemErrorText();
        if (baseDiffers)
            return DeltaOutcome::BaseDiffers;
        if (resultNotMapped)
            return DeltaOutcome::ResultNotMapped;
        if (!fault.empty() || !read)
            return DeltaOutcome::Damaged;
        if (closed)
            return DeltaOutcome::Applied;
        fault = "cannot write " + WideToUtf8(stagingPath) + ": " + closeError;
        return DeltaOutcome::NotWritten;
    }

    // Why the entry failed, once Finish found it damaged (empty when the zip reader noted why)
    // or not written.
    std::string fault;

private:
    bool Take(const std::uint8_t* data, std::size_t size) {
        if (!decoder) {
            const std::size_t take = std::min(size, kDeltaHeaderSize - headerBytes.size());
            headerBytes.insert(headerBytes.end(), data, data + take);
            data += take;
            size -= take;
            if (headerBytes.size() < kDeltaHeaderSize || !Start())
                return headerBytes.size() < kDeltaHeaderSize;
        }
        return decoder->Feed(data, size);
    }

    // A read that failed without this sink refusing was cut by the zip reader, which notes why.
    std::string Fault(bool read) const {
        if (!read && !refused)
            return {};
        if (headerBytes.size() < kDeltaHeaderSize)
            return "the entry is shorter than a delta header";
        if (!header)
            return "the delta header is not usable";
        if (std::string frame = decoder->Fault(); !frame.empty())
            return frame;
        if (!HasDigest(result->Bytes(), header->resultSha256))
            return "the delta result's SHA-256 differs from its header's";
        return {};
    }

    bool Start() {
        header = ParseDeltaHeader(headerBytes);
        if (!header)
            return false;
        baseMap = MappedFile::OpenRead(base);
        baseDiffers = !baseMap || baseMap->Bytes().size() != header->baseSize;
        if (baseDiffers)
            return false;
        // A base that turns out to differ only costs a staging file, deleted.
        baseCheck.emplace(baseMap->Bytes(), header->baseSha256);
        result = mapResult(stagingPath, header->resultSize);
        resultNotMapped = !result;
        if (resultNotMapped)
            return false;
        decoder.emplace(baseMap->Bytes(), result->WritableBytes());
        return true;
    }

    const std::wstring& base;
    const std::wstring& stagingPath;
    const ResultMapper& mapResult;
    std::vector<std::uint8_t> headerBytes;
    std::optional<DeltaHeader> header;
    std::optional<MappedFile> baseMap;
    // Reads baseMap until it is settled, so it is destroyed first.
    std::optional<BaseCheck> baseCheck;
    std::optional<MappedFile> result;
    std::optional<DeltaFrameDecoder> decoder;
    bool baseDiffers = false;
    bool resultNotMapped = false;
    bool refused = false;
};

}  // namespace

DeltaOutcome ApplyDeltaEntry(ZipReader& reader, std::uint32_t i, const std::wstring& base,
                             const std::wstring& stagingPath, const ResultMapper& mapResult) {
    DeltaSink sink(base, stagingPath, mapResult);
    const bool read = reader.ReadEntry(i, [&](const std::uint8_t* data, std::size_t size) { return sink.Put(data, size); });
    // Finish closes the result, so the staging file can be deleted after it.
    const DeltaOutcome outcome = sink.Finish(read);
    if (outcome == DeltaOutcome::Applied)
        return outcome;
    (void)DeleteFileAt(stagingPath);
    NoteFailure(sink.fault);
    return outcome;
}

}  // namespace ombrelta
