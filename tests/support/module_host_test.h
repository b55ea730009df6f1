// A test as a host outside the project sees the control: the module registered into a private
// registry, COM initialised, and a frame window with the child view window a site would name.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

class ModuleHostTest : public ::testing::Test {
protected:
    // pszModulePath: the module the test program was built with.
    static void RegisterModule(const char* pszModulePath)
    {
        char pattern[] = "/tmp/qor_module_host_XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        s_folder = pattern;
        setenv("QOR_REGISTRY_DIR", s_folder.c_str(), 1);
        s_hModule = LoadLibraryW(Widen(pszModulePath).c_str());
        ASSERT_NE(nullptr, s_hModule);
        auto pfnRegister = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(GetProcAddress(s_hModule, "DllRegisterServer"));
        ASSERT_NE(nullptr, pfnRegister);
        ASSERT_EQ(S_OK, pfnRegister());
        ASSERT_EQ(S_OK, CoInitialize(nullptr));
    }
    static void TearDownTestSuite()
    {
        CoUninitialize();
        FreeLibrary(s_hModule);
        s_hModule = nullptr;
        std::error_code ignored;
        std::filesystem::remove_all(s_folder, ignored);
    }

    void SetUp() override
    {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = DefWindowProcW;
        wc.lpszClassName = u"ModuleHostFrame";
        RegisterClassExW(&wc);
        m_hWndFrame = CreateWindowExW(0, wc.lpszClassName, u"Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 600,
                                      nullptr, nullptr, nullptr, nullptr);
        m_hWndView = CreateWindowExW(0, wc.lpszClassName, u"", WS_CHILD | WS_VISIBLE, 0, 0, 640, 480, m_hWndFrame,
                                     nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, m_hWndView);
    }
    void TearDown() override { DestroyWindow(m_hWndFrame); }

    static std::u16string Widen(const char* psz)
    {
        std::u16string text;
        for (; *psz != 0; ++psz)
            text += static_cast<char16_t>(static_cast<unsigned char>(*psz));
        return text;
    }

    HWND m_hWndFrame = nullptr;
    HWND m_hWndView = nullptr;
    static inline std::string s_folder;
    static inline HMODULE s_hModule = nullptr;
};
