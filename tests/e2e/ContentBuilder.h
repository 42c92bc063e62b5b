#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ombrelta::test {

/// Relative name and bytes of one file.
using FileSpec = std::pair<std::string, std::string>;

/// size bytes from a fixed-seed generator: the same on every run and host.
std::string PseudoRandomBytes(std::size_t size, std::uint32_t seed);

/// Writes bytes to a file, creating its directories; fails the test on error.
void WriteFile(const std::filesystem::path& path, std::string_view bytes);
/// The whole file; empty text when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

/// Writes each file under dir.
void WriteTree(const std::filesystem::path& dir, const std::vector<FileSpec>& files);

/// Builds zipPath with Info-ZIP zip from the files, laid out first in a scratch directory next
/// to the archive; fails the test when zip fails.
void MakeZip(const std::filesystem::path& zipPath, const std::vector<FileSpec>& files);

/// Writes "Ombrel.dat" into dir, naming 127.0.0.1 and port, followed by extraLines.
void WriteLauncherConfig(const std::filesystem::path& dir, std::uint16_t port, std::string_view extraLines = {});
/// The same, naming host instead of 127.0.0.1.
void WriteLauncherConfigForHost(const std::filesystem::path& dir,
                                std::string_view host,
                                std::uint16_t port,
                                std::string_view extraLines);

/// Text as a UTF-8 path for a child's command line.
std::string PathArg(const std::filesystem::path& path);

}  // namespace ombrelta::test
