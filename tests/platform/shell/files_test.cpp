// Conformance of the kernel32 file and folder functions.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <set>
#include <vector>

#include <winbase.h>

#include "shell_test_util.h"
#include "small_disk.h"

namespace {

TEST(TempPath, ComesFromTmpdirAndEndsWithASeparator)
{
    ScratchFolder folder;
    {
        EnvOverride tmpdir("TMPDIR", folder.Path().c_str());
        WCHAR buffer[MAX_PATH + 1];
        const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
        EXPECT_EQ(folder.W() + u"/", std::u16string(buffer));
        EXPECT_EQ(folder.W().size() + 1, length);
        // Too small: the size needed, with the NUL.
        EXPECT_EQ(length + 1, GetTempPathW(length, buffer));
        EXPECT_EQ(length + 1, GetTempPathW(0, nullptr));
    }
    {
        EnvOverride tmpdir("TMPDIR", nullptr);
        WCHAR buffer[MAX_PATH + 1];
        EXPECT_EQ(5u, GetTempPathW(MAX_PATH + 1, buffer));
        EXPECT_EQ(std::u16string(u"/tmp/"), buffer);
    }
}

TEST(TempFileName, CreatesUniqueEmptyFilesSkippingNamesTaken)
{
    ScratchFolder folder;
    const std::u16string dir = folder.W() + u"/";
    std::set<std::u16string> names;
    // Occupy a run of names after the first one made: none of them may come back.
    WCHAR first[MAX_PATH];
    const UINT start = GetTempFileNameW(dir.c_str(), u"QOR", 0, first);
    ASSERT_NE(0u, start);
    names.insert(first);
    for (UINT i = 1; i <= 50; ++i) {
        WCHAR name[MAX_PATH];
        GetTempFileNameW(dir.c_str(), u"QOR", (start + i) % 0xFFFF + 1, name);
        WriteText(qor::ToUtf8(name), "taken");
    }
    for (int i = 0; i < 300; ++i) {
        WCHAR name[MAX_PATH];
        const UINT unique = GetTempFileNameW(dir.c_str(), u"QORX", 0, name);
        ASSERT_NE(0u, unique);
        const std::u16string text(name);
        char hex[8];
        snprintf(hex, sizeof hex, "%X", unique);
        EXPECT_EQ(dir + u"QOR" + qor::ToUtf16(hex) + u".tmp", text);
        EXPECT_TRUE(names.insert(text).second) << "repeated " << qor::ToUtf8(text);
        struct stat st;
        ASSERT_EQ(0, stat(qor::ToUtf8(text).c_str(), &st));
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(0, st.st_size) << "a taken name came back: " << qor::ToUtf8(text);
    }
}

TEST(TempFileName, GivenNumberOnlyFormsTheNameAndFailures)
{
    ScratchFolder folder;
    WCHAR name[MAX_PATH];
    EXPECT_EQ(0x1Fu, GetTempFileNameW(folder.W().c_str(), u"ab", 0x1F, name));
    EXPECT_EQ(folder.W() + u"/ab1F.tmp", std::u16string(name));
    EXPECT_FALSE(Exists(qor::ToUtf8(name)));
    // Only the low 16 bits count.
    EXPECT_EQ(0x12ABCDu, GetTempFileNameW(folder.W().c_str(), u"x", 0x12ABCD, name));
    EXPECT_EQ(folder.W() + u"/xABCD.tmp", std::u16string(name));
    SetLastError(0);
    EXPECT_FAILS_WITH(ERROR_DIRECTORY, GetTempFileNameW(folder.W("missing").c_str(), u"QOR", 0, name));
    const std::u16string longFolder(MAX_PATH - 13, u'a');
    EXPECT_FAILS_WITH(ERROR_BUFFER_OVERFLOW, GetTempFileNameW(longFolder.c_str(), u"QOR", 0, name));
    EXPECT_FAILS_WITH(ERROR_INVALID_PARAMETER, GetTempFileNameW(nullptr, u"QOR", 0, name));
}

TEST(Folders, CreateAndRemove)
{
    ScratchFolder folder;
    EXPECT_TRUE(CreateDirectoryW(folder.W("new", true).c_str(), nullptr));
    EXPECT_TRUE(std::filesystem::is_directory(folder.Path("new")));
    SetLastError(0);
    EXPECT_FAILS_WITH(ERROR_ALREADY_EXISTS, CreateDirectoryW(folder.W("new").c_str(), nullptr));
    EXPECT_FAILS_WITH(ERROR_PATH_NOT_FOUND, CreateDirectoryW(folder.W("missing/new").c_str(), nullptr));
    // A trailing separator, as the control leaves on its folders.
    EXPECT_TRUE(CreateDirectoryW((folder.W("new\\sub", true) + u"\\").c_str(), nullptr));

    EXPECT_FAILS_WITH(ERROR_DIR_NOT_EMPTY, RemoveDirectoryW(folder.W("new").c_str()));
    WriteText(folder.Path("file"), "x");
    EXPECT_FAILS_WITH(ERROR_DIRECTORY, RemoveDirectoryW(folder.W("file").c_str()));
    EXPECT_FAILS_WITH(ERROR_FILE_NOT_FOUND, RemoveDirectoryW(folder.W("gone").c_str()));
    EXPECT_TRUE(RemoveDirectoryW(folder.W("new/sub").c_str()));
    EXPECT_TRUE(RemoveDirectoryW(folder.W("new").c_str()));
    EXPECT_FALSE(Exists(folder.Path("new")));
}

TEST(CopyFile, CopiesRespectsFailIfExistsAndFailsAsWindows)
{
    ScratchFolder folder;
    WriteText(folder.Path("a"), "alpha");
    WriteText(folder.Path("b"), "beta");
    EXPECT_TRUE(CopyFileW(folder.W("a").c_str(), folder.W("c", true).c_str(), TRUE));
    EXPECT_EQ("alpha", ReadText(folder.Path("c")));
    EXPECT_EQ("alpha", ReadText(folder.Path("a")));

    SetLastError(0);
    EXPECT_FAILS_WITH(ERROR_FILE_EXISTS, CopyFileW(folder.W("a").c_str(), folder.W("b").c_str(), TRUE));
    EXPECT_EQ("beta", ReadText(folder.Path("b")));
    EXPECT_TRUE(CopyFileW(folder.W("a").c_str(), folder.W("b").c_str(), FALSE));
    EXPECT_EQ("alpha", ReadText(folder.Path("b")));

    // A longer file replaced by a shorter one leaves nothing of the old content.
    WriteText(folder.Path("long"), std::string(200000, 'z'));
    EXPECT_TRUE(CopyFileW(folder.W("a").c_str(), folder.W("long").c_str(), FALSE));
    EXPECT_EQ("alpha", ReadText(folder.Path("long")));
    EXPECT_TRUE(CopyFileW(folder.W("long").c_str(), folder.W("big").c_str(), FALSE));
    WriteText(folder.Path("big2"), std::string(200000, 'q'));
    EXPECT_TRUE(CopyFileW(folder.W("big2").c_str(), folder.W("big").c_str(), FALSE));
    EXPECT_EQ(std::string(200000, 'q'), ReadText(folder.Path("big")));

    EXPECT_FAILS_WITH(ERROR_FILE_NOT_FOUND, CopyFileW(folder.W("none").c_str(), folder.W("x").c_str(), FALSE));
    EXPECT_FAILS_WITH(ERROR_PATH_NOT_FOUND, CopyFileW(folder.W("no/none").c_str(), folder.W("x").c_str(), FALSE));
    EXPECT_FAILS_WITH(ERROR_PATH_NOT_FOUND, CopyFileW(folder.W("a").c_str(), folder.W("no/x").c_str(), FALSE));
    EXPECT_FALSE(Exists(folder.Path("x")));
    // Onto itself: the open source cannot be written, and its content must survive.
    EXPECT_FAILS_WITH(ERROR_SHARING_VIOLATION, CopyFileW(folder.W("a").c_str(), folder.W("a", true).c_str(), FALSE));
    EXPECT_EQ("alpha", ReadText(folder.Path("a")));
    // A folder is neither source nor target.
    std::filesystem::create_directory(folder.Path("dir"));
    EXPECT_FAILS_WITH(ERROR_ACCESS_DENIED, CopyFileW(folder.W("dir").c_str(), folder.W("y").c_str(), FALSE));
    EXPECT_FAILS_WITH(ERROR_ACCESS_DENIED, CopyFileW(folder.W("a").c_str(), folder.W("dir").c_str(), FALSE));
    // A read-only target is not overwritten.
    WriteText(folder.Path("ro"), "keep");
    chmod(folder.Path("ro").c_str(), 0444);
    EXPECT_FAILS_WITH(ERROR_ACCESS_DENIED, CopyFileW(folder.W("a").c_str(), folder.W("ro").c_str(), FALSE));
    EXPECT_EQ("keep", ReadText(folder.Path("ro")));
}

TEST(MoveFile, MovesReplacesAndFailsAsWindows)
{
    ScratchFolder folder;
    WriteText(folder.Path("a"), "alpha");
    WriteText(folder.Path("b"), "beta");
    std::filesystem::create_directory(folder.Path("dir"));
    EXPECT_TRUE(MoveFileExW(folder.W("a").c_str(), folder.W("dir\\a2", true).c_str(), 0));
    EXPECT_FALSE(Exists(folder.Path("a")));
    EXPECT_EQ("alpha", ReadText(folder.Path("dir/a2")));

    SetLastError(0);
    EXPECT_FAILS_WITH(ERROR_ALREADY_EXISTS, MoveFileExW(folder.W("dir/a2").c_str(), folder.W("b").c_str(), 0));
    EXPECT_EQ("alpha", ReadText(folder.Path("dir/a2")));
    EXPECT_EQ("beta", ReadText(folder.Path("b")));

    EXPECT_TRUE(MoveFileExW(folder.W("dir/a2").c_str(), folder.W("b").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_FALSE(Exists(folder.Path("dir/a2")));
    EXPECT_EQ("alpha", ReadText(folder.Path("b")));

    // To itself: nothing happens, nothing is lost.
    EXPECT_TRUE(MoveFileExW(folder.W("b").c_str(), folder.W("./b").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ("alpha", ReadText(folder.Path("b")));

    // Folders move too.
    EXPECT_TRUE(MoveFileExW(folder.W("dir").c_str(), folder.W("dir2").c_str(), 0));
    EXPECT_TRUE(std::filesystem::is_directory(folder.Path("dir2")));

    WriteText(folder.Path("a"), "alpha");
    std::filesystem::create_directory(folder.Path("dir"));
    SetLastError(0);
    EXPECT_FAILS_WITH(ERROR_FILE_NOT_FOUND, MoveFileExW(folder.W("none").c_str(), folder.W("x").c_str(), 0));
    EXPECT_FAILS_WITH(ERROR_PATH_NOT_FOUND,
                      MoveFileExW(folder.W("a").c_str(), folder.W("no/x").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_FAILS_WITH(ERROR_ACCESS_DENIED,
                      MoveFileExW(folder.W("a").c_str(), folder.W("dir").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_FAILS_WITH(ERROR_INVALID_PARAMETER, MoveFileExW(folder.W("a").c_str(), nullptr, 0));
    EXPECT_FAILS_WITH(ERROR_INVALID_PARAMETER, MoveFileExW(folder.W("a").c_str(), folder.W("x").c_str(), 0x100));
    WriteText(folder.Path("ro"), "keep");
    chmod(folder.Path("ro").c_str(), 0444);
    EXPECT_FAILS_WITH(ERROR_ACCESS_DENIED,
                      MoveFileExW(folder.W("a").c_str(), folder.W("ro").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ("alpha", ReadText(folder.Path("a")));
    EXPECT_EQ("keep", ReadText(folder.Path("ro")));
}

TEST(MoveFile, AcrossFileSystemsCopiesAndDeletes)
{
    ScratchFolder folder;
    struct stat here, there;
    if (stat(folder.Path().c_str(), &here) != 0 || stat("/dev/shm", &there) != 0 || here.st_dev == there.st_dev ||
        access("/dev/shm", W_OK) != 0)
        GTEST_SKIP() << "no second file system to move to";
    const std::string other = "/dev/shm/qor_shell_move_" + std::to_string(getpid());
    WriteText(folder.Path("a"), "alpha");
    WriteText(other, "old");
    const std::u16string target = qor::ToUtf16(other);
    EXPECT_FAILS_WITH(ERROR_ALREADY_EXISTS, MoveFileExW(folder.W("a").c_str(), target.c_str(), 0));
    EXPECT_TRUE(MoveFileExW(folder.W("a").c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ("alpha", ReadText(other));
    EXPECT_FALSE(Exists(folder.Path("a")));
    EXPECT_TRUE(MoveFileExW(target.c_str(), folder.W("back").c_str(), MOVEFILE_COPY_ALLOWED));
    EXPECT_EQ("alpha", ReadText(folder.Path("back")));
    EXPECT_FALSE(Exists(other));
}

// A copy that runs out of room, also the copy of a move to another file system, leaves the
// old target as it was and no partial file beside it. Formerly the old target was cut
// short and then deleted: a full disk lost the file being replaced.
TEST(CopyFile, AFullDiskKeepsTheOldTarget)
{
    qortest::SmallDisk disk(64 * 1024);
    if (!disk.Mounted())
        GTEST_SKIP() << "no small disk can be mounted here";
    ScratchFolder folder;
    WriteText(folder.Path("big"), std::string(200000, 'n'));
    const std::string target = (disk / "kept").string();
    WriteText(target, "the kept file");
    const std::u16string wideTarget = qor::ToUtf16(target);

    EXPECT_FAILS_WITH(ERROR_DISK_FULL, CopyFileW(folder.W("big").c_str(), wideTarget.c_str(), FALSE));
    EXPECT_EQ("the kept file", ReadText(target));
    EXPECT_FAILS_WITH(ERROR_DISK_FULL,
                      MoveFileExW(folder.W("big").c_str(), wideTarget.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ("the kept file", ReadText(target));
    EXPECT_TRUE(Exists(folder.Path("big")));
    EXPECT_FAILS_WITH(ERROR_DISK_FULL,
                      CopyFileW(folder.W("big").c_str(), qor::ToUtf16((disk / "new").string()).c_str(), TRUE));
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(disk.Path()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(std::vector<std::string>{"kept"}, names);

    // With room again the same move replaces the target.
    WriteText(folder.Path("small"), "small");
    EXPECT_TRUE(MoveFileExW(folder.W("small").c_str(), wideTarget.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ("small", ReadText(target));
}

TEST(DeleteFile, DeletesFilesAndLinksOnly)
{
    ScratchFolder folder;
    WriteText(folder.Path("a"), "alpha");
    EXPECT_TRUE(DeleteFileW(folder.W("a", true).c_str()));
    EXPECT_FALSE(Exists(folder.Path("a")));
    SetLastError(0);
    EXPECT_FAILS_WITH(ERROR_FILE_NOT_FOUND, DeleteFileW(folder.W("a").c_str()));
    EXPECT_FAILS_WITH(ERROR_PATH_NOT_FOUND, DeleteFileW(folder.W("no/a").c_str()));
    std::filesystem::create_directory(folder.Path("dir"));
    EXPECT_FAILS_WITH(ERROR_ACCESS_DENIED, DeleteFileW(folder.W("dir").c_str()));
    WriteText(folder.Path("ro"), "keep");
    chmod(folder.Path("ro").c_str(), 0444);
    EXPECT_FAILS_WITH(ERROR_ACCESS_DENIED, DeleteFileW(folder.W("ro").c_str()));
    EXPECT_TRUE(Exists(folder.Path("ro")));
    // A link goes, its target stays.
    WriteText(folder.Path("target"), "t");
    std::filesystem::create_symlink(folder.Path("target"), folder.Path("link"));
    EXPECT_TRUE(DeleteFileW(folder.W("link").c_str()));
    EXPECT_FALSE(Exists(folder.Path("link")));
    EXPECT_EQ("t", ReadText(folder.Path("target")));
}

TEST(FileAttributes, DescribeWhatIsOnDisk)
{
    ScratchFolder folder;
    WriteText(folder.Path("file"), "x");
    WriteText(folder.Path(".hidden"), "x");
    WriteText(folder.Path("ro"), "x");
    chmod(folder.Path("ro").c_str(), 0444);
    std::filesystem::create_directory(folder.Path("dir"));
    std::filesystem::create_directory_symlink(folder.Path("dir"), folder.Path("dirlink"));

    struct Case {
        const char* name;
        DWORD expected;
    } const cases[] = {
        {"file", FILE_ATTRIBUTE_NORMAL},
        {".hidden", FILE_ATTRIBUTE_HIDDEN},
        {"ro", FILE_ATTRIBUTE_READONLY},
        {"dir", FILE_ATTRIBUTE_DIRECTORY},
        {"dir/", FILE_ATTRIBUTE_DIRECTORY},
        {"dirlink", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, GetFileAttributesW(folder.W(c.name).c_str())) << c.name;
        EXPECT_EQ(c.expected, GetFileAttributesW(folder.W(c.name, true).c_str())) << c.name << " with backslashes";
    }
    SetLastError(0);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(folder.W("none").c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(folder.W("none/x").c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(u""));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
}

TEST(LongPaths, AreRefusedNeverCut)
{
    ScratchFolder folder;
    // A real file whose path is exactly MAX_PATH characters: Windows refuses it without the
    // "\\?\" prefix, and a cut path would name another file.
    std::string name = "f";
    const std::string stem = folder.Path("");
    name += std::string(MAX_PATH - stem.size() - 2, 'n');
    const std::string longPath = folder.Path(name);
    ASSERT_EQ(static_cast<size_t>(MAX_PATH), longPath.size());
    WriteText(longPath, "long");
    const std::u16string wide = qor::ToUtf16(longPath);
    SetLastError(0);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(wide.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), GetLastError());
    EXPECT_FAILS_WITH(ERROR_FILENAME_EXCED_RANGE, DeleteFileW(wide.c_str()));
    EXPECT_FAILS_WITH(ERROR_FILENAME_EXCED_RANGE, MoveFileExW(wide.c_str(), folder.W("short").c_str(), 0));
    WriteText(folder.Path("short"), "short");
    EXPECT_FAILS_WITH(ERROR_FILENAME_EXCED_RANGE, CopyFileW(folder.W("short").c_str(), wide.c_str(), FALSE));
    EXPECT_EQ("long", ReadText(longPath));

    // The long-path prefix lifts the limit, as on Windows; one character less fits anyway.
    const std::u16string prefixed = u"\\\\?\\" + wide;
    const std::u16string fits = wide.substr(0, wide.size() - 1);
    EXPECT_TRUE(CopyFileW(prefixed.c_str(), fits.c_str(), FALSE));
    EXPECT_EQ("long", ReadText(qor::ToUtf8(fits)));
    EXPECT_TRUE(DeleteFileW(prefixed.c_str()));
    EXPECT_FALSE(Exists(longPath));

    // Folders stop 12 characters earlier, leaving room for a file name inside.
    const std::u16string folderPath = qor::ToUtf16(stem + "/" + std::string(MAX_PATH - 12 - stem.size(), 'd'));
    ASSERT_EQ(static_cast<size_t>(MAX_PATH - 11), folderPath.size());
    EXPECT_FAILS_WITH(ERROR_FILENAME_EXCED_RANGE, CreateDirectoryW(folderPath.c_str(), nullptr));
    EXPECT_TRUE(CreateDirectoryW(folderPath.substr(0, folderPath.size() - 1).c_str(), nullptr));
}

TEST(Paths, BrokenUtf16IsRefused)
{
    ScratchFolder folder;
    WriteText(folder.Path("\xEF\xBF\xBD"), "replacement character");
    const std::u16string broken = folder.W() + u"/" + std::u16string(1, u'\xD800');
    SetLastError(0);
    EXPECT_FAILS_WITH(ERROR_INVALID_NAME, DeleteFileW(broken.c_str()));
    EXPECT_TRUE(Exists(folder.Path("\xEF\xBF\xBD")));
}

TEST(PathNames, LongNameIsTheExistingPathFullNameResolvesAgainstTheCurrentFolder)
{
    ScratchFolder folder;
    WriteText(folder.Path("file.txt"), "x");
    const std::u16string path = folder.W("file.txt", true);
    WCHAR buffer[MAX_PATH];
    EXPECT_EQ(path.size(), GetLongPathNameW(path.c_str(), buffer, MAX_PATH));
    EXPECT_EQ(path, std::u16string(buffer));
    EXPECT_EQ(path.size() + 1, GetLongPathNameW(path.c_str(), buffer, static_cast<DWORD>(path.size())));
    // In place.
    std::copy(path.begin(), path.end() + 1, buffer);
    EXPECT_EQ(path.size(), GetLongPathNameW(buffer, buffer, MAX_PATH));
    EXPECT_EQ(path, std::u16string(buffer));
    SetLastError(0);
    EXPECT_FAILS_WITH(ERROR_FILE_NOT_FOUND, GetLongPathNameW(folder.W("none").c_str(), buffer, MAX_PATH));

    char* saved = getcwd(nullptr, 0);
    ASSERT_EQ(0, chdir(folder.Path().c_str()));
    LPWSTR filePart = nullptr;
    const DWORD length = GetFullPathNameW(u"sub\\..\\x/./name.txt", MAX_PATH, buffer, &filePart);
    EXPECT_EQ(folder.W() + u"/x/name.txt", std::u16string(buffer));
    EXPECT_EQ(std::u16string(buffer).size(), length);
    ASSERT_NE(nullptr, filePart);
    EXPECT_EQ(std::u16string(u"name.txt"), filePart);
    EXPECT_EQ(length + 1, GetFullPathNameW(u"x/name.txt", length, buffer, nullptr));
    EXPECT_EQ(std::u16string(u"/a/c"), std::u16string(buffer, GetFullPathNameW(u"/a/b/../c", MAX_PATH, buffer, nullptr)));
    EXPECT_EQ(0, chdir(saved));
    free(saved);
}

}  // namespace
