#include "ScanWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDesktopServices>
#include <QDockWidget>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include <EngineImage.h>
#include <HostJob.h>
#include <WindowHostWidget.h>

#include "Icons.h"
#include "SettingsPanel.h"

#include <docobj.h>

namespace {

// A close asked for while a modal loop or the feeder warning runs is tried again this soon.
constexpr int kCloseRetryMs = 30;

struct CommandInfo {
    DWORD nCmdID;
    const char* pszText;
    const char* pszTip;
    IconKind icon;
    QKeySequence shortcut;
};

const std::vector<CommandInfo>& Commands()
{
    static const std::vector<CommandInfo> vecCommands{
        {QORSCAN_CMDID_PREVIEW, "&Preview", "Scan the whole bed quickly to see what is on it", IconKind::Preview,
         QKeySequence(Qt::Key_F5)},
        {QORSCAN_CMDID_SCAN, "&Scan", "Scan the frames at the chosen resolution and save them", IconKind::Scan,
         QKeySequence(Qt::CTRL | Qt::Key_Return)},
        {QORSCAN_CMDID_CANCEL, "&Cancel", "Stop the scanner", IconKind::Cancel, QKeySequence(Qt::Key_Escape)},
        {QORSCAN_CMDID_AUTOCROP_SINGLE, "&Automatic crop", "One frame around everything on the bed",
         IconKind::AutoCrop, QKeySequence(Qt::CTRL | Qt::Key_K)},
        {QORSCAN_CMDID_AUTOCROP_MULTI, "Crop each &photo", "One frame around each photo on the bed",
         IconKind::CropPhotos, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_K)},
        {QORSCAN_CMDID_ZOOM_IN, "Zoom &in", "Show the page larger", IconKind::ZoomIn, QKeySequence::ZoomIn},
        {QORSCAN_CMDID_ZOOM_OUT, "Zoom &out", "Show the page smaller", IconKind::ZoomOut, QKeySequence::ZoomOut},
        {QORSCAN_CMDID_ROTATE_LEFT, "Rotate &left", "Turn the page a quarter turn to the left", IconKind::RotateLeft,
         QKeySequence(Qt::CTRL | Qt::Key_L)},
        {QORSCAN_CMDID_ROTATE_RIGHT, "Rotate &right", "Turn the page a quarter turn to the right",
         IconKind::RotateRight, QKeySequence(Qt::CTRL | Qt::Key_R)},
        {QORSCAN_CMDID_MIRROR_HORIZONTAL, "Mirror left to &right", "Mirror the page left to right",
         IconKind::MirrorHorizontal, QKeySequence(Qt::CTRL | Qt::Key_M)},
        {QORSCAN_CMDID_MIRROR_VERTICAL, "Mirror top to &bottom", "Mirror the page top to bottom",
         IconKind::MirrorVertical, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M)},
        {QORSCAN_CMDID_RESET_ORIENTATION, "Reset &orientation", "Undo every turn and mirror",
         IconKind::ResetOrientation, QKeySequence(Qt::CTRL | Qt::Key_0)},
    };
    return vecCommands;
}

VARIANT IntVariant(int nValue)
{
    VARIANT var;
    VariantInit(&var);
    var.vt = VT_I4;
    var.lVal = nValue;
    return var;
}

// Frames as the bag holds them: two arrays of pairs.
void WriteFrames(CHostPropertyBag* pBag, const std::vector<RECT>& vecFrames)
{
    std::vector<DWORD> vecPos, vecSize;
    for (const RECT& rc : vecFrames) {
        vecPos.push_back(QorScanMakePair(static_cast<DWORD>(rc.left), static_cast<DWORD>(rc.top)));
        vecSize.push_back(QorScanMakePair(static_cast<DWORD>(rc.right - rc.left), static_cast<DWORD>(rc.bottom - rc.top)));
    }
    ATL::CComVariant varPos, varSize;
    if (SUCCEEDED(HostMakeFrameArray(vecPos, &varPos)) && SUCCEEDED(HostMakeFrameArray(vecSize, &varSize))) {
        pBag->SetValue(QORSCAN_KEY_SCAN_MULTIPOS_ARRAY, varPos);
        pBag->SetValue(QORSCAN_KEY_SCAN_MULTICROP_ARRAY, varSize);
    }
}

}  // namespace

CScanWindow::CScanWindow(const ScanWindowOptions& options, QWidget* pParent)
    : QMainWindow(pParent), m_settings(AppSettings::Load()), m_options(options)
{
    setWindowTitle(QStringLiteral("QORScan"));
    setWindowIcon(MakeIcon(IconKind::Application));
    m_pView = new CWindowHostWidget;
    m_pView->setObjectName(QStringLiteral("preview"));
    setCentralWidget(m_pView);
    m_pPanel = new CSettingsPanel(m_settings);
    auto* pDock = new QDockWidget(QStringLiteral("Scan settings"));
    pDock->setObjectName(QStringLiteral("settingsDock"));
    pDock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    pDock->setWidget(m_pPanel);
    addDockWidget(Qt::RightDockWidgetArea, pDock);
    BuildActions();
    BuildMenusAndToolbar();
    BuildStatusBar();
    resize(1180, 820);

    connect(m_pView, &CWindowHostWidget::zoomRequested, this, [this](int nSteps) {
        for (int i = 0; i < std::abs(nSteps); ++i)
            RunCommand(nSteps > 0 ? QORSCAN_CMDID_ZOOM_IN : QORSCAN_CMDID_ZOOM_OUT);
    });
    connect(m_pPanel, &CSettingsPanel::jobChanged, this, &CScanWindow::WriteJobSettings);
    connect(m_pPanel, &CSettingsPanel::deviceChanged, this, &CScanWindow::ChangeDevice);
    connect(m_pPanel, &CSettingsPanel::refreshDevices, this, &CScanWindow::ListDevices);
    connect(m_pPanel, &CSettingsPanel::unitsChanged, this, [this] { m_pPanel->ShowFrames(m_session.Frames()); });
    connect(&m_session, &CScanSession::previewProgress, this, &CScanWindow::ShowProgress);
    connect(&m_session, &CScanSession::engineError, this, &CScanWindow::ShowError);
    connect(&m_session, &CScanSession::jobEnded, this, &CScanWindow::OnJobEnded);
    connect(&m_session, &CScanSession::notified, this, &CScanWindow::RefreshActions);
    connect(&m_session, &CScanSession::scanEnded, this, &CScanWindow::RefreshActions);
    connect(&m_session, &CScanSession::framesReported, this, [this] {
        m_pPanel->ShowFrames(m_session.Frames());
        RefreshActions();
    });

    StartSession(options);
    if (options.bListDevices)
        ListDevices();
}

CScanWindow::~CScanWindow()
{
    m_session.Stop();
}

void CScanWindow::BuildActions()
{
    for (const CommandInfo& info : Commands()) {
        auto* pAction = new QAction(MakeIcon(info.icon), QString::fromUtf8(info.pszText), this);
        pAction->setToolTip(QStringLiteral("%1 (%2)").arg(QString::fromUtf8(info.pszTip),
                                                          info.shortcut.toString(QKeySequence::NativeText)));
        pAction->setStatusTip(QString::fromUtf8(info.pszTip));
        pAction->setShortcut(info.shortcut);
        pAction->setData(static_cast<uint>(info.nCmdID));
        const DWORD nCmdID = info.nCmdID;
        connect(pAction, &QAction::triggered, this, [this, nCmdID] { RunCommand(nCmdID); });
        m_actions[info.nCmdID] = pAction;
    }
    m_pOpenFolder = new QAction(MakeIcon(IconKind::Folder), QStringLiteral("Open the &folder of the scans"), this);
    m_pOpenFolder->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(m_pOpenFolder, &QAction::triggered, this, [this] {
        m_pPanel->Store(&m_settings);
        QDesktopServices::openUrl(QUrl::fromLocalFile(m_settings.strOutputFolder));
    });
    m_pQuit = new QAction(QStringLiteral("&Quit"), this);
    m_pQuit->setShortcut(QKeySequence::Quit);
    connect(m_pQuit, &QAction::triggered, this, &QWidget::close);
}

QAction* CScanWindow::CommandAction(DWORD nCmdID) const
{
    auto it = m_actions.find(nCmdID);
    return it == m_actions.end() ? nullptr : it->second;
}

void CScanWindow::BuildMenusAndToolbar()
{
    auto action = [this](DWORD nCmdID) { return m_actions.at(nCmdID); };
    QMenu* pFile = menuBar()->addMenu(QStringLiteral("&File"));
    pFile->addAction(m_pOpenFolder);
    pFile->addSeparator();
    pFile->addAction(m_pQuit);
    QMenu* pScan = menuBar()->addMenu(QStringLiteral("&Scan"));
    for (DWORD nCmdID : {QORSCAN_CMDID_PREVIEW, QORSCAN_CMDID_SCAN, QORSCAN_CMDID_CANCEL})
        pScan->addAction(action(nCmdID));
    pScan->addSeparator();
    pScan->addAction(action(QORSCAN_CMDID_AUTOCROP_SINGLE));
    pScan->addAction(action(QORSCAN_CMDID_AUTOCROP_MULTI));
    QMenu* pView = menuBar()->addMenu(QStringLiteral("&View"));
    for (DWORD nCmdID : {QORSCAN_CMDID_ZOOM_IN, QORSCAN_CMDID_ZOOM_OUT})
        pView->addAction(action(nCmdID));
    QMenu* pPage = menuBar()->addMenu(QStringLiteral("&Page"));
    for (DWORD nCmdID : {QORSCAN_CMDID_ROTATE_LEFT, QORSCAN_CMDID_ROTATE_RIGHT, QORSCAN_CMDID_MIRROR_HORIZONTAL,
                         QORSCAN_CMDID_MIRROR_VERTICAL, QORSCAN_CMDID_RESET_ORIENTATION})
        pPage->addAction(action(nCmdID));

    QToolBar* pBar = addToolBar(QStringLiteral("Commands"));
    pBar->setObjectName(QStringLiteral("commands"));
    pBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    pBar->setIconSize(QSize(32, 32));
    for (DWORD nCmdID : {QORSCAN_CMDID_PREVIEW, QORSCAN_CMDID_SCAN, QORSCAN_CMDID_CANCEL})
        pBar->addAction(action(nCmdID));
    pBar->addSeparator();
    pBar->addAction(action(QORSCAN_CMDID_AUTOCROP_SINGLE));
    pBar->addAction(action(QORSCAN_CMDID_AUTOCROP_MULTI));
    pBar->addSeparator();
    for (DWORD nCmdID : {QORSCAN_CMDID_ZOOM_IN, QORSCAN_CMDID_ZOOM_OUT, QORSCAN_CMDID_ROTATE_LEFT,
                         QORSCAN_CMDID_ROTATE_RIGHT, QORSCAN_CMDID_MIRROR_HORIZONTAL, QORSCAN_CMDID_MIRROR_VERTICAL,
                         QORSCAN_CMDID_RESET_ORIENTATION})
        pBar->addAction(action(nCmdID));
}

void CScanWindow::BuildStatusBar()
{
    m_pMessage = new QLabel;
    m_pMessage->setObjectName(QStringLiteral("message"));
    m_pProgress = new QProgressBar;
    m_pProgress->setObjectName(QStringLiteral("progress"));
    m_pProgress->setMaximumWidth(260);
    m_pProgress->setVisible(false);
    statusBar()->addWidget(m_pMessage, 1);
    statusBar()->addPermanentWidget(m_pProgress);
}

void CScanWindow::StartSession(const ScanWindowOptions& options)
{
    CScanSession::Options session;
    session.strModulePath = options.strModulePath;
    session.strDevice = m_settings.strDevice.toStdString();
    session.strSaneConfig = options.strSaneConfig;
    session.strSceneFile = options.strSceneFile;
    session.strTempFolder = m_tempFolder.path().toStdString();
    session.nPartialPauseMs = options.nPartialPauseMs;
    session.fnFillJob = [this](CHostPropertyBag* pBag) { FillJob(pBag); };
    auto handler = [this](HWND, LPCWSTR pszText, UINT, LONG* pnAnswer) {
        return AskFeederWarning(QString::fromUtf16(pszText), pnAnswer);
    };
    if (!m_session.Start(m_pView->ViewWindow(), session, handler, &m_strStartError)) {
        m_session.Stop();
        m_pMessage->setText(m_strStartError);
        return;
    }
    m_pView->PumpNow();
    m_pPanel->ShowFrames(m_session.Frames());
    m_pMessage->setText(QStringLiteral("Press Preview to see what is on the scanner."));
    RefreshActions();
}

// The job keys of the settings, before the control binds the bag; the last frames too, so that
// the control starts with them.
void CScanWindow::FillJob(CHostPropertyBag* pBag)
{
    const QSize sizePage = PageSizeOf(m_settings.page, m_sizeBed);
    pBag->SetValue(QORSCAN_KEY_SCAN_TYPE, IntVariant(m_settings.nMode));
    pBag->SetValue(QORSCAN_KEY_SCAN_RESO, IntVariant(m_settings.nResolution));
    pBag->SetValue(QORSCAN_KEY_SCAN_SOUR, IntVariant(m_settings.nSource));
    pBag->SetValue(QORSCAN_KEY_SCAN_SIZE, QorScanPairVariant(sizePage.width(), sizePage.height()));
    pBag->SetValue(QORSCAN_KEY_SCAN_CROP, QorScanPairVariant(sizePage.width(), sizePage.height()));
    std::vector<RECT> vecFrames;
    const RECT rcPage{0, 0, sizePage.width(), sizePage.height()};
    for (const RECT& rc : m_settings.vecFrames) {
        RECT rcInside;
        if (IntersectRect(&rcInside, &rc, &rcPage) && EqualRect(&rcInside, &rc))
            vecFrames.push_back(rc);
    }
    if (!vecFrames.empty())
        WriteFrames(pBag, vecFrames);
}

// A setting of the panel into the bag; the bag tells the control of the keys it follows.
void CScanWindow::WriteJobSettings()
{
    const AppSettings before = m_settings;
    m_pPanel->Store(&m_settings);
    if (!m_session.IsStarted())
        return;
    m_session.WriteKey(QORSCAN_KEY_SCAN_TYPE, IntVariant(m_settings.nMode));
    m_session.WriteKey(QORSCAN_KEY_SCAN_RESO, IntVariant(m_settings.nResolution));
    m_session.WriteKey(QORSCAN_KEY_SCAN_SOUR, IntVariant(m_settings.nSource));
    if (before.page != m_settings.page) {
        const QSize sizePage = PageSizeOf(m_settings.page, m_sizeBed);
        m_session.WriteKey(QORSCAN_KEY_SCAN_SIZE, QorScanPairVariant(sizePage.width(), sizePage.height()));
        m_session.WriteKey(QORSCAN_KEY_SCAN_POS, QorScanPairVariant(0, 0));
        m_session.WriteKey(QORSCAN_KEY_SCAN_CROP, QorScanPairVariant(sizePage.width(), sizePage.height()));
    }
    m_pView->PumpNow();
    m_pPanel->ShowFrames(m_session.Frames());
    RefreshActions();
}

void CScanWindow::ChangeDevice()
{
    m_pPanel->Store(&m_settings);
    if (!m_session.IsStarted())
        return;
    QString strError;
    if (!m_session.ChangeDevice(m_settings.strDevice.toStdString(), &strError))
        ShowError(strError);
    else
        m_pMessage->setText(QStringLiteral("Device: %1").arg(m_pPanel->DeviceBox()->currentText()));
    RefreshActions();
}

// SANE may take seconds to find networked scanners: it looks on a thread of its own, and the
// engine does not start while it looks.
void CScanWindow::ListDevices()
{
    if (m_bListing || m_session.IsBusy())
        return;
    m_bListing = true;
    m_pPanel->SetListing(true);
    RefreshActions();
    const std::string strConfig = m_options.strSaneConfig;
    QThread* pThread = QThread::create([this, strConfig] {
        std::vector<SaneDeviceInfo> vecDevices = CSaneDevice::List(strConfig);
        QMetaObject::invokeMethod(this, [this, vecDevices] {
            m_bListing = false;
            m_pPanel->SetListing(false);
            m_pPanel->SetDevices(vecDevices);
            RefreshActions();
        }, Qt::QueuedConnection);
    });
    connect(pThread, &QThread::finished, pThread, &QObject::deleteLater);
    connect(this, &QObject::destroyed, pThread, [pThread] { pThread->wait(); });
    pThread->start();
}

void CScanWindow::RunCommand(DWORD nCmdID)
{
    // A drag of the view holds the window system's messages: commands wait for it to end.
    if (CWindowHostWidget::InModalLoop() || !m_session.IsStarted())
        return;
    if (nCmdID == QORSCAN_CMDID_PREVIEW || nCmdID == QORSCAN_CMDID_SCAN) {
        if (m_bListing)
            return;
        m_pPanel->Store(&m_settings);
        m_pProgress->setValue(0);
        m_pProgress->setVisible(true);
        m_pMessage->setText(nCmdID == QORSCAN_CMDID_PREVIEW ? QStringLiteral("Scanning a preview…")
                                                            : QStringLiteral("Scanning…"));
    }
    const HRESULT hr = m_session.Exec(nCmdID);
    if ((nCmdID == QORSCAN_CMDID_PREVIEW || nCmdID == QORSCAN_CMDID_SCAN) && !m_session.IsBusy()) {
        m_pProgress->setVisible(false);
        if (FAILED(hr))
            m_pMessage->setText(QStringLiteral("The scanner did not start."));
        else if (m_pWarning == nullptr)
            m_pMessage->clear();
    }
    if (nCmdID == QORSCAN_CMDID_CANCEL)
        m_pMessage->setText(QStringLiteral("Cancelled."));
    m_pView->PumpNow();
    RefreshActions();
}

void CScanWindow::RefreshActions()
{
    const bool bBusy = m_session.IsBusy();
    for (const auto& [nCmdID, pAction] : m_actions) {
        QString strCaption;
        const DWORD dwFlags = m_session.QueryStatus(nCmdID, &strCaption);
        bool bEnabled = (dwFlags & OLECMDF_ENABLED) != 0;
        if ((nCmdID == QORSCAN_CMDID_PREVIEW || nCmdID == QORSCAN_CMDID_SCAN) && m_bListing)
            bEnabled = false;
        // The engine is the host's: Cancel is there while it works, whatever the wheel does.
        if (nCmdID == QORSCAN_CMDID_CANCEL)
            bEnabled = bEnabled || bBusy;
        pAction->setEnabled(bEnabled);
        pAction->setVisible((dwFlags & OLECMDF_INVISIBLE) == 0);
        pAction->setChecked((dwFlags & OLECMDF_LATCHED) != 0);
        if (!strCaption.isEmpty())
            pAction->setIconText(strCaption);
    }
    m_pPanel->SetBusy(bBusy || m_bListing);
}

void CScanWindow::ShowProgress(int nHundredths)
{
    const ScanEngineArea area = m_session.Engine() != nullptr ? m_session.Engine()->LastArea() : ScanEngineArea();
    const int nRows = static_cast<int>(static_cast<long long>(area.rcPage.bottom - area.rcPage.top) * area.nDpi / 1000);
    m_pProgress->setVisible(true);
    if (nRows > 0) {
        m_pProgress->setMaximum(nRows);
        m_pProgress->setValue(std::min(nRows, nRows * nHundredths / 100));
        m_pProgress->setFormat(QStringLiteral("%v of %m rows"));
    } else {
        m_pProgress->setMaximum(100);
        m_pProgress->setValue(nHundredths);
        m_pProgress->setFormat(QStringLiteral("%p%"));
    }
}

void CScanWindow::OnJobEnded(CScanSession::Job job)
{
    m_pProgress->setVisible(false);
    switch (job) {
    case CScanSession::Job::Preview:
        m_pMessage->setText(QStringLiteral("Draw a frame around each part to scan, or let Crop each photo find them; "
                                           "then press Scan."));
        break;
    case CScanSession::Job::Scan:
        SavePhotos();
        break;
    case CScanSession::Job::AutoCrop: {
        const size_t nFrames = m_session.Frames().size();
        m_pMessage->setText(nFrames == 1 ? QStringLiteral("One frame.") : QStringLiteral("%1 frames.").arg(nFrames));
        break;
    }
    case CScanSession::Job::None:
        break;
    }
    m_pPanel->ShowFrames(m_session.Frames());
    RefreshActions();
}

void CScanWindow::SavePhotos()
{
    ScanEngineArea area;
    std::shared_ptr<const CEngineImage> pImage =
        m_session.Engine() != nullptr ? m_session.Engine()->LastScanImage(&area) : nullptr;
    if (pImage == nullptr)
        return;  // the scan ended without an image (an error or a cancel said why)
    m_pPanel->Store(&m_settings);
    PageOrientation orientation;
    m_session.Orientation(&orientation.bMirrorV, &orientation.bMirrorH, &orientation.nDegrees);
    QString strError;
    const QString strBase = QStringLiteral("scan-%1").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    m_lastSaved = SaveFrames(*pImage, area, m_session.Frames(), orientation, m_settings.format,
                             m_settings.strOutputFolder, strBase, &strError);
    if (!strError.isEmpty())
        ShowError(strError);
    if (!m_lastSaved.isEmpty()) {
        const QString strText = m_lastSaved.size() == 1 ? QStringLiteral("Saved %1.").arg(m_lastSaved.first())
                                                        : QStringLiteral("Saved %1 photos in %2.")
                                                              .arg(m_lastSaved.size())
                                                              .arg(m_settings.strOutputFolder);
        m_pMessage->setText(strText);
        m_pPanel->ShowLastSaved(QStringLiteral("%1 <a href=\"%2\">Open the folder</a>")
                                    .arg(strText.toHtmlEscaped(),
                                         QUrl::fromLocalFile(m_settings.strOutputFolder).toString()));
    }
    emit photosSaved(m_lastSaved);
}

void CScanWindow::ShowError(const QString& strText)
{
    m_pProgress->setVisible(false);
    m_pMessage->setText(QStringLiteral("<span style=\"color:#b00020\">%1</span>").arg(strText.toHtmlEscaped()));
    auto* pBox = new QMessageBox(QMessageBox::Warning, QStringLiteral("Scanning"), strText, QMessageBox::Ok, this);
    pBox->setAttribute(Qt::WA_DeleteOnClose);
    pBox->setObjectName(QStringLiteral("errorBox"));
    pBox->open();
}

// The control's warning before a feeder scan, with the choice not to see it again; the answer
// goes back to the control, which keeps it in the bag and the registry.
int CScanWindow::AskFeederWarning(const QString& strText, LONG* pnAnswer)
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("Document feeder"), strText, QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("feederWarning"));
    auto* pCheck = new QCheckBox(QStringLiteral("Do not show this again"));
    box.setCheckBox(pCheck);
    m_pWarning = &box;
    box.exec();
    m_pWarning = nullptr;
    *pnAnswer = pCheck->isChecked() ? 1 : 0;
    return IDOK;
}

void CScanWindow::SaveSettings()
{
    m_pPanel->Store(&m_settings);
    if (m_session.IsStarted())
        m_settings.vecFrames = m_session.Frames();
    m_settings.Save();
}

// A close waits for a drag or the feeder warning to end (each is asked to); then the engine is
// stopped, its files removed and the control let go.
void CScanWindow::closeEvent(QCloseEvent* pEvent)
{
    if (CWindowHostWidget::InModalLoop() || m_pWarning != nullptr) {
        if (CWindowHostWidget::InModalLoop())
            CWindowHostWidget::EndModalLoop();
        if (m_pWarning != nullptr)
            m_pWarning->reject();
        pEvent->ignore();
        QTimer::singleShot(kCloseRetryMs, this, &QWidget::close);
        return;
    }
    SaveSettings();
    m_session.Stop();
    pEvent->accept();
}
