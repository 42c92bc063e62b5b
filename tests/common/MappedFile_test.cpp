#include "common/MappedFile.h"

#include "tests/support/TempDir.h"

#include <algorithm>
#include <string>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

TEST(MappedFile, ReadsWholeFilesAndNothingElse) {
    TempDir tmp;
    WriteFileBytes(tmp.Child(L"data.bin"), "mapped bytes");
    WriteFileBytes(tmp.Child(L"empty.bin"), "");
    const std::optional<MappedFile> data = MappedFile::OpenRead(tmp.Child(L"data.bin"));
    ASSERT_TRUE(data.has_value());
    EXPECT_EQ(std::string(data->Bytes().begin(), data->Bytes().end()), "mapped bytes");
    EXPECT_TRUE(const_cast<MappedFile&>(*data).WritableBytes().empty());
    const std::optional<MappedFile> empty = MappedFile::OpenRead(tmp.Child(L"empty.bin"));
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->Bytes().empty());
    EXPECT_FALSE(MappedFile::OpenRead(tmp.Child(L"missing.bin")).has_value());
    EXPECT_FALSE(MappedFile::OpenRead(tmp.Path()).has_value());
}

TEST(MappedFile, WritableMappingMakesAFileOfExactlyItsSize) {
    TempDir tmp;
    for (const std::size_t size : {std::size_t{0}, std::size_t{5}, std::size_t{70000}}) {
        SCOPED_TRACE(size);
        const std::wstring path = tmp.Child(L"out.bin");
        WriteFileBytes(path, std::string(100000, 'x'));
        std::optional<MappedFile> out = MappedFile::CreateWritable(path, size);
        ASSERT_TRUE(out.has_value());
        ASSERT_EQ(out->WritableBytes().size(), size);
        std::fill(out->WritableBytes().begin(), out->WritableBytes().end(), 'w');
        EXPECT_TRUE(out->Close());
        EXPECT_EQ(ReadFileBytes(path), std::string(size, 'w'));
    }
    EXPECT_FALSE(MappedFile::CreateWritable(tmp.Child(L"no/such/folder/out.bin"), 5).has_value());
}

}  // namespace
}  // namespace ombrelta
