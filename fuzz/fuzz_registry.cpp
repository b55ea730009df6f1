// The registry over a damaged hive file: the input is the database of one hive, which the
// target walks with the Reg* functions (every key and value, with buffers of every size) and
// writes into. Nothing may crash or hang; a write that reports success reads back the same.
//
// Input: the hive file, followed by 64 bytes (at the end) that choose the hive, the buffer
// sizes and the writes.
#include <fuzzer/FuzzedDataProvider.h>
#include <qor_registry.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "FuzzSupport.h"

namespace {

constexpr size_t kChoiceBytes = 64;
// A damaged file may hold a loop of keys, or many of them: the walk stops somewhere.
constexpr int kMaxDepth = 6;
constexpr int kMaxKeys = 256;
constexpr DWORD kMaxValuesPerKey = 64;

const std::filesystem::path& RegistryFolder()
{
    static const std::filesystem::path folder = fuzz::ScratchFolder() / "registry";
    return folder;
}

struct Walk {
    FuzzedDataProvider& choice;
    int nKeys = 0;
};

// A buffer size for a call: the full size that the key reported, or fewer bytes.
DWORD ChooseSize(FuzzedDataProvider& choice, DWORD cbFull)
{
    switch (choice.ConsumeIntegralInRange(0, 3)) {
    case 0:
        return 0;
    case 1:
        return cbFull > 0 ? cbFull - 1 : 0;
    default:
        return cbFull;
    }
}

void ReadValues(HKEY hKey, DWORD cValues, DWORD cchMaxName, DWORD cbMaxData, Walk& walk)
{
    for (DWORD dwIndex = 0; dwIndex < cValues && dwIndex < kMaxValuesPerKey; ++dwIndex) {
        // The sizes RegQueryInfoKeyW gave are enough for every value, as on Windows.
        std::vector<WCHAR> vecName(cchMaxName + 1);
        std::vector<BYTE> vecData(cbMaxData);
        DWORD cchName = static_cast<DWORD>(vecName.size()), cbData = cbMaxData, dwType = 0;
        const LSTATUS status = RegEnumValueW(hKey, dwIndex, vecName.data(), &cchName, nullptr, &dwType,
                                             vecData.empty() ? nullptr : vecData.data(), &cbData);
        if (status == ERROR_MORE_DATA)
            std::abort();  // the key's own maxima were too small
        if (status != ERROR_SUCCESS)
            continue;
        // The same value by name, into a buffer that may be too small.
        DWORD cbSmall = ChooseSize(walk.choice, cbData);
        std::vector<BYTE> vecSmall(cbSmall);
        RegQueryValueExW(hKey, vecName.data(), nullptr, &dwType, vecSmall.empty() ? nullptr : vecSmall.data(), &cbSmall);
        // Typed reads terminate strings within the caller's buffer.
        const DWORD rgFlags[] = {RRF_RT_ANY, RRF_RT_REG_SZ, RRF_RT_REG_MULTI_SZ, RRF_RT_DWORD, RRF_RT_QWORD,
                                 RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_ZEROONFAILURE};
        DWORD cbTyped = ChooseSize(walk.choice, cbData + 2);
        std::vector<BYTE> vecTyped(cbTyped);
        RegGetValueW(hKey, nullptr, vecName.data(), walk.choice.PickValueInArray(rgFlags), &dwType,
                     vecTyped.empty() ? nullptr : vecTyped.data(), &cbTyped);
    }
}

// A write that succeeded must read back as written.
void WriteAndReadBack(HKEY hKey, Walk& walk)
{
    const DWORD dwType = walk.choice.ConsumeIntegralInRange<DWORD>(REG_NONE, REG_QWORD);
    const std::vector<BYTE> vecData = walk.choice.ConsumeBytes<BYTE>(walk.choice.ConsumeIntegralInRange(0, 12));
    const WCHAR* pszName = walk.choice.ConsumeBool() ? u"Fuzz" : nullptr;
    if (RegSetValueExW(hKey, pszName, 0, dwType, vecData.data(), static_cast<DWORD>(vecData.size())) != ERROR_SUCCESS)
        return;
    std::vector<BYTE> vecRead(vecData.size() + 4);
    DWORD cbRead = static_cast<DWORD>(vecRead.size()), dwTypeRead = REG_NONE;
    const LSTATUS status = RegQueryValueExW(hKey, pszName, nullptr, &dwTypeRead, vecRead.data(), &cbRead);
    vecRead.resize(std::min<size_t>(cbRead, vecRead.size()));
    if (status != ERROR_SUCCESS || dwTypeRead != dwType || vecRead != vecData) {
        std::fprintf(stderr, "lost write: type %lu of %zu bytes written, read back %ld: type %lu of %lu bytes\n",
                     static_cast<unsigned long>(dwType), vecData.size(), static_cast<long>(status),
                     static_cast<unsigned long>(dwTypeRead), static_cast<unsigned long>(cbRead));
        std::abort();
    }
}

void WalkKey(HKEY hKey, int nDepth, Walk& walk)
{
    if (++walk.nKeys > kMaxKeys)
        return;
    DWORD cSubKeys = 0, cchMaxSubKey = 0, cValues = 0, cchMaxValueName = 0, cbMaxData = 0;
    FILETIME ftWritten{};
    if (RegQueryInfoKeyW(hKey, nullptr, nullptr, nullptr, &cSubKeys, &cchMaxSubKey, nullptr, &cValues,
                         &cchMaxValueName, &cbMaxData, nullptr, &ftWritten) != ERROR_SUCCESS)
        return;
    ReadValues(hKey, cValues, cchMaxValueName, cbMaxData, walk);
    if (walk.choice.ConsumeBool())
        WriteAndReadBack(hKey, walk);
    for (DWORD dwIndex = 0; dwIndex < cSubKeys && nDepth < kMaxDepth && walk.nKeys < kMaxKeys; ++dwIndex) {
        // A name buffer that may be one character short gives ERROR_MORE_DATA, never more.
        std::vector<WCHAR> vecName(cchMaxSubKey + 1);
        DWORD cchName = walk.choice.ConsumeBool() ? static_cast<DWORD>(vecName.size()) : cchMaxSubKey;
        if (RegEnumKeyExW(hKey, dwIndex, vecName.data(), &cchName, nullptr, nullptr, nullptr, &ftWritten) != ERROR_SUCCESS)
            continue;
        HKEY hSubKey = nullptr;
        const REGSAM samDesired = walk.choice.ConsumeBool() ? KEY_READ : KEY_ALL_ACCESS;
        if (RegOpenKeyExW(hKey, vecName.data(), 0, samDesired, &hSubKey) != ERROR_SUCCESS)
            continue;
        WalkKey(hSubKey, nDepth + 1, walk);
        if (walk.choice.ConsumeIntegralInRange(0, 7) == 0)
            RegDeleteTreeW(hSubKey, nullptr);
        RegCloseKey(hSubKey);
    }
    if (walk.choice.ConsumeIntegralInRange(0, 3) == 0) {
        HKEY hNew = nullptr;
        DWORD dwDisposition = 0;
        if (RegCreateKeyExW(hKey, u"Fuzz\\Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hNew, &dwDisposition) ==
            ERROR_SUCCESS) {
            WriteAndReadBack(hNew, walk);
            RegCloseKey(hNew);
            RegDeleteKeyW(hKey, u"Fuzz\\Child");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    setenv("QOR_REGISTRY_DIR", RegistryFolder().c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cbData)
{
    const size_t cbChoices = std::min(cbData, kChoiceBytes);
    FuzzedDataProvider choice(pData + cbData - cbChoices, cbChoices);
    qor::ResetRegistry();
    fuzz::EmptyFolder(RegistryFolder());
    const bool bMachine = choice.ConsumeBool();
    fuzz::WriteFile(RegistryFolder() / (bMachine ? "HKLM.db" : "HKCU.db"), pData, cbData - cbChoices);
    Walk walk{choice};
    for (HKEY hRoot : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT}) {
        walk.nKeys = 0;
        WalkKey(hRoot, 0, walk);
    }
    return 0;
}
