// Values: exact bytes of every type, names without regard to case, sizes and the buffer
// protocol, enumeration order, RegGetValueW.
#include "registry_fixture.h"

#include <cstring>

namespace {

std::vector<BYTE> Bytes(const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const BYTE*>(data);
    return std::vector<BYTE>(bytes, bytes + size);
}

struct Sample {
    LPCWSTR name;
    DWORD type;
    std::vector<BYTE> data;
};

}  // namespace

class ValueTest : public RegistryTest {
protected:
    void SetUp() override
    {
        RegistryTest::SetUp();
        m_key = Create(HKEY_CURRENT_USER, u"Software\\QorTest");
    }
    void TearDown() override
    {
        RegCloseKey(m_key);
        RegistryTest::TearDown();
    }
    HKEY m_key = nullptr;
};

TEST_F(ValueTest, EveryTypeRoundTripsItsExactBytes)
{
    std::vector<BYTE> allBytes(256);
    for (int i = 0; i < 256; ++i)
        allBytes[i] = static_cast<BYTE>(i);
    const DWORD dword = 0xDEADBEEF;
    const ULONGLONG qword = 0x0123456789ABCDEFULL;
    const std::vector<Sample> samples = {
        {u"Text", REG_SZ, Bytes(u"Scan\0", 10)},
        {u"Unterminated", REG_SZ, Bytes(u"ab", 4)},
        {u"OddLength", REG_SZ, Bytes(u"abc", 3)},
        {u"EmbeddedNul", REG_SZ, Bytes(u"a\0b", 8)},
        {u"Expand", REG_EXPAND_SZ, Bytes(u"%TEMP%\\x", 18)},
        {u"Multi", REG_MULTI_SZ, Bytes(u"a\0b\0", 10)},
        {u"Binary", REG_BINARY, allBytes},
        {u"Dword", REG_DWORD, Bytes(&dword, 4)},
        {u"Qword", REG_QWORD, Bytes(&qword, 8)},
        {u"Nothing", REG_NONE, {}},
        {u"Custom", 0x12345678, Bytes("\x01\x02", 2)},
    };
    for (const auto& sample : samples)
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(m_key, sample.name, 0, sample.type, sample.data.data(),
                                                static_cast<DWORD>(sample.data.size())))
            << "set";
    for (const auto& sample : samples) {
        std::vector<BYTE> data(300, 0xCC);
        DWORD size = static_cast<DWORD>(data.size());
        DWORD type = 0xFFFF;
        ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(m_key, sample.name, nullptr, &type, data.data(), &size));
        EXPECT_EQ(sample.type, type);
        data.resize(size);
        EXPECT_EQ(sample.data, data) << "value " << samples.size();
    }
}

TEST_F(ValueTest, NamesIgnoreCaseKeepTheirFirstSpellingAndNullIsTheDefault)
{
    ASSERT_EQ(ERROR_SUCCESS, SetText(m_key, u"Width", u"1"));
    EXPECT_EQ(u"1", GetText(m_key, u"WIDTH"));
    ASSERT_EQ(ERROR_SUCCESS, SetText(m_key, u"wIDTH", u"2"));
    EXPECT_EQ(u"2", GetText(m_key, u"width"));

    WCHAR name[16];
    DWORD length = 16;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumValueW(m_key, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(std::u16string(u"Width"), std::u16string(name, length));
    length = 16;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumValueW(m_key, 1, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(u"<error 2>", GetText(m_key, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, SetText(m_key, nullptr, u"default"));
    EXPECT_EQ(u"default", GetText(m_key, u""));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueW(m_key, u""));
    EXPECT_EQ(u"<error 2>", GetText(m_key, nullptr));
}

TEST_F(ValueTest, BufferProtocolReportsTheSizeItNeeds)
{
    const BYTE data[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(m_key, u"Ten", 0, REG_BINARY, data, sizeof(data)));

    DWORD type = 0, size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(m_key, u"Ten", nullptr, &type, nullptr, &size));
    EXPECT_EQ(10u, size);
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);

    BYTE small[3] = {};
    size = sizeof(small);
    type = 0;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExW(m_key, u"Ten", nullptr, &type, small, &size));
    EXPECT_EQ(10u, size);
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);

    BYTE exact[10] = {};
    size = sizeof(exact);
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(m_key, u"Ten", nullptr, nullptr, exact, &size));
    EXPECT_EQ(0, std::memcmp(data, exact, sizeof(data)));

    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(m_key, u"Ten", nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueExW(m_key, u"Ten", nullptr, nullptr, exact, nullptr));
    DWORD reserved = 0;
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueExW(m_key, u"Ten", &reserved, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExW(m_key, u"Eleven", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_NOACCESS, RegSetValueExW(m_key, u"Null", 0, REG_BINARY, nullptr, 4));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(m_key, u"Null", 0, REG_BINARY, nullptr, 0));
}

TEST_F(ValueTest, EnumerationKeepsCreationOrderAndReportsShortBuffers)
{
    const DWORD one = 1;
    for (LPCWSTR name : {u"zeta", u"Alpha", u"mid"})
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(m_key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4));
    // Changing a value keeps its place; deleting one closes the gap.
    ASSERT_EQ(ERROR_SUCCESS, SetText(m_key, u"ZETA", u"changed"));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueW(m_key, u"alpha"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueW(m_key, u"alpha"));

    std::vector<std::u16string> names;
    std::vector<DWORD> types;
    for (DWORD index = 0;; ++index) {
        WCHAR name[16];
        DWORD length = 16, type = 0;
        if (RegEnumValueW(m_key, index, name, &length, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
        types.push_back(type);
    }
    EXPECT_EQ((std::vector<std::u16string>{u"zeta", u"mid"}), names);
    EXPECT_EQ((std::vector<DWORD>{REG_SZ, REG_DWORD}), types);

    // Short buffers: the third value's name needs 11 characters with its NUL, its data 22 bytes.
    ASSERT_EQ(ERROR_SUCCESS, SetText(m_key, u"LongerName", u"0123456789"));
    WCHAR name[32];
    DWORD length = 10;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueW(m_key, 2, name, &length, nullptr, nullptr, nullptr, nullptr));
    BYTE data[4];
    DWORD size = sizeof(data);
    length = 32;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueW(m_key, 2, name, &length, nullptr, nullptr, data, &size));
    EXPECT_EQ(22u, size);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegEnumValueW(m_key, 2, name, &length, nullptr, nullptr, data, nullptr));
    DWORD values = 0, maxName = 0, maxData = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyW(m_key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                                              &maxName, &maxData, nullptr, nullptr));
    EXPECT_EQ(3u, values);
    EXPECT_EQ(10u, maxName);
    EXPECT_EQ(22u, maxData);
}

TEST_F(ValueTest, GetValueTerminatesStringsAndChecksTypes)
{
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(m_key, u"Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>(u"ab"), 4));
    WCHAR text[8] = {u'x', u'x', u'x', u'x', u'x', u'x', u'x', u'x'};
    DWORD size = sizeof(text);
    DWORD type = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              RegGetValueW(HKEY_CURRENT_USER, u"Software\\QorTest", u"Bare", RRF_RT_REG_SZ, &type, text, &size));
    EXPECT_EQ(6u, size);
    EXPECT_EQ(std::u16string(u"ab"), std::u16string(text));

    size = sizeof(text);
    EXPECT_EQ(ERROR_UNSUPPORTED_TYPE, RegGetValueW(m_key, nullptr, u"Bare", RRF_RT_REG_DWORD, nullptr, text, &size));
    size = 4;
    EXPECT_EQ(ERROR_MORE_DATA, RegGetValueW(m_key, nullptr, u"Bare", RRF_RT_ANY, nullptr, text, &size));
    EXPECT_EQ(6u, size);

    const DWORD seven = 7;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(m_key, u"Seven", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&seven), 4));
    DWORD number = 0;
    size = sizeof(number);
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueW(m_key, nullptr, u"Seven", RRF_RT_DWORD, nullptr, &number, &size));
    EXPECT_EQ(7u, number);

    setenv("QOR_REGISTRY_TEST_VAR", "C:x", 1);
    const char16_t expand[] = u"[%QOR_REGISTRY_TEST_VAR%][%QOR_NO_SUCH_VAR%]";
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(m_key, u"Expand", 0, REG_EXPAND_SZ,
                                            reinterpret_cast<const BYTE*>(expand), sizeof(expand)));
    WCHAR expanded[64] = {};
    size = sizeof(expanded);
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(m_key, nullptr, u"Expand", RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ, &type,
                                          expanded, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(std::u16string(u"[C:x][%QOR_NO_SUCH_VAR%]"), std::u16string(expanded));
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegGetValueW(m_key, nullptr, u"Expand", RRF_RT_REG_EXPAND_SZ, nullptr, expanded, &size));
}
