// A test as a host outside the project sees the control on Windows: the module beside the
// test program, registered for the length of the suite (the Wine prefix or the machine is the
// test's own), COM initialised, and a frame window with the child view window a site names.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

class ModuleHostTest : public ::testing::Test {
protected:
    // pszModulePath: the module's file name; it is found beside the test program.
    static void RegisterModule(const char* pszModulePath)
    {
        s_hModule = LoadLibraryA(pszModulePath);
        ASSERT_NE(nullptr, s_hModule);
        ASSERT_EQ(S_OK, CallExport("DllRegisterServer"));
        ASSERT_EQ(S_OK, CoInitialize(nullptr));
    }
    static void TearDownTestSuite()
    {
        CoUninitialize();
        EXPECT_EQ(S_OK, CallExport("DllUnregisterServer"));
        FreeLibrary(s_hModule);
        s_hModule = nullptr;
    }

    void SetUp() override
    {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = DefWindowProcW;
        wc.lpszClassName = L"ModuleHostFrame";
        RegisterClassExW(&wc);
        m_hWndFrame = CreateWindowExW(0, wc.lpszClassName, L"Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 600,
                                      nullptr, nullptr, nullptr, nullptr);
        m_hWndView = CreateWindowExW(0, wc.lpszClassName, L"", WS_CHILD | WS_VISIBLE, 0, 0, 640, 480, m_hWndFrame,
                                     nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, m_hWndView);
    }
    void TearDown() override { DestroyWindow(m_hWndFrame); }

    static HRESULT CallExport(const char* pszName)
    {
        auto pfn = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
            reinterpret_cast<void (*)()>(GetProcAddress(s_hModule, pszName)));
        return pfn != nullptr ? pfn() : HRESULT_FROM_WIN32(GetLastError());
    }

    HWND m_hWndFrame = nullptr;
    HWND m_hWndView = nullptr;
    static inline HMODULE s_hModule = nullptr;
};
