// Files held open by live objects: the shell refuses to delete or move them, as Windows
// refuses for a file open without delete sharing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include <shellapi.h>
#include <winbase.h>

#include "qor_filehold.h"
#include "shell_test_util.h"

namespace {

int DeleteTree(const std::u16string& path, SHFILEOPSTRUCTW* op)
{
    static thread_local std::u16string list;
    list = path + u'\0';
    *op = {};
    op->wFunc = FO_DELETE;
    op->pFrom = list.c_str();
    op->fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
    return SHFileOperationW(op);
}

TEST(FileHold, RefusesDeleteAndMoveUntilReleased)
{
    ScratchFolder folder;
    std::filesystem::create_directory(folder.Path("dir"));
    WriteText(folder.Path("dir/held.jpg"), "pixels");
    WriteText(folder.Path("other"), "other");
    // Held through a path with backslashes, which names the same file here.
    const qor::FileHoldId hold = qor::HoldFile(qor::ToUtf8(folder.W("dir/held.jpg", true)));
    ASSERT_NE(0u, hold);
    EXPECT_TRUE(qor::IsFileHeld(folder.Path("dir/held.jpg")));

    const std::u16string held = folder.W("dir\\held.jpg", true);
    SetLastError(0);
    EXPECT_FAILS_WITH(ERROR_SHARING_VIOLATION, DeleteFileW(held.c_str()));
    SetLastError(0);
    EXPECT_FAILS_WITH(ERROR_SHARING_VIOLATION,
                      MoveFileExW(held.c_str(), folder.W("moved").c_str(), MOVEFILE_REPLACE_EXISTING));
    SetLastError(0);
    EXPECT_FAILS_WITH(ERROR_SHARING_VIOLATION,
                      MoveFileExW(folder.W("other").c_str(), held.c_str(), MOVEFILE_REPLACE_EXISTING));
    SetLastError(0);
    EXPECT_FAILS_WITH(ERROR_SHARING_VIOLATION, CopyFileW(folder.W("other").c_str(), held.c_str(), FALSE));
    // Reading it is fine.
    EXPECT_TRUE(CopyFileW(held.c_str(), folder.W("copy").c_str(), FALSE));

    SHFILEOPSTRUCTW op;
    EXPECT_EQ(ERROR_SHARING_VIOLATION, DeleteTree(folder.W("dir"), &op));
    EXPECT_TRUE(op.fAnyOperationsAborted);
    EXPECT_EQ("pixels", ReadText(folder.Path("dir/held.jpg")));
    EXPECT_EQ("other", ReadText(folder.Path("other")));

    qor::ReleaseFileHold(hold);
    EXPECT_FALSE(qor::IsFileHeld(folder.Path("dir/held.jpg")));
    EXPECT_TRUE(MoveFileExW(folder.W("other").c_str(), held.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_TRUE(MoveFileExW(held.c_str(), folder.W("moved").c_str(), 0));
    EXPECT_TRUE(DeleteFileW(folder.W("moved").c_str()));
    EXPECT_EQ(0, DeleteTree(folder.W("dir"), &op));
    EXPECT_FALSE(op.fAnyOperationsAborted);
    EXPECT_FALSE(Exists(folder.Path("dir")));
}

TEST(FileHold, CountsEveryPathToTheFileAndNests)
{
    ScratchFolder folder;
    WriteText(folder.Path("a"), "a");
    ASSERT_EQ(0, link(folder.Path("a").c_str(), folder.Path("hardlink").c_str()));
    std::filesystem::create_symlink(folder.Path("a"), folder.Path("symlink"));
    const qor::FileHoldId first = qor::HoldFile(folder.Path("a"));
    const qor::FileHoldId second = qor::HoldFile(folder.Path("symlink"));
    ASSERT_NE(0u, first);
    ASSERT_NE(0u, second);
    EXPECT_NE(first, second);

    // Another name of the same file is held too; a link to it is not the file.
    EXPECT_FAILS_WITH(ERROR_SHARING_VIOLATION, DeleteFileW(folder.W("hardlink").c_str()));
    EXPECT_TRUE(DeleteFileW(folder.W("symlink").c_str()));

    qor::ReleaseFileHold(first);
    EXPECT_FALSE(DeleteFileW(folder.W("a").c_str())) << "one hold is left";
    qor::ReleaseFileHold(second);
    qor::ReleaseFileHold(second);  // a second release of one hold changes nothing
    EXPECT_TRUE(DeleteFileW(folder.W("hardlink").c_str()));
    EXPECT_TRUE(DeleteFileW(folder.W("a").c_str()));
    EXPECT_EQ(0u, qor::HoldFile(folder.Path("a")));
}

TEST(FileHold, ThreadsHoldAndDeleteSafely)
{
    ScratchFolder folder;
    constexpr int kThreads = 4;
    constexpr int kRounds = 200;
    std::atomic<int> wrongResults{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const std::string path = folder.Path("f" + std::to_string(t));
            const std::u16string wide = qor::ToUtf16(path);
            for (int i = 0; i < kRounds; ++i) {
                WriteText(path, "x");
                const qor::FileHoldId hold = qor::HoldFile(path);
                if (DeleteFileW(wide.c_str()) || GetLastError() != ERROR_SHARING_VIOLATION)
                    ++wrongResults;
                qor::ReleaseFileHold(hold);
                if (!DeleteFileW(wide.c_str()))
                    ++wrongResults;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(0, wrongResults.load());
}

}  // namespace
