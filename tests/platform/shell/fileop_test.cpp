// SHFileOperationW(FO_DELETE): the silent recursive delete, with its wildcards and the
// limits that keep it from deleting what it must not.
#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>

#include <shellapi.h>
#include <winbase.h>

#include "shell_test_util.h"

namespace {

constexpr FILEOP_FLAGS kSilentFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;

// Deletes the double-NUL-terminated list made of the given paths.
int Delete(std::initializer_list<std::u16string> paths, FILEOP_FLAGS flags = kSilentFlags,
           BOOL* aborted = nullptr)
{
    std::u16string list;
    for (const std::u16string& path : paths)
        list += path + u'\0';
    list += u'\0';
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = list.c_str();
    op.fFlags = flags;
    op.fAnyOperationsAborted = TRUE;
    const int result = SHFileOperationW(&op);
    if (aborted)
        *aborted = op.fAnyOperationsAborted;
    return result;
}

TEST(FileOperationDelete, DeletesAFolderTree)
{
    ScratchFolder folder;
    std::filesystem::create_directories(folder.Path("scan/a/b/c"));
    WriteText(folder.Path("scan/qor_org_preview.jpg"), "x");
    WriteText(folder.Path("scan/a/b/c/deep"), "x");
    WriteText(folder.Path("scan/a/.hidden"), "x");
    WriteText(folder.Path("scan/a/readonly"), "x");
    chmod(folder.Path("scan/a/readonly").c_str(), 0444);
    BOOL aborted = TRUE;
    // As the control passes it: backslashes, the trailing one removed.
    EXPECT_EQ(0, Delete({folder.W("scan", true)}, kSilentFlags, &aborted));
    EXPECT_FALSE(aborted);
    EXPECT_FALSE(Exists(folder.Path("scan")));
    EXPECT_TRUE(Exists(folder.Path()));
}

TEST(FileOperationDelete, NeverFollowsALinkOutOfTheFolder)
{
    ScratchFolder folder;
    std::filesystem::create_directories(folder.Path("outside/inner"));
    WriteText(folder.Path("outside/keep.jpg"), "keep");
    WriteText(folder.Path("outside/inner/keep2"), "keep");
    WriteText(folder.Path("outside-file"), "keep");
    std::filesystem::create_directories(folder.Path("scan/sub"));
    std::filesystem::create_directory_symlink(folder.Path("outside"), folder.Path("scan/link"));
    std::filesystem::create_directory_symlink(folder.Path("outside"), folder.Path("scan/sub/link2"));
    std::filesystem::create_symlink(folder.Path("outside-file"), folder.Path("scan/filelink"));

    EXPECT_EQ(0, Delete({folder.W("scan")}));
    EXPECT_FALSE(Exists(folder.Path("scan")));
    EXPECT_EQ("keep", ReadText(folder.Path("outside/keep.jpg")));
    EXPECT_EQ("keep", ReadText(folder.Path("outside/inner/keep2")));
    EXPECT_EQ("keep", ReadText(folder.Path("outside-file")));

    // A link named directly goes as a link, even with a trailing separator.
    std::filesystem::create_directory_symlink(folder.Path("outside"), folder.Path("link"));
    EXPECT_EQ(0, Delete({folder.W("link") + u"\\"}));
    EXPECT_FALSE(Exists(folder.Path("link")));
    EXPECT_EQ("keep", ReadText(folder.Path("outside/keep.jpg")));
}

TEST(FileOperationDelete, WildcardsDeleteTheContentAndKeepTheFolder)
{
    ScratchFolder folder;
    std::filesystem::create_directories(folder.Path("engine/sub"));
    for (const char* name : {"prev_1.jpg", "prev_100.jpg", "noext", ".dot", "sub/x"})
        WriteText(folder.Path("engine/") + name, "x");
    std::filesystem::create_directory_symlink(folder.Path("sub-outside"), folder.Path("engine/link"));
    std::filesystem::create_directory(folder.Path("sub-outside"));
    WriteText(folder.Path("sub-outside/keep"), "keep");

    // The engine folder as the view's destructor passes it: its path, a separator, "*.*".
    EXPECT_EQ(0, Delete({folder.W("engine", true) + u"\\*.*"}));
    EXPECT_TRUE(std::filesystem::is_directory(folder.Path("engine")));
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path("engine")));
    EXPECT_EQ("keep", ReadText(folder.Path("sub-outside/keep")));
    // Nothing left to match is no error.
    EXPECT_EQ(0, Delete({folder.W("engine") + u"/*.*"}));
}

TEST(FileOperationDelete, PatternsMatchAsOnWindows)
{
    ScratchFolder folder;
    for (const char* name : {"prev_1.jpg", "prev_2.JPG", "prev_10.jpg", "keep.png", "prev_3.jpgx"})
        WriteText(folder.Path(name), "x");
    EXPECT_EQ(0, Delete({folder.W("prev_?.jpg")}));
    EXPECT_FALSE(Exists(folder.Path("prev_1.jpg")));
    EXPECT_FALSE(Exists(folder.Path("prev_2.JPG"))) << "letters match without regard to case";
    EXPECT_TRUE(Exists(folder.Path("prev_10.jpg")));
    EXPECT_TRUE(Exists(folder.Path("prev_3.jpgx")));
    EXPECT_EQ(0, Delete({folder.W("*.jpg")}));
    EXPECT_FALSE(Exists(folder.Path("prev_10.jpg")));
    EXPECT_TRUE(Exists(folder.Path("keep.png")));
    EXPECT_TRUE(Exists(folder.Path("prev_3.jpgx")));
}

TEST(FileOperationDelete, FilesOnlyKeepsFolders)
{
    ScratchFolder folder;
    std::filesystem::create_directories(folder.Path("sub"));
    WriteText(folder.Path("sub/inner"), "x");
    WriteText(folder.Path("file"), "x");
    EXPECT_EQ(0, Delete({folder.W("*.*")}, kSilentFlags | FOF_FILESONLY));
    EXPECT_FALSE(Exists(folder.Path("file")));
    EXPECT_TRUE(Exists(folder.Path("sub/inner")));
    WriteText(folder.Path("file"), "x");
    EXPECT_EQ(0, Delete({folder.W("*.*")}, kSilentFlags | FOF_NORECURSION));
    EXPECT_FALSE(Exists(folder.Path("file")));
    EXPECT_TRUE(Exists(folder.Path("sub/inner")));
}

TEST(FileOperationDelete, ChecksTheWholeListBeforeDeleting)
{
    ScratchFolder folder;
    WriteText(folder.Path("a"), "x");
    WriteText(folder.Path("b"), "x");
    EXPECT_EQ(0, Delete({folder.W("a"), folder.W("b", true)}));
    EXPECT_FALSE(Exists(folder.Path("a")));
    EXPECT_FALSE(Exists(folder.Path("b")));

    WriteText(folder.Path("c"), "x");
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Delete({folder.W("c"), folder.W("missing")}));
    EXPECT_TRUE(Exists(folder.Path("c")));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, Delete({folder.W("c"), folder.W("missing/*.*")}));
    EXPECT_EQ(ERROR_INVALID_NAME, Delete({folder.W("c"), folder.W("*/c")}));
    EXPECT_EQ(ERROR_INVALID_NAME, Delete({folder.W("c"), folder.W("x/..")}));
    const std::u16string tooLong = folder.W() + u"/" + std::u16string(MAX_PATH, u'n');
    EXPECT_EQ(ERROR_FILENAME_EXCED_RANGE, Delete({folder.W("c"), tooLong}));
    EXPECT_TRUE(Exists(folder.Path("c")));
}

TEST(FileOperationDelete, RefusesTheRootTheHomeFolderAndItsParents)
{
    ScratchFolder folder;
    std::filesystem::create_directories(folder.Path("users/me/docs"));
    WriteText(folder.Path("users/me/docs/letter"), "keep");
    WriteText(folder.Path("users/me/file"), "deletable");
    std::filesystem::create_directory_symlink(folder.Path("users/me"), folder.Path("homelink"));
    EnvOverride home("HOME", folder.Path("users/me").c_str());

    EXPECT_NE(0, Delete({u""}));
    EXPECT_NE(0, Delete({u"/"}));
    EXPECT_NE(0, Delete({u"\\"}));
    EXPECT_NE(0, Delete({u"/*.*"}));
    EXPECT_NE(0, Delete({u"//"}));
    EXPECT_NE(0, Delete({folder.W("users/me")}));
    EXPECT_NE(0, Delete({folder.W("users/me", true) + u"\\"}));
    EXPECT_NE(0, Delete({folder.W("users/me") + u"/*.*"}));
    EXPECT_NE(0, Delete({folder.W("users")}));
    EXPECT_NE(0, Delete({folder.W("users") + u"/*"}));
    EXPECT_NE(0, Delete({folder.W("users/me/docs/..")}));
    EXPECT_NE(0, Delete({folder.W("homelink") + u"/*.*"})) << "through a link to the home folder";
    EXPECT_NE(0, Delete({folder.W()})) << "a parent of the home folder";
    EXPECT_EQ("keep", ReadText(folder.Path("users/me/docs/letter")));
    EXPECT_TRUE(Exists(folder.Path("users/me/file")));

    // What lies inside the home folder may go; a link to it goes as a link.
    EXPECT_EQ(0, Delete({folder.W("users/me/file")}));
    EXPECT_EQ(0, Delete({folder.W("homelink")}));
    EXPECT_EQ("keep", ReadText(folder.Path("users/me/docs/letter")));
}

TEST(FileOperationDelete, OtherRequests)
{
    ScratchFolder folder;
    WriteText(folder.Path("a"), "x");
    const std::u16string list = folder.W("a") + u'\0';
    SHFILEOPSTRUCTW op = {};
    op.pFrom = list.c_str();
    op.pTo = list.c_str();
    for (UINT func : {UINT(FO_MOVE), UINT(FO_COPY), UINT(FO_RENAME), 0u, 9u}) {
        op.wFunc = func;
        EXPECT_NE(0, SHFileOperationW(&op)) << func;
    }
    EXPECT_TRUE(Exists(folder.Path("a")));
    op.wFunc = FO_DELETE;
    op.pFrom = nullptr;
    EXPECT_NE(0, SHFileOperationW(&op));
    EXPECT_NE(0, SHFileOperationW(nullptr));
}

}  // namespace
