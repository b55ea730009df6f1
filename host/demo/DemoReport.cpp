// CDemoReport: pictures through the headless backend, one static HTML page.
#include "DemoReport.h"

#include <atlbase.h>
#include <oleauto.h>
#include <qorheadless.h>

#include <HostJob.h>
#include <HostPropertyBag.h>

#include <cstdio>
#include <fstream>

namespace {

std::string Narrow(LPCWSTR psz)
{
    const int cb = WideCharToMultiByte(CP_UTF8, 0, psz, -1, nullptr, 0, nullptr, nullptr);
    if (cb <= 1)
        return {};
    std::string text(static_cast<size_t>(cb), '\0');
    WideCharToMultiByte(CP_UTF8, 0, psz, -1, text.data(), cb, nullptr, nullptr);
    text.pop_back();
    return text;
}

std::string PairText(ULONG ulPair)
{
    return std::to_string(LOWORD(ulPair)) + " \u00d7 " + std::to_string(HIWORD(ulPair));
}

std::string HtmlEscape(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

}  // namespace

std::string DescribeBagValue(const VARIANT& value)
{
    std::vector<DWORD> vecPairs;
    if (value.vt == (VT_ARRAY | VT_UI4) && SUCCEEDED(HostReadFrameArray(value, vecPairs))) {
        std::string text = "[";
        for (size_t i = 0; i < vecPairs.size(); ++i)
            text += (i > 0 ? ", " : "") + PairText(vecPairs[i]);
        return text + "]";
    }
    if (value.vt == VT_UI4)
        return PairText(value.ulVal);
    if (value.vt == VT_BOOL)
        return value.boolVal ? "true" : "false";
    ATL::CComVariant text;
    if (FAILED(VariantChangeType(&text, &value, 0, VT_BSTR)))
        return "(vt " + std::to_string(value.vt) + ")";
    return Narrow(text.bstrVal);
}

CDemoReport::CDemoReport(const std::filesystem::path& folder) : m_folder(folder)
{
}

bool CDemoReport::AddStep(HWND hWndView, const std::string& strTitle, const std::string& strText,
                          const CHostPropertyBag& bag)
{
    char szName[32];
    std::snprintf(szName, sizeof(szName), "step%02zu.png", m_vecSteps.size() + 1);
    Step step{strTitle, strText, szName, {}};
    for (const ATL::CComBSTR& name : bag.KeyNames()) {
        const auto value = bag.GetValue(name);
        step.vecKeys.emplace_back(Narrow(name), value ? DescribeBagValue(*value) : "");
    }
    const bool bSaved = QorSaveWindowPng(hWndView, (m_folder / szName).string().c_str()) != FALSE;
    m_vecSteps.push_back(std::move(step));
    std::printf("  %-2zu %s\n", m_vecSteps.size(), strTitle.c_str());
    return bSaved;
}

bool CDemoReport::WritePage() const
{
    std::ofstream page(PagePath());
    page << "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>The scan preview control: a session</title>\n"
            "<style>body{font-family:sans-serif;max-width:1100px;margin:2em auto;color:#222}"
            "section{margin-bottom:3em}img{border:1px solid #888}table{border-collapse:collapse;font-size:90%}"
            "td{border-bottom:1px solid #ddd;padding:2px 8px;vertical-align:top}td:first-child{font-family:monospace}"
            ".step{display:flex;gap:2em;align-items:flex-start}</style></head><body>\n"
            "<h1>The scan preview control: a session</h1>\n"
            "<p>Each step shows the control's window as the user saw it, and the keys of the host's property bag "
            "after the step.</p>\n";
    for (size_t i = 0; i < m_vecSteps.size(); ++i) {
        const Step& step = m_vecSteps[i];
        page << "<section><h2>" << (i + 1) << ". " << HtmlEscape(step.strTitle) << "</h2>\n<p>"
             << HtmlEscape(step.strText) << "</p>\n<div class=\"step\"><img src=\"" << step.strPicture << "\" alt=\""
             << HtmlEscape(step.strTitle) << "\"><table>\n";
        for (const auto& [strKey, strValue] : step.vecKeys)
            page << "<tr><td>" << HtmlEscape(strKey) << "</td><td>" << HtmlEscape(strValue) << "</td></tr>\n";
        page << "</table></div></section>\n";
    }
    page << "</body></html>\n";
    return static_cast<bool>(page);
}
