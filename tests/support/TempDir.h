#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace ombrelta::test {

/// A fresh, empty directory for one test, removed with everything in it on destruction.
/// path() ends with a separator, like the installation directory the launcher works with.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::wstring& Path() const { return path; }
    /// path() followed by a relative name ('/' or '\' separators).
    std::wstring Child(std::wstring_view name) const;

private:
    std::wstring path;
};

/// Makes a directory the working directory and restores the old one on destruction.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::wstring& path);
    ~WorkingDirectory();
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

private:
    std::filesystem::path saved;
};

/// Writes bytes to a file, creating missing parent directories; fails the test on error.
void WriteFileBytes(const std::wstring& path, std::string_view bytes);
/// Reads a whole file; empty text and a test failure when it cannot be read.
std::string ReadFileBytes(const std::wstring& path);
bool FileExists(const std::wstring& path);

/// Directory of committed test data (tests/ in the source tree), taken from OMBRELTA_TEST_DATA.
std::wstring TestDataDir();

}  // namespace ombrelta::test
