#include "tools/patch/MirrorTree.h"

#include <array>
#include <cstring>
#include <map>
#include <random>
#include <stdexcept>
#include <system_error>

#include "common/FileSystem.h"
#include "common/Text.h"
#include "tools/content/ContentCheck.h"
#include "tools/content/ContentName.h"
#include "tools/content/FileCatalog.h"
#include "tools/content/PatchCatalog.h"
#include "tools/content/PathText.h"

namespace ombrelta::patchkit {
namespace {

namespace fs = std::filesystem;

// A content file as loaded: its bytes are those of the handle, unless the stamp says otherwise.
struct Source {
    fs::path file;
    const File* handle = nullptr;
    const LoadStamp* loaded = nullptr;
    std::uint64_t size = 0;
    // Set for an object made at load (a block map) rather than a copy of the file.
    const std::vector<std::uint8_t>* made = nullptr;
};

std::map<std::string, Source> WantedObjects(const fs::path& root,
                                            const PatchCatalog& patches,
                                            const FileCatalog& files) {
    std::map<std::string, Source> wanted;
    for (const PatchArchive* patch = patches.NextAfter(0); patch != nullptr;
         patch = patches.NextAfter(patch->version))
        wanted.emplace("patches/" + patch->fileName, Source{root / "patches" / PathFromUtf8(patch->fileName),
                                                            &patch->handle, &patch->loaded, patch->size});
    for (std::uint16_t id = 0; id < files.Count(); ++id) {
        const GameFile* file = files.Find(id);
        // Files of equal content share one object.
        const fs::path path = root / "files" / PathFromUtf8(file->path);
        wanted.emplace("md5/" + file->md5, Source{path, &file->handle, &file->loaded, file->size});
        if (!file->blockMap.empty())
            wanted.emplace("blocks/" + file->md5, Source{path, &file->handle, &file->loaded,
                                                         file->blockMap.size(), &file->blockMap});
    }
    return wanted;
}

void RequireUnchanged(const Source& source, const std::string& object) {
    if (source.loaded->Changed(*source.handle))
        throw std::runtime_error(EscapeForLog(PathToUtf8(source.file)) + " changed while " + object +
                                 " was laid out; run again");
}

// Compared with the bytes the content was loaded from, so a kept object is exactly what the
// server announces.
bool HoldsSameBytes(const fs::path& object, const Source& source) {
    std::error_code error;
    if (source.made)
        return ReadSmallFile(Utf8ToWide(PathToUtf8(object)), source.made->size()) ==
               std::string(source.made->begin(), source.made->end());
    if (fs::equivalent(object, source.file, error))
        return true;
    if (fs::file_size(object, error) != source.size || error)
        return false;
    std::optional<File> file = File::OpenRead(Utf8ToWide(PathToUtf8(object)));
    if (!file)
        return false;
    std::vector<std::uint8_t> mine(1 << 20);
    std::vector<std::uint8_t> theirs(1 << 20);
    for (std::uint64_t offset = 0; offset < source.size;) {
        std::optional<std::size_t> got = file->ReadAt(offset, mine.data(), mine.size());
        std::optional<std::size_t> expected = source.handle->ReadAt(offset, theirs.data(), theirs.size());
        if (!got || !expected || *got != *expected || *got == 0 ||
            std::memcmp(mine.data(), theirs.data(), *got) != 0)
            return false;
        offset += *got;
    }
    return true;
}

void CopyFromHandle(const Source& source, const fs::path& target, const std::string& object) {
    std::optional<File> out = File::OpenWrite(Utf8ToWide(PathToUtf8(target)));
    if (!out)
        throw std::runtime_error("cannot create " + EscapeForLog(PathToUtf8(target)));
    std::vector<std::uint8_t> block(1 << 20);
    for (std::uint64_t offset = 0; offset < source.size;) {
        std::optional<std::size_t> got = source.handle->ReadAt(offset, block.data(), block.size());
        if (!got || *got == 0)
            throw std::runtime_error("cannot read " + EscapeForLog(PathToUtf8(source.file)) + " for " +
                                     object);
        if (!out->Write(block.data(), *got))
            throw std::runtime_error("cannot write " + object + " (disk full?)");
        offset += *got;
    }
    if (!out->Close())
        throw std::runtime_error("cannot write " + object + " (disk full?)");
}

// A hard link where the file system allows one; a copy of the loaded bytes otherwise. A link
// changes the file's status time, so the file is compared with its stamp before, and the link
// with the file after.
bool Place(const Source& source, const fs::path& staged, const std::string& object) {
    RequireUnchanged(source, object);
    std::error_code error;
    fs::remove(staged, error);
    if (source.made) {
        std::optional<File> file = File::OpenWrite(Utf8ToWide(PathToUtf8(staged)));
        if (!file || !file->Write(source.made->data(), source.made->size()) || !file->Close())
            throw std::runtime_error("cannot write " + object + " (disk full?)");
        return false;
    }
    const fs::path real = fs::canonical(source.file, error);
    bool linked = !error;
    if (linked) {
        fs::create_hard_link(real, staged, error);
        linked = !error && fs::equivalent(staged, source.file, error) &&
                 fs::file_size(staged, error) == source.size;
    }
    if (linked)
        return true;
    fs::remove(staged, error);
    CopyFromHandle(source, staged, object);
    RequireUnchanged(source, object);
    return false;
}

// Keeps each wanted object that holds the right bytes and places the others.
void PlaceObjects(const fs::path& out, const std::map<std::string, Source>& wanted, MirrorOutcome& outcome) {
    const fs::path staging = out / ".staging";
    // Two runs laying out one tree at once never write the same staged file.
    const fs::path staged = staging / ("object-" + std::to_string(std::random_device{}()));
    fs::create_directories(staging);
    for (const auto& [object, source] : wanted) {
        const fs::path target = out / PathFromUtf8(object);
        std::error_code error;
        const bool present = fs::exists(target, error);
        if (present && HoldsSameBytes(target, source)) {
            RequireUnchanged(source, EscapeForLog(object));
            outcome.kept.push_back({object, source.size, false, false});
            continue;
        }
        const bool linked = Place(source, staged, EscapeForLog(object));
        fs::rename(staged, target);
        outcome.added.push_back({object, source.size, linked, present});
    }
    std::error_code error;
    fs::remove(staging, error);  // only when empty: another run may be using it
}

std::vector<MirrorObject> Prune(const fs::path& out, const std::map<std::string, Source>& wanted) {
    std::vector<MirrorObject> pruned;
    for (const char* folder : {"patches", "md5", "blocks"}) {
        std::error_code error;
        for (fs::directory_iterator it(out / folder, error); !error && it != fs::directory_iterator();
             it.increment(error)) {
            const std::string object = std::string(folder) + "/" + PathToUtf8(it->path().filename());
            if (wanted.contains(object) || !it->is_regular_file(error))
                continue;
            const std::uint64_t bytes = it->file_size(error);
            if (!fs::remove(it->path(), error) || error)
                throw std::runtime_error("cannot delete " + EscapeForLog(object) + ": " + error.message());
            pruned.push_back({object, bytes, false, false});
        }
    }
    return pruned;
}

}  // namespace

MirrorOutcome LayOutMirror(const fs::path& root, const fs::path& out, bool prune) {
    MirrorOutcome outcome;
    // A root one folder off would otherwise lay out nothing, and prune every object.
    if (const std::optional<std::string> fault = ContentRootFault(root)) {
        outcome.problems.push_back(*fault);
        return outcome;
    }
    const PatchCatalog patches = PatchCatalog::Load(root / "patches", outcome.problems);
    const FileCatalog files = FileCatalog::Load(root / "files", outcome.problems);
    if (!outcome.problems.empty())
        return outcome;
    const std::map<std::string, Source> wanted = WantedObjects(root, patches, files);
    fs::create_directories(out / "patches");
    fs::create_directories(out / "md5");
    fs::create_directories(out / "blocks");
    PlaceObjects(out, wanted, outcome);
    if (prune)
        outcome.pruned = Prune(out, wanted);
    return outcome;
}

std::string DescribeMirror(const fs::path& out, const MirrorOutcome& outcome) {
    const auto counted = [](const std::vector<MirrorObject>& objects) {
        std::uint64_t bytes = 0;
        for (const MirrorObject& object : objects)
            bytes += object.bytes;
        return std::to_string(objects.size()) + " objects (" + std::to_string(bytes) + " bytes)";
    };
    return "mirror " + PathToUtf8(out) + ": added " + counted(outcome.added) + ", kept " +
           counted(outcome.kept) + ", pruned " + counted(outcome.pruned);
}

}  // namespace ombrelta::patchkit
