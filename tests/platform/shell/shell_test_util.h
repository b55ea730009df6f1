// A scratch folder per test, and small file helpers, for the shell tests.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <winbase.h>
#include <windef.h>

#include "qor_text.h"

class ScratchFolder {
public:
    ScratchFolder()
    {
        char pattern[] = "/tmp/qor_shell_test_XXXXXX";
        m_path = mkdtemp(pattern);
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(m_path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // The UTF-8 path of a name in the folder ("" for the folder itself).
    std::string Path(const std::string& name = "") const { return name.empty() ? m_path : m_path + "/" + name; }
    // The same as the UTF-16 text a Windows program passes, with backslashes if asked.
    std::u16string W(const std::string& name = "", bool backslashes = false) const
    {
        std::u16string text = qor::ToUtf16(Path(name));
        if (backslashes) {
            for (char16_t& c : text) {
                if (c == u'/')
                    c = u'\\';
            }
        }
        return text;
    }

private:
    std::string m_path;
};

// Sets (or with null removes) an environment variable for one scope.
class EnvOverride {
public:
    EnvOverride(const char* name, const char* value) : m_name(name), m_had(std::getenv(name) != nullptr)
    {
        if (m_had)
            m_old = std::getenv(name);
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~EnvOverride() { m_had ? setenv(m_name, m_old.c_str(), 1) : unsetenv(m_name); }

private:
    const char* m_name;
    bool m_had;
    std::string m_old;
};

// The call fails (returns FALSE, null or 0) and sets the Win32 error.
#define EXPECT_FAILS_WITH(error, call)                                                                                \
    do {                                                                                                               \
        EXPECT_FALSE(call);                                                                                            \
        EXPECT_EQ(static_cast<DWORD>(error), GetLastError()) << #call;                                                \
    } while (0)

inline void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline bool Exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}
