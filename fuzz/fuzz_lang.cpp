// The language lookup over a damaged string store: the input builds the suite's store in the
// registry (language keys, their codes, the module's tables and their strings, with any type,
// size and name, too long ones included) and the user's preferred languages, then every text
// of the control is looked up. An input that begins as an SQLite file is the machine hive
// itself, damaged at the file level.
//
// Input (fuzz/make_seeds.py): flags, the preferred languages, "CurrentLanguage", then the
// language keys, each with its code and its tables.
#include <LangResources.h>
#include <qor_registry.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "FuzzSupport.h"

namespace {

constexpr char kSqliteHeader[] = "SQLite format 3";
constexpr WCHAR kResources[] = u"SOFTWARE\\Velmora\\Scrivane\\Resources";
constexpr UINT kStringIds[] = {99, 100, 101, 102, 103, 104, 105};

const std::filesystem::path& RegistryFolder()
{
    static const std::filesystem::path folder = fuzz::ScratchFolder() / "registry";
    return folder;
}

const CString& TableName()
{
    static const CString strTable = GetResourceTableName();
    return strTable;
}

// A name: UTF-16 code units two bytes each; separators make nested keys.
std::u16string ReadName(fuzz::CByteReader& in)
{
    const std::vector<uint8_t> bytes = in.Bytes(255);
    std::u16string strName;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        strName += static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
    return strName;
}

// A value's bytes: a piece repeated, so that a short input reaches the lookup's 8192-byte
// buffer and beyond.
std::vector<BYTE> ReadData(fuzz::CByteReader& in)
{
    const std::vector<uint8_t> piece = in.Bytes(255);
    const size_t nRepeat = 1 + in.Pick(48);
    std::vector<BYTE> data;
    for (size_t i = 0; i < nRepeat; ++i)
        data.insert(data.end(), piece.begin(), piece.end());
    return data;
}

DWORD ReadType(fuzz::CByteReader& in)
{
    static const DWORD kTypes[] = {REG_SZ, REG_SZ, REG_MULTI_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_NONE};
    return in.PickFrom(kTypes);
}

void SetValue(HKEY hKey, const WCHAR* pszName, fuzz::CByteReader& in)
{
    const DWORD dwType = ReadType(in);
    const std::vector<BYTE> data = ReadData(in);
    RegSetValueExW(hKey, pszName, 0, dwType, data.data(), static_cast<DWORD>(data.size()));
}

HKEY CreateKey(HKEY hParent, const std::u16string& strPath)
{
    HKEY hKey = nullptr;
    if (RegCreateKeyExW(hParent, strPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return hKey;
}

// One language key: its code (the default value) and its tables of strings.
void BuildLanguage(HKEY hResources, fuzz::CByteReader& in)
{
    HKEY hLanguage = CreateKey(hResources, ReadName(in));
    if (hLanguage == nullptr)
        return;
    if (in.Pick(8) != 0)
        SetValue(hLanguage, nullptr, in);
    for (size_t nTables = in.Pick(3); nTables > 0; --nTables) {
        const std::u16string strTable = in.Pick(4) != 0 ? std::u16string(TableName().GetString()) : ReadName(in);
        HKEY hTable = CreateKey(hLanguage, strTable);
        if (hTable == nullptr)
            continue;
        for (size_t nValues = in.Pick(8); nValues > 0; --nValues) {
            std::u16string strValue;
            if (in.Pick(4) != 0) {
                const std::string strId = "String#" + std::to_string(in.PickFrom(kStringIds));
                strValue.assign(strId.begin(), strId.end());
            } else {
                strValue = ReadName(in);
            }
            SetValue(hTable, strValue.c_str(), in);
        }
        RegCloseKey(hTable);
    }
    RegCloseKey(hLanguage);
}

void BuildStore(fuzz::CByteReader& in)
{
    const uint8_t bFlags = in.Byte();
    // The preferred languages the suite's library answers with; without them its call fails.
    std::string strLanguages;
    for (size_t nPieces = in.Pick(12); nPieces > 0; --nPieces) {
        const std::vector<uint8_t> piece = in.Bytes(255);
        strLanguages.append(piece.begin(), piece.end());
    }
    strLanguages.erase(std::remove(strLanguages.begin(), strLanguages.end(), '\0'), strLanguages.end());
    if (bFlags & 1)
        setenv("QOR_TEST_TRMLX_LANGUAGES", strLanguages.c_str(), 1);
    if (bFlags & 2)
        return;  // no store at all
    HKEY hResources = CreateKey(HKEY_LOCAL_MACHINE, kResources);
    if (hResources == nullptr)
        return;
    if (bFlags & 4)
        SetValue(hResources, u"CurrentLanguage", in);
    for (size_t nLanguages = in.Pick(6); nLanguages > 0; --nLanguages)
        BuildLanguage(hResources, in);
    RegCloseKey(hResources);
}

// Every text of the control, then the lookup's parts on their own.
void LookUp()
{
    for (UINT nID : kStringIds) {
        CString strText;
        if (LoadLocalizedString(nID, strText) && strText.GetLength() > 4096)
            std::abort();  // longer than the lookup's buffer can hold
    }
    CString strText;
    QueryResourceValue(TableName(), u"String#104", nullptr);
    QueryResourceValue(TableName(), u"", &strText);
    HKEY hResources = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kResources, 0, KEY_READ, &hResources) == ERROR_SUCCESS) {
        ResetResolvedLanguage();
        CString strName;
        ResolveLanguage(&strName, hResources);
        ResolveLanguage(nullptr, hResources);
        RegCloseKey(hResources);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    setenv("QOR_REGISTRY_DIR", RegistryFolder().c_str(), 1);
    for (const char* pszVariable : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"})
        unsetenv(pszVariable);
    TableName();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cbData)
{
    qor::ResetRegistry();
    fuzz::EmptyFolder(RegistryFolder());
    ResetResolvedLanguage();
    unsetenv("QOR_TEST_TRMLX_LANGUAGES");
    if (cbData >= sizeof(kSqliteHeader) && std::memcmp(pData, kSqliteHeader, sizeof(kSqliteHeader)) == 0) {
        fuzz::WriteFile(RegistryFolder() / "HKLM.db", pData, cbData);
        setenv("QOR_TEST_TRMLX_LANGUAGES", "fr-FR:de-DE:en-US", 1);
    } else {
        fuzz::CByteReader in(pData, cbData);
        BuildStore(in);
    }
    LookUp();
    return 0;
}
