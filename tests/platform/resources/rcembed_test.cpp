// rcembed refuses faulty scripts with the script's name and line, and lists every input
// in its depfile.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class Rcembed : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("rcembed_test_" + std::to_string(getpid()));
        fs::create_directories(m_dir);
        Write("a.txt", "A");
        Write("not.cur", "plain text");
    }
    void TearDown() override { fs::remove_all(m_dir); }

    void Write(const std::string& name, const std::string& content)
    {
        std::ofstream(m_dir / name, std::ios::binary) << content;
    }
    static std::string Read(const fs::path& p)
    {
        std::ifstream in(p);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // Runs the tool on a script; returns its exit status and keeps its messages.
    int Run(const std::string& script)
    {
        Write("test.rc", script);
        const std::string command = std::string(QOR_RCEMBED) + " '" + (m_dir / "test.rc").string() + "' '" +
                                    (m_dir / "out.cpp").string() + "' '" + (m_dir / "out.d").string() + "' 2>'" +
                                    (m_dir / "err.txt").string() + "'";
        const int status = std::system(command.c_str());
        m_errors = Read(m_dir / "err.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    fs::path m_dir;
    std::string m_errors;
};

TEST_F(Rcembed, FaultyScriptsFailWithTheLine)
{
    struct Case {
        const char* script;
        const char* message;
    } cases[] = {
        {"STRINGTABLE\nBEGIN\n1 \"a\"\n1 \"b\"\nEND\n", "test.rc:4: string 1 defined twice"},
        {"\n5 TEXT \"missing.txt\"\n", "test.rc:2: cannot read"},
        {"1 TEXT \"a.txt\"\n1 text \"a.txt\"\n", "test.rc:2: resource defined twice"},
        {"STRINGTABLE BEGIN 1 \"bad \\q\" END", "test.rc:1: unknown escape"},
        {"STRINGTABLE BEGIN 1 \"open\nEND", "test.rc:1: unterminated string"},
        {"7 CURSOR \"not.cur\"", "test.rc:1: not a .cur file"},
        {"7 ICON \"a.txt\"", "icon resources are not supported"},
        {"0 TEXT \"a.txt\"", "resource numbers run from 1 to 65535"},
        {"VERSIONINFO BEGIN BLOCK \"0409\" BEGIN END END", "8 hex digits"},
        {"STRINGTABLE BEGIN 70000 \"x\" END", "expected a number up to 65535"},
        {"STRINGTABLE BEGIN 1 \"\xff\" END", "not valid UTF-8"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(1, Run(c.script)) << c.script;
        EXPECT_NE(std::string::npos, m_errors.find(c.message)) << c.script << " gave: " << m_errors;
    }
}

TEST_F(Rcembed, DepfileNamesTheScriptAndEveryFile)
{
    ASSERT_EQ(0, Run("1 TEXT \"a.txt\"\n2 RCDATA \"a.txt\"\nSTRINGTABLE BEGIN 1 \"x\" END\n"));
    const std::string deps = Read(m_dir / "out.d");
    EXPECT_EQ(0u, deps.find((m_dir / "out.cpp").string() + ":"));
    EXPECT_NE(std::string::npos, deps.find((m_dir / "test.rc").string()));
    EXPECT_NE(std::string::npos, deps.find((m_dir / "a.txt").string()));
    EXPECT_NE(std::string::npos, Read(m_dir / "out.cpp").find("QorRegisterResourceTable"));
}

}  // namespace
