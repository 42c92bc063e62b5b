#include "tests/support/TempDir.h"

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include <gtest/gtest.h>

#include "common/FileSystem.h"
#include "common/Path.h"
#include "common/Text.h"

namespace ombrelta::test {
namespace {

// Unique across the processes of one run too: the same test program may run twice at once.
std::wstring UniqueName() {
    static const unsigned processTag = std::random_device{}();
    static std::atomic<unsigned> counter{0};
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "test";
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.')
            c = '_';
    }
    return Utf8ToWide("ombrelta-" + name + "-" + std::to_string(processTag) + "-" + std::to_string(counter++));
}

}  // namespace

TempDir::TempDir() {
    std::filesystem::path base = std::filesystem::temp_directory_path() / UniqueName();
    std::filesystem::remove_all(base);
    std::filesystem::create_directories(base);
    path = base.wstring();
    if (!path.empty() && !IsSeparator(path.back()))
        path += L'/';
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(ToNativePath(path), ignored);
}

std::wstring TempDir::Child(std::wstring_view name) const {
    return path + std::wstring(name);
}

WorkingDirectory::WorkingDirectory(const std::wstring& path) : saved(std::filesystem::current_path()) {
    std::filesystem::current_path(ToNativePath(path));
}

WorkingDirectory::~WorkingDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(saved, ignored);
}

void WriteFileBytes(const std::wstring& path, std::string_view bytes) {
    std::filesystem::path native = ToNativePath(path);
    if (native.has_parent_path())
        std::filesystem::create_directories(native.parent_path());
    std::ofstream out(native, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "cannot write " << WideToUtf8(path);
}

std::string ReadFileBytes(const std::wstring& path) {
    std::ifstream in(ToNativePath(path), std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot read " << WideToUtf8(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::wstring& path) {
    std::error_code ignored;
    return std::filesystem::exists(ToNativePath(path), ignored);
}

std::wstring TestDataDir() {
    const char* dir = std::getenv("OMBRELTA_TEST_DATA");
    if (!dir)
        return std::wstring();
    std::wstring path = Utf8ToWide(dir) + L"/";
    // Under Wine the source tree is reached through the drive that maps the Unix root.
    if (sizeof(wchar_t) == 2 && path.front() == L'/')
        path = L"Z:" + path;
    return path;
}

}  // namespace ombrelta::test
