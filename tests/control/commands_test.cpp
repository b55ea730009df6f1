// The commands of CGID_ScanControl as a host sends them through IOleCommandTarget: states,
// captions, refusals, what reaches the host's engine, the view made ready for scan data, and
// the paper warning before a feeder scan with the boot settings it stores.
#include <functional>
#include <optional>
#include <set>
#include <tuple>

#include <HostJob.h>
#include <HostMessage.h>
#include <qorheadless.h>

#include "control_test_support.h"

namespace {

using Texts = std::vector<std::string>;

const char16_t kAdfWarning[] = u"Please, check if paper is properly inserted before ADF scan starts";

class ControlCommands : public controltest::HostBagTest {
protected:
    HRESULT Exec(DWORD nCmdID)
    {
        return Query<IOleCommandTarget>()->Exec(&CGID_ScanControl, nCmdID, 0, nullptr, nullptr);
    }
    DWORD State(ULONG nCmdID)
    {
        OLECMD cmd = {nCmdID, 0xDEAD};
        EXPECT_EQ(S_OK, Query<IOleCommandTarget>()->QueryStatus(&CGID_ScanControl, 1, &cmd, nullptr));
        return cmd.cmdf;
    }
    void SetFlag(LPCOLESTR pszKey, bool bOn)
    {
        ASSERT_EQ(S_OK, m_pBag->SetValue(pszKey, ATL::CComVariant(bOn)));  // VT_BOOL
    }
    // A letter page with a crop of half its width, bound through Load; the engine is ready.
    void LoadLetterJob()
    {
        ASSERT_EQ(S_OK, HostFillLetterFlatbedJob(m_pBag, nullptr));
        ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_CROP, ATL::CComVariant(QorScanMakePair(4250, 11000))));
        ASSERT_TRUE(SUCCEEDED(Query<IPersistPropertyBag>()->Load(m_pBag, nullptr)));
        m_pBag->ClearCalls();
    }
};

// An OLECMDTEXT block as a caller allocates it, with room for 16 characters, all marked '#'.
class CommandText {
public:
    CommandText(DWORD dwFlags, ULONG cwBuf) : m_storage((sizeof(OLECMDTEXT) + 16 * sizeof(WCHAR)) / sizeof(DWORD))
    {
        text().cmdtextf = dwFlags;
        text().cwActual = 99;
        text().cwBuf = cwBuf;
        std::fill_n(text().rgwz, 16, u'#');
    }
    OLECMDTEXT& text() { return *reinterpret_cast<OLECMDTEXT*>(m_storage.data()); }
    std::u16string Chars(size_t nCount) { return std::u16string(text().rgwz, nCount); }

private:
    std::vector<DWORD> m_storage;
};

TEST_F(ControlCommands, QueryStatusRefusesBadArguments)
{
    auto spTarget = Query<IOleCommandTarget>();
    OLECMD cmds[2] = {{QORSCAN_CMDID_CANCEL, 0}, {QORSCAN_CMDID_ZOOM_IN, 0}};
    CommandText name(OLECMDTEXTF_NAME, 8);
    EXPECT_EQ(OLECMDERR_E_UNKNOWNGROUP, spTarget->QueryStatus(nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(E_POINTER, spTarget->QueryStatus(&CGID_ScanControl, 1, nullptr, nullptr));
    EXPECT_EQ(E_UNEXPECTED, spTarget->QueryStatus(&CGID_ScanControl, 2, cmds, &name.text()));
    CommandText empty(OLECMDTEXTF_NAME, 0);
    EXPECT_EQ(E_UNEXPECTED, spTarget->QueryStatus(&CGID_ScanControl, 1, cmds, &empty.text()));
    EXPECT_EQ(0u, cmds[0].cmdf) << "a refused query sets no state";
    EXPECT_EQ(OLECMDERR_E_UNKNOWNGROUP, spTarget->Exec(nullptr, QORSCAN_CMDID_ZOOM_IN, 0, nullptr, nullptr));
}

TEST_F(ControlCommands, CaptionsAreCutToTheBufferAndStatusIsOneCharacter)
{
    auto spTarget = Query<IOleCommandTarget>();
    OLECMD cmd = {QORSCAN_CMDID_CANCEL, 0};
    CommandText cut(OLECMDTEXTF_NAME, 4);
    ASSERT_EQ(S_OK, spTarget->QueryStatus(&CGID_ScanControl, 1, &cmd, &cut.text()));
    EXPECT_EQ(u"Can", cut.Chars(3));
    EXPECT_EQ(0, cut.text().rgwz[3]);
    EXPECT_EQ(u'#', cut.text().rgwz[4]) << "nothing written beyond cwBuf";
    EXPECT_EQ(6u, cut.text().cwActual);
    EXPECT_EQ(DWORD(OLECMDF_SUPPORTED), cmd.cmdf) << "no engine is busy";

    const struct {
        ULONG nCmdID;
        DWORD dwFlags;
        std::u16string expected;  // cwActual characters
    } cases[] = {
        {QORSCAN_CMDID_HOST_BACK, OLECMDTEXTF_NAME, u"Back"},
        {QORSCAN_CMDID_HOST_UPLOAD, OLECMDTEXTF_STATUS, std::u16string(1, char16_t(2014))},
        {QORSCAN_CMDID_CANCEL, OLECMDTEXTF_STATUS, u""},
        {3000, OLECMDTEXTF_NAME, u""},
    };
    for (const auto& c : cases) {
        OLECMD query = {c.nCmdID, 0};
        CommandText text(c.dwFlags, 16);
        ASSERT_EQ(S_OK, spTarget->QueryStatus(&CGID_ScanControl, 1, &query, &text.text())) << c.nCmdID;
        EXPECT_EQ(c.expected.size(), text.text().cwActual) << c.nCmdID;
        // "None" is an empty text: cwActual 0 and a NUL in the first character.
        const std::u16string expected = c.expected.empty() ? std::u16string(1, 0) : c.expected;
        EXPECT_EQ(expected, text.Chars(expected.size())) << c.nCmdID << " flags " << c.dwFlags;
        if (c.dwFlags == OLECMDTEXTF_STATUS && !c.expected.empty()) {
            EXPECT_EQ(u'#', text.text().rgwz[1]) << "no terminator after the status character";
        }
    }
}

TEST_F(ControlCommands, StatesFollowTheEngineAndTheView)
{
    // Sample shown, frames visible, zoom 0, upright, no bag: nothing initialised or busy.
    const std::pair<ULONG, DWORD> idle[] = {
        {2000, 0}, {2001, 3}, {2002, 3}, {2003, 3}, {2004, 17}, {2005, 3}, {2006, 3}, {2007, 17}, {2008, 0},
        {2009, 17}, {2010, 0}, {2204, 0}, {2205, 1}, {2206, 1}, {2207, 1}, {2208, 1}, {2209, 1}, {2210, 1},
        {2211, 3}, {2212, 1}, {2213, 3}, {2214, 3}, {2215, 3}, {2216, 3}, {2217, 1}, {2218, 0}};
    for (const auto& [nCmdID, cmdf] : idle)
        EXPECT_EQ(cmdf, State(nCmdID)) << nCmdID;
    EXPECT_EQ(OLECMDERR_E_DISABLED, Exec(QORSCAN_CMDID_HOST_CANCEL));
    EXPECT_EQ(OLECMDERR_E_NOTSUPPORTED, Exec(QORSCAN_CMDID_HOST_2001)) << "enabled, but the host's to carry out";
    EXPECT_EQ(OLECMDERR_E_NOTSUPPORTED, Exec(2100));
    EXPECT_EQ(OLECMDERR_E_DISABLED, Exec(QORSCAN_CMDID_PREVIEW));

    Bind();
    ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_INIT, ATL::CComVariant(1)));
    EXPECT_EQ(1u, State(QORSCAN_CMDID_PREVIEW)) << "only VARIANT_TRUE means initialised";
    SetFlag(QORSCAN_KEY_SCAN_INIT, true);
    SetFlag(QORSCAN_KEY_SCAN_BUSY, true);
    EXPECT_EQ(3u, State(QORSCAN_CMDID_PREVIEW)) << "the engine alone does not make the control busy";
    EXPECT_EQ(1u, State(QORSCAN_CMDID_CANCEL));
    m_pControl->m_bAutoCropPending = true;
    EXPECT_EQ(1u, State(QORSCAN_CMDID_PREVIEW));
    EXPECT_EQ(1u, State(QORSCAN_CMDID_HOST_2001));
    EXPECT_EQ(3u, State(QORSCAN_CMDID_CANCEL));
    EXPECT_EQ(3u, State(QORSCAN_CMDID_ZOOM_IN));
    m_pControl->m_bAutoCropPending = false;
    m_pControl->m_bPartialPreview = true;
    m_pControl->m_bSampleShown = false;
    for (ULONG nCmdID : {2205, 2209, 2211, 2213})
        EXPECT_EQ(1u, State(nCmdID)) << nCmdID;
    EXPECT_EQ(3u, State(QORSCAN_CMDID_CANCEL));
}

TEST_F(ControlCommands, ZoomStepsStopAtFiveAndZero)
{
    LoadLetterJob();
    m_pControl->m_nZoomStep = 4;
    EXPECT_EQ(S_OK, Exec(QORSCAN_CMDID_ZOOM_IN));
    EXPECT_EQ(5, m_pControl->m_nZoomStep);
    EXPECT_EQ(32.0, m_pControl->m_dZoom);
    EXPECT_EQ(OLECMDERR_E_DISABLED, Exec(QORSCAN_CMDID_ZOOM_IN));
    EXPECT_EQ(5, m_pControl->m_nZoomStep);
    m_pControl->m_nZoomStep = 1;
    EXPECT_EQ(S_OK, Exec(QORSCAN_CMDID_ZOOM_OUT));
    EXPECT_EQ(0, m_pControl->m_nZoomStep);
    EXPECT_EQ(1.0, m_pControl->m_dZoom);
    EXPECT_EQ(OLECMDERR_E_DISABLED, Exec(QORSCAN_CMDID_ZOOM_OUT));
}

TEST_F(ControlCommands, AutoCropKeysAreWrittenEvenWhenTheCropIsRefused)
{
    Bind();
    m_pControl->m_bSampleShown = false;
    EXPECT_EQ(S_OK, Exec(QORSCAN_CMDID_AUTOCROP_SINGLE));
    EXPECT_EQ((Texts{"Write scan.autocrop.multi = VT_I4 0", "Write scan.autocrop.single = VT_I4 1", "Read scan.init"}),
              m_pBag->CallTexts());
    EXPECT_FALSE(m_pControl->m_bAutoCropPending);
    EXPECT_TRUE(m_pControl->m_bFramesVisible);

    // The host may refuse the crop; the control waits for its result all the same.
    SetFlag(QORSCAN_KEY_SCAN_INIT, true);
    m_pBag->SetExecHandler(QORSCAN_CMDID_AUTOCROP, [](DWORD, VARIANT*, VARIANT*) { return E_FAIL; });
    m_pBag->ClearCalls();
    EXPECT_EQ(S_OK, Exec(QORSCAN_CMDID_AUTOCROP_MULTI));
    EXPECT_EQ((Texts{"Write scan.autocrop.multi = VT_I4 1", "Write scan.autocrop.single = VT_I4 0", "Read scan.init",
                     "Exec 2207"}),
              m_pBag->CallTexts());
    EXPECT_TRUE(m_pControl->m_bAutoCropPending);
    EXPECT_FALSE(m_pControl->m_bFramesVisible);
}

TEST_F(ControlCommands, PreviewAndScanPrepareTheViewOnlyWhenTheHostStarts)
{
    LoadLetterJob();
    m_pControl->m_nZoomStep = 3;
    m_pBag->SetExecHandler(QORSCAN_CMDID_PREVIEW, [](DWORD, VARIANT*, VARIANT*) { return E_FAIL; });
    EXPECT_EQ(S_OK, Exec(QORSCAN_CMDID_PREVIEW));
    EXPECT_EQ((Texts{"Read scan.init", "Exec 2205"}), m_pBag->CallTexts());
    EXPECT_TRUE(m_pControl->m_bFramesVisible);
    EXPECT_EQ(3, m_pControl->m_nZoomStep);
    EXPECT_EQ(nullptr, m_pControl->m_pLivePage);

    // The host gets the command as it was given.
    VARIANT* pvaOutSeen = nullptr;
    m_pBag->SetExecHandler(QORSCAN_CMDID_PREVIEW, [&](DWORD, VARIANT*, VARIANT* pvaOut) {
        pvaOutSeen = pvaOut;
        return S_OK;
    });
    ATL::CComVariant varIn(1), varOut;
    EXPECT_EQ(S_OK, Query<IOleCommandTarget>()->Exec(&CGID_ScanControl, QORSCAN_CMDID_PREVIEW,
                                                     OLECMDEXECOPT_DONTPROMPTUSER, &varIn, &varOut));
    EXPECT_EQ("Exec 2205 in = VT_I4 1", m_pBag->CallTexts().back());
    EXPECT_EQ(DWORD(OLECMDEXECOPT_DONTPROMPTUSER), m_pBag->Calls().back().dwOptions);
    EXPECT_EQ(&varOut, pvaOutSeen);
    EXPECT_FALSE(m_pControl->m_bFramesVisible);
    EXPECT_TRUE(m_pControl->m_bFitPage);
    EXPECT_EQ(0, m_pControl->m_nZoomStep);
    EXPECT_EQ(1.0, m_pControl->m_dZoom);
    EXPECT_TRUE(m_pControl->m_bRunning) << "the busy wheel";
    ASSERT_NE(nullptr, m_pControl->m_pLivePage);
    EXPECT_EQ(400u, m_pControl->m_pLivePage->GetWidth()) << "the client area";
    const RECT rcFit = m_pControl->m_rcFit;
    const RECT rcCropFit = m_pControl->m_rcCropFit;
    EXPECT_FLOAT_EQ(float(rcFit.bottom - rcFit.top) / float(rcFit.right - rcFit.left), m_pControl->m_fScanAspect);

    // The scan's aspect is the crop's, which differs from the page's.
    EXPECT_EQ(S_OK, Exec(QORSCAN_CMDID_SCAN));
    EXPECT_FALSE(m_pControl->m_bFitPage);
    EXPECT_FLOAT_EQ(float(rcCropFit.bottom - rcCropFit.top) / float(rcCropFit.right - rcCropFit.left),
                    m_pControl->m_fScanAspect);
    EXPECT_EQ(3u, m_pBag->CallsOf(HostBagCallKind::Exec).size()) << "2205 twice, then 2206";

    // Cancel stops the wheel and stays with the control.
    SetFlag(QORSCAN_KEY_SCAN_BUSY, true);
    m_pControl->m_bAutoCropPending = true;
    EXPECT_EQ(S_OK, Exec(QORSCAN_CMDID_CANCEL));
    EXPECT_FALSE(m_pControl->m_bRunning);
    EXPECT_EQ(3u, m_pBag->CallsOf(HostBagCallKind::Exec).size());
}

TEST_F(ControlCommands, ResetOrientationEndsUprightFromEveryOrientation)
{
    LoadLetterJob();
    const DWORD ops[] = {QORSCAN_CMDID_ROTATE_LEFT, QORSCAN_CMDID_ROTATE_RIGHT, QORSCAN_CMDID_MIRROR_HORIZONTAL,
                         QORSCAN_CMDID_MIRROR_VERTICAL};
    std::set<std::tuple<bool, bool, int>> reached;
    for (DWORD first : ops) {
        for (DWORD second : {DWORD(0), ops[0], ops[1], ops[2], ops[3]}) {
            for (DWORD op : {first, second}) {
                if (op != 0) {
                    ASSERT_EQ(S_OK, Exec(op)) << op;
                }
            }
            bool bMirrorV = false, bMirrorH = false;
            int nAngle = 0;
            m_pControl->GetOrientation(bMirrorV, bMirrorH, nAngle);
            reached.insert({bMirrorV, bMirrorH, nAngle});
            const bool bUpright = !bMirrorV && !bMirrorH && nAngle == 0;
            EXPECT_EQ(bUpright ? OLECMDERR_E_DISABLED : S_OK, Exec(QORSCAN_CMDID_RESET_ORIENTATION));
            m_pControl->GetOrientation(bMirrorV, bMirrorH, nAngle);
            EXPECT_FALSE(bMirrorV || bMirrorH || nAngle != 0) << first << " then " << second;
            EXPECT_EQ(1u, State(QORSCAN_CMDID_RESET_ORIENTATION));
        }
    }
    EXPECT_EQ(8u, reached.size()) << "every orientation was tried";
    EXPECT_EQ(ATL::CComVariant(0), m_pBag->GetValue(QORSCAN_KEY_SCAN_ROTATE));
    EXPECT_EQ(ATL::CComVariant(QorScanMakePair(0, 0)), m_pBag->GetValue(QORSCAN_KEY_SCAN_FLIP));
}

// --- The paper warning

// What the host's message object saw of each "DoMessage".
struct MessageCall {
    HWND hWnd;
    std::u16string text;
    UINT uType;
};

// The host's message object registered in this process, answering nAnswer and recording.
struct MessageObjectRegistration {
    MessageObjectRegistration()
        : registration([this](HWND hWnd, LPCWSTR pszText, UINT uType, LONG* pnAnswer) {
              calls.push_back({hWnd, pszText, uType});
              *pnAnswer = nAnswer;
              if (during)
                  during();
              return IDOK;
          })
    {
        EXPECT_EQ(S_OK, registration.Result());
    }

    LONG nAnswer = 1;
    std::function<void()> during;  // what the host does while its message is shown
    std::vector<MessageCall> calls;
    CHostMessageClass registration;
};

struct BoxCall {
    std::u16string text;
    std::u16string caption;
    UINT uType;
};

int CALLBACK RecordBox(HWND, LPCWSTR pszText, LPCWSTR pszCaption, UINT uType, void* pContext)
{
    static_cast<std::vector<BoxCall>*>(pContext)->push_back({pszText, pszCaption, uType});
    return IDOK;
}

constexpr WCHAR kBootKey[] = u"SOFTWARE\\Velmora\\Scrivane\\Boot";

// A value of the boot key: its type and bytes, or nothing when it is absent.
std::optional<std::pair<DWORD, std::vector<BYTE>>> BootValue(LPCWSTR pszName)
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kBootKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD dwType = 0;
    std::vector<BYTE> data(64);
    DWORD cbData = static_cast<DWORD>(data.size());
    const LSTATUS status = RegQueryValueExW(hKey, pszName, nullptr, &dwType, data.data(), &cbData);
    RegCloseKey(hKey);
    if (status != ERROR_SUCCESS)
        return std::nullopt;
    data.resize(cbData);
    return std::make_pair(dwType, data);
}

std::pair<DWORD, std::vector<BYTE>> Dword(DWORD dwValue)
{
    const BYTE* p = reinterpret_cast<const BYTE*>(&dwValue);
    return {REG_DWORD, std::vector<BYTE>(p, p + sizeof dwValue)};
}

class PaperWarning : public ControlCommands {
protected:
    void SetUp() override
    {
        ControlCommands::SetUp();
        RegDeleteTreeW(HKEY_CURRENT_USER, kBootKey);
        LoadLetterJob();
        m_hWnd = nullptr;
        ASSERT_EQ(S_OK, Query<IOleWindow>()->GetWindow(&m_hWnd));
        QorSetMessageBoxHandler(RecordBox, &m_boxes);
    }
    void TearDown() override
    {
        QorSetMessageBoxHandler(nullptr, nullptr);
        ControlCommands::TearDown();
    }
    void SetSource(LONG nSource)
    {
        ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_SOUR, ATL::CComVariant(nSource)));
    }

    HWND m_hWnd = nullptr;
    std::vector<BoxCall> m_boxes;
};

TEST_F(PaperWarning, FeederScansAskTheHostsMessageObjectAndKeepTheBootKeys)
{
    MessageObjectRegistration messages;
    ASSERT_EQ(S_OK, m_pBag->SetValue(u"boot.name", ATL::CComVariant(u"ab")));
    ASSERT_EQ(S_OK, m_pBag->SetValue(u"boot.count", ATL::CComVariant(7)));
    ASSERT_EQ(S_OK, m_pBag->SetValue(u"boot.flag", ATL::CComVariant(true)));
    ASSERT_EQ(S_OK, m_pBag->SetValue(u"Boot.other", ATL::CComVariant(5)));

    SetSource(1);  // the flatbed
    EXPECT_EQ(S_OK, Exec(QORSCAN_CMDID_SCAN));
    EXPECT_TRUE(messages.calls.empty());
    EXPECT_FALSE(m_pBag->GetValue(QORSCAN_KEY_BOOT_ADF_HIDE).has_value());
    EXPECT_FALSE(BootValue(u"boot.name").has_value());

    SetSource(3);
    EXPECT_EQ(S_OK, Exec(QORSCAN_CMDID_SCAN));
    ASSERT_EQ(1u, messages.calls.size());
    const MessageCall& call = messages.calls[0];
    EXPECT_EQ(m_hWnd, call.hWnd);
    EXPECT_EQ(kAdfWarning, call.text);
    EXPECT_EQ(ULONG(MB_OK), call.uType);
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_EQ(ATL::CComVariant(ULONG(1)), m_pBag->GetValue(QORSCAN_KEY_BOOT_ADF_HIDE)) << "the object's answer";
    EXPECT_EQ(Dword(1), BootValue(u"boot.adf.hide"));
    EXPECT_EQ(Dword(7), BootValue(u"boot.count"));
    EXPECT_EQ((std::make_pair(DWORD(REG_SZ), std::vector<BYTE>{'a', 0, 'b', 0})), BootValue(u"boot.name"))
        << "the text without its terminator";
    EXPECT_FALSE(BootValue(u"boot.flag").has_value());
    EXPECT_FALSE(BootValue(u"Boot.other").has_value()) << "the prefix is case-sensitive";
    EXPECT_EQ(2u, m_pBag->CallsOf(HostBagCallKind::Exec).size()) << "both scans reached the host";

    // The user asked not to be warned again.
    EXPECT_EQ(S_OK, Exec(QORSCAN_CMDID_SCAN));
    EXPECT_EQ(1u, messages.calls.size());
}

TEST_F(PaperWarning, WithoutAUsableMessageObjectTheBoxIsShown)
{
    SetSource(2);
    EXPECT_EQ(S_OK, Exec(QORSCAN_CMDID_SCAN));
    ASSERT_EQ(1u, m_boxes.size());
    EXPECT_EQ(kAdfWarning, m_boxes[0].text);
    EXPECT_EQ(u"Scrivane", m_boxes[0].caption) << "the product name of the module's version resource";
    EXPECT_EQ(UINT(MB_OK), m_boxes[0].uType);
    EXPECT_EQ(ATL::CComVariant(ULONG(0)), m_pBag->GetValue(QORSCAN_KEY_BOOT_ADF_HIDE));
    EXPECT_EQ(Dword(0), BootValue(u"boot.adf.hide"));

    // The answer 0 asked for nothing: the warning comes again, now through the host's object.
    MessageObjectRegistration messages;
    messages.nAnswer = 0;
    SetSource(4);
    EXPECT_EQ(S_OK, Exec(QORSCAN_CMDID_SCAN));
    EXPECT_EQ(1u, m_boxes.size());
    EXPECT_EQ(1u, messages.calls.size());
    EXPECT_EQ(ATL::CComVariant(ULONG(0)), m_pBag->GetValue(QORSCAN_KEY_BOOT_ADF_HIDE));
}

// The message is modal; a host that unbinds meanwhile used to leave the control writing the
// answer through a bag pointer it no longer held.
TEST_F(PaperWarning, AHostThatUnbindsDuringTheWarningStillGetsTheAnswer)
{
    MessageObjectRegistration messages;
    messages.during = [this] { Query<IPersistPropertyBag>()->Load(nullptr, nullptr); };
    SetSource(3);
    EXPECT_EQ(S_OK, Exec(QORSCAN_CMDID_SCAN));
    EXPECT_EQ(1u, messages.calls.size());
    EXPECT_EQ(ATL::CComVariant(ULONG(1)), m_pBag->GetValue(QORSCAN_KEY_BOOT_ADF_HIDE));
    EXPECT_EQ(Dword(1), BootValue(u"boot.adf.hide"));
    EXPECT_TRUE(m_pBag->CallsOf(HostBagCallKind::Exec).empty()) << "no bag was left to start the scan";
    EXPECT_EQ(nullptr, m_pControl->m_pLivePage);
}

using CommandsWithoutWindow = controltest::ControlTest;

TEST_F(CommandsWithoutWindow, ViewCommandsNeedNeitherWindowNorBag)
{
    auto spTarget = Query<IOleCommandTarget>();
    const std::pair<DWORD, HRESULT> steps[] = {
        {QORSCAN_CMDID_ZOOM_IN, S_OK},      {QORSCAN_CMDID_ZOOM_OUT, S_OK},
        {QORSCAN_CMDID_ROTATE_LEFT, S_OK},  {QORSCAN_CMDID_MIRROR_VERTICAL, S_OK},
        {QORSCAN_CMDID_RESET_ORIENTATION, S_OK}, {QORSCAN_CMDID_RESET_ORIENTATION, OLECMDERR_E_DISABLED},
        {QORSCAN_CMDID_CANCEL, OLECMDERR_E_DISABLED}, {QORSCAN_CMDID_AUTOCROP_SINGLE, OLECMDERR_E_DISABLED},
    };
    for (const auto& [nCmdID, hr] : steps)
        EXPECT_EQ(hr, spTarget->Exec(&CGID_ScanControl, nCmdID, 0, nullptr, nullptr)) << nCmdID;
    EXPECT_EQ(0, m_pControl->m_nZoomStep);
}

}  // namespace
