#include "common/MappedFile.h"

#include <windows.h>

#include <cstdint>
#include <limits>

namespace ombrelta {
namespace {

bool IsUsable(const std::wstring& path) {
    return !path.empty() && path.find(L'\0') == std::wstring::npos;
}

// A view of 2 MiB or more starts on a 2 MiB boundary when the address space has room for one.
// The page cache keeps a large file in large pages, and a page fault maps such a page whole only
// when the view is aligned like the file; in a view on the usual 64 KiB boundary every 4 KiB
// faults on its own, which made writing a result through its view several times slower than
// writing the file.
void* MapAlignedView(HANDLE mapping, DWORD access, SIZE_T size) {
    constexpr std::uintptr_t kAlignment = 2 << 20;
    const bool worthIt = size >= kAlignment && size <= std::numeric_limits<SIZE_T>::max() - kAlignment;
    // Another thread may take the free range between the probe and the mapping: try again.
    for (int attempt = 0; worthIt && attempt < 3; ++attempt) {
        void* probe = VirtualAlloc(nullptr, size + kAlignment, MEM_RESERVE, PAGE_NOACCESS);
        if (probe == nullptr)
            break;
        const std::uintptr_t aligned = (reinterpret_cast<std::uintptr_t>(probe) + kAlignment - 1) & ~(kAlignment - 1);
        VirtualFree(probe, 0, MEM_RELEASE);
        if (void* view = MapViewOfFileEx(mapping, access, 0, 0, size, reinterpret_cast<void*>(aligned)))
            return view;
    }
    return MapViewOfFile(mapping, access, 0, 0, size);
}

// Maps the whole of an open file; the mapping object may be closed at once, the view keeps it.
std::uint8_t* MapView(HANDLE file, DWORD protection, DWORD access, std::uint64_t size) {
    HANDLE mapping = CreateFileMappingW(file, nullptr, protection, static_cast<DWORD>(size >> 32),
                                        static_cast<DWORD>(size), nullptr);
    if (mapping == nullptr)
        return nullptr;
    void* view = MapAlignedView(mapping, access, static_cast<SIZE_T>(size));
    CloseHandle(mapping);
    return static_cast<std::uint8_t*>(view);
}

}  // namespace

std::optional<MappedFile> MappedFile::OpenRead(const std::wstring& path) {
    if (!IsUsable(path))
        return std::nullopt;
    MappedFile mapped;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    mapped.handle = reinterpret_cast<std::intptr_t>(file);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size) || static_cast<std::uint64_t>(size.QuadPart) > std::numeric_limits<std::size_t>::max())
        return std::nullopt;
    if (size.QuadPart == 0)
        return mapped;
    mapped.data = MapView(file, PAGE_READONLY, FILE_MAP_READ, static_cast<std::uint64_t>(size.QuadPart));
    if (mapped.data == nullptr)
        return std::nullopt;
    mapped.size = static_cast<std::size_t>(size.QuadPart);
    return mapped;
}

std::optional<MappedFile> MappedFile::CreateWritable(const std::wstring& path, std::uint64_t size) {
    if (!IsUsable(path) || size > std::numeric_limits<std::size_t>::max())
        return std::nullopt;
    MappedFile mapped;
    mapped.writable = true;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    mapped.handle = reinterpret_cast<std::intptr_t>(file);
    if (size == 0)
        return mapped;
    // A mapping larger than the file extends it, its space allocated.
    mapped.data = MapView(file, PAGE_READWRITE, FILE_MAP_WRITE, size);
    if (mapped.data == nullptr)
        return std::nullopt;
    mapped.size = static_cast<std::size_t>(size);
    return mapped;
}

bool MappedFile::Unmap(std::uint8_t* data, std::size_t) {
    return UnmapViewOfFile(data) != 0;
}

bool MappedFile::CloseFile(std::intptr_t handle) {
    return ::CloseHandle(reinterpret_cast<HANDLE>(handle)) != 0;
}

}  // namespace ombrelta
