// The scanning application on Qt's offscreen platform: the widget's pixels while a preview
// arrives, frames edited with Qt mouse events, the actions' states through a scan, wheel and
// zoom, the cursor, the feeder warning, the saved photos, and closing at awkward moments.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QWheelEvent>
#include <QtTest>

#include <functional>

#include <AppSettings.h>
#include <EngineImage.h>
#include <FrameOutput.h>
#include <ScanWindow.h>
#include <SettingsPanel.h>
#include <WindowHostWidget.h>

#include <HostJob.h>
#include <docobj.h>
#include <qordisplay.h>
#include <qorheadless.h>

namespace {

constexpr DWORD kGrey = 0x696969;  // the control's surroundings
constexpr int kJobTimeoutMs = 60000;

bool WaitFor(const std::function<bool()>& done, int nTimeoutMs = kJobTimeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > nTimeoutMs)
            return false;
        QTest::qWait(5);
    }
    return true;
}

// The page on screen: the bounding box of what is not the grey surroundings.
QRect FindPaper(const QImage& image)
{
    QRect paper;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) != kGrey)
                paper |= QRect(x, y, 1, 1);
    return paper;
}

}  // namespace

class AppTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void previewGrowsRowByRowInTheWidget();
    void framesEditedWithTheMouseReachTheBag();
    void actionsFollowTheControlThroughAScan();
    void wheelScrollsAndControlWheelZooms();
    void cursorOverACornerIsTheResizeCursor();
    void feederWarningAnsweredOnceIsNotShownAgain();
    void finalScanSavesEachPhoto();
    void savedPhotosAreTurnedAndMirroredAsShown();
    void closingDuringAScanADragOrTheWarning();

private:
    // nPauseMs: the scanner's pause after each hundredth of the page.
    CScanWindow* Open(int nPauseMs = 4);
    void RunJob(DWORD nCmdID);
    void PreviewAndCropPhotos();
    std::vector<RECT> Frames() const { return m_pWindow->Session().Frames(); }
    QRect FrameInView(const RECT& rcFrame);
    // A drag as a person makes it: the press starts the control's modal loop, the moves and the
    // release arrive while it waits.
    // pRepaintedInDrag, when given, gets the view's pixels after the last move, then after a
    // whole repaint at that moment.
    void Drag(QPoint ptFrom, QPoint ptTo, std::pair<QImage, QImage>* pRepaintedInDrag = nullptr);
    AppSettings WrittenSettings() const;
    void MoveTo(QPoint pt);

    QTemporaryDir m_home;
    CScanWindow* m_pWindow = nullptr;
    QString m_strOutput;
};

void AppTest::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("QOR_REGISTRY_DIR", m_home.filePath(QStringLiteral("registry")).toUtf8());
    QDir().mkpath(m_home.filePath(QStringLiteral("registry")));
    qputenv("QORSCAN_CONFIG", m_home.filePath(QStringLiteral("qorscan.ini")).toUtf8());
}

void AppTest::init()
{
    QFile::remove(m_home.filePath(QStringLiteral("qorscan.ini")));
    m_strOutput = m_home.filePath(QStringLiteral("out-%1").arg(QTest::currentTestFunction()));
    AppSettings settings;
    settings.strOutputFolder = m_strOutput;
    settings.nResolution = 150;  // the built-in scene's own resolution
    settings.Save();
}

void AppTest::cleanup()
{
    if (m_pWindow != nullptr) {
        m_pWindow->close();
        delete m_pWindow;
        m_pWindow = nullptr;
    }
}

CScanWindow* AppTest::Open(int nPauseMs)
{
    ScanWindowOptions options;
    options.strModulePath = QORSCAN_MODULE_PATH;
    options.nPartialPauseMs = nPauseMs;
    options.bListDevices = false;
    m_pWindow = new CScanWindow(options);
    m_pWindow->resize(1100, 800);
    m_pWindow->show();
    if (!QTest::qWaitForWindowExposed(m_pWindow) || !m_pWindow->IsReady())
        return nullptr;
    m_pWindow->View()->PumpNow();
    return m_pWindow;
}

void AppTest::RunJob(DWORD nCmdID)
{
    QAction* pAction = m_pWindow->CommandAction(nCmdID);
    QVERIFY(pAction != nullptr);
    QVERIFY2(pAction->isEnabled(), qPrintable(pAction->text()));
    pAction->trigger();
    QVERIFY(WaitFor([this] { return !m_pWindow->Session().IsBusy(); }));
    m_pWindow->View()->PumpNow();
}

void AppTest::PreviewAndCropPhotos()
{
    RunJob(QORSCAN_CMDID_PREVIEW);
    RunJob(QORSCAN_CMDID_AUTOCROP_MULTI);
    QCOMPARE(Frames().size(), size_t(3));
}

QRect AppTest::FrameInView(const RECT& rcFrame)
{
    const QRect paper = FindPaper(m_pWindow->View()->GrabView());
    const double fScale = paper.width() / 8500.0;  // letter
    return QRect(QPoint(paper.left() + qRound(rcFrame.left * fScale), paper.top() + qRound(rcFrame.top * fScale)),
                 QPoint(paper.left() + qRound(rcFrame.right * fScale) - 1,
                        paper.top() + qRound(rcFrame.bottom * fScale) - 1));
}

void AppTest::Drag(QPoint ptFrom, QPoint ptTo, std::pair<QImage, QImage>* pRepaintedInDrag)
{
    CWindowHostWidget* pView = m_pWindow->View();
    const QPointF from(ptFrom), to(ptTo);
    for (int i = 1; i <= 4; ++i) {
        const QPointF pt = from + (to - from) * (i / 4.0);
        QCoreApplication::postEvent(pView, new QMouseEvent(QEvent::MouseMove, pt, pView->mapToGlobal(pt),
                                                           Qt::NoButton, Qt::LeftButton, Qt::NoModifier));
    }
    auto release = [pView, to] {
        QCoreApplication::postEvent(pView, new QMouseEvent(QEvent::MouseButtonRelease, to, pView->mapToGlobal(to),
                                                           Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    };
    if (pRepaintedInDrag == nullptr) {
        release();
    } else {  // the moves are taken while the loop waits; then two looks, then the release
        QTimer::singleShot(100, this, [pView, pRepaintedInDrag, release] {
            pRepaintedInDrag->first = pView->GrabView();
            // A whole repaint in the middle of the drag, which only a test may do from here.
            InvalidateRect(pView->ViewWindow(), nullptr, FALSE);
            UpdateWindow(pView->ViewWindow());
            pRepaintedInDrag->second = pView->GrabView();
            release();
        });
    }
    MoveTo(ptFrom);
    QTest::mousePress(pView, Qt::LeftButton, Qt::NoModifier, ptFrom);  // returns when the drag has ended
    QCoreApplication::processEvents();
}

void AppTest::MoveTo(QPoint pt)
{
    CWindowHostWidget* pView = m_pWindow->View();
    QMouseEvent move(QEvent::MouseMove, QPointF(pt), pView->mapToGlobal(QPointF(pt)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(pView, &move);
}

AppSettings AppTest::WrittenSettings() const
{
    return AppSettings::Load();
}

// The page grows in the widget's own pixels (what Qt paints), one batch of rows at a time.
void AppTest::previewGrowsRowByRowInTheWidget()
{
    QVERIFY(Open());
    CWindowHostWidget* pView = m_pWindow->View();
    std::vector<int> vecBrightRows;
    connect(&m_pWindow->Session(), &CScanSession::previewProgress, m_pWindow, [&](int nHundredths) {
        // The notification reaches this sink before the control: the first shows the sample page.
        if (nHundredths >= 100 || nHundredths == 1)
            return;
        const QImage image = pView->grab().toImage();
        int nRows = 0;
        for (int y = 0; y < image.height(); ++y)
            nRows += qGray(image.pixel(image.width() / 10, y)) > 200 ? 1 : 0;  // the bed is near white
        vecBrightRows.push_back(nRows);
    });
    RunJob(QORSCAN_CMDID_PREVIEW);
    QVERIFY2(vecBrightRows.size() >= 3, qPrintable(QString::number(vecBrightRows.size())));
    QVERIFY(std::is_sorted(vecBrightRows.begin(), vecBrightRows.end()));
    QVERIFY(vecBrightRows.back() > vecBrightRows.front());
    // After the last file the whole page is there: the bed fills the fit box's height.
    const QImage done = pView->grab().toImage();
    const QRect paper = FindPaper(done);
    QVERIFY(paper.height() > done.height() * 9 / 10);
}

// Move, resize, delete and draw, each with Qt mouse events; the bag gets page units.
void AppTest::framesEditedWithTheMouseReachTheBag()
{
    QVERIFY(Open());
    PreviewAndCropPhotos();
    const QRect paper = FindPaper(m_pWindow->View()->GrabView());
    const double fUnitsPerPixel = 8500.0 / paper.width();
    const int nTolerance = qCeil(fUnitsPerPixel * 2);  // two view pixels of rounding, both ways

    std::vector<RECT> before = Frames();
    QRect rcView = FrameInView(before[0]);
    std::pair<QImage, QImage> duringDrag;
    Drag(rcView.center(), rcView.center() + QPoint(70, 45), &duringDrag);
    // The drag repaints only the frame's old and new places; a whole repaint at the same moment
    // shows the same pixels: no trace of the old place left, nothing of the new one missing.
    QVERIFY(!duringDrag.first.isNull());
    QCOMPARE(duringDrag.first, duringDrag.second);
    std::vector<RECT> after = Frames();
    QCOMPARE(after.size(), size_t(3));
    QVERIFY(qAbs(after[0].left - before[0].left - 70 * fUnitsPerPixel) <= nTolerance);
    QVERIFY(qAbs(after[0].top - before[0].top - 45 * fUnitsPerPixel) <= nTolerance);
    QVERIFY(qAbs((after[0].right - after[0].left) - (before[0].right - before[0].left)) <= nTolerance);

    before = after;
    rcView = FrameInView(before[1]);
    Drag(rcView.bottomRight(), rcView.bottomRight() + QPoint(25, 15));
    after = Frames();
    QVERIFY(qAbs(after[1].left - before[1].left) <= nTolerance);
    QVERIFY(qAbs(after[1].right - before[1].right - 25 * fUnitsPerPixel) <= nTolerance);
    QVERIFY(qAbs(after[1].bottom - before[1].bottom - 15 * fUnitsPerPixel) <= nTolerance);

    rcView = FrameInView(after[2]);
    QTest::mouseClick(m_pWindow->View(), Qt::LeftButton, Qt::NoModifier, QPoint(rcView.right() - 8, rcView.top() + 9));
    QCoreApplication::processEvents();
    QCOMPARE(Frames().size(), size_t(2));

    // A new frame on the empty bed at the bottom of the page.
    const QPoint ptStart(paper.left() + paper.width() / 5, paper.bottom() - paper.height() / 12);
    Drag(ptStart, ptStart + QPoint(60, 30));
    after = Frames();
    QCOMPARE(after.size(), size_t(3));
    const RECT rcNew = after.back();
    QVERIFY(qAbs((rcNew.right - rcNew.left) - 60 * fUnitsPerPixel) <= nTolerance);
    QVERIFY(qAbs((rcNew.bottom - rcNew.top) - 30 * fUnitsPerPixel) <= nTolerance);
}

// Preview disabled and Cancel enabled while the engine works; zoom and turns disabled while the
// live rows show; all back when it is done.
void AppTest::actionsFollowTheControlThroughAScan()
{
    QVERIFY(Open());
    auto enabled = [this](DWORD nCmdID) { return m_pWindow->CommandAction(nCmdID)->isEnabled(); };
    QVERIFY(enabled(QORSCAN_CMDID_PREVIEW));
    QVERIFY(!enabled(QORSCAN_CMDID_CANCEL));
    bool bCheckedDuringRows = false;
    // A sink of the bag hears of partial N before the control shows it: the control has the
    // rows of N - 1 on screen then.
    connect(&m_pWindow->Session(), &CScanSession::previewProgress, m_pWindow, [&](int nHundredths) {
        if (nHundredths < 50 || nHundredths >= 100 || bCheckedDuringRows)
            return;
        bCheckedDuringRows = true;
        QVERIFY(!enabled(QORSCAN_CMDID_PREVIEW));
        QVERIFY(!enabled(QORSCAN_CMDID_SCAN));
        QVERIFY(enabled(QORSCAN_CMDID_CANCEL));
        QVERIFY(!enabled(QORSCAN_CMDID_ZOOM_IN));
        QVERIFY(!enabled(QORSCAN_CMDID_ROTATE_RIGHT));
        QVERIFY(!enabled(QORSCAN_CMDID_MIRROR_HORIZONTAL));
    });
    RunJob(QORSCAN_CMDID_PREVIEW);
    QVERIFY(bCheckedDuringRows);
    QVERIFY(enabled(QORSCAN_CMDID_PREVIEW));
    QVERIFY(enabled(QORSCAN_CMDID_ZOOM_IN));
    QVERIFY(enabled(QORSCAN_CMDID_ROTATE_RIGHT));
    QVERIFY(!enabled(QORSCAN_CMDID_CANCEL));
    QVERIFY(!enabled(QORSCAN_CMDID_ZOOM_OUT));  // at fit already
    QVERIFY(!enabled(QORSCAN_CMDID_RESET_ORIENTATION));
    m_pWindow->CommandAction(QORSCAN_CMDID_ROTATE_RIGHT)->trigger();
    QVERIFY(enabled(QORSCAN_CMDID_RESET_ORIENTATION));
    QCOMPARE(m_pWindow->CommandAction(QORSCAN_CMDID_CANCEL)->iconText(), QStringLiteral("Cancel"));
}

void AppTest::wheelScrollsAndControlWheelZooms()
{
    QVERIFY(Open());
    RunJob(QORSCAN_CMDID_PREVIEW);
    CWindowHostWidget* pView = m_pWindow->View();
    auto wheel = [pView](int nDelta, Qt::KeyboardModifiers modifiers) {
        const QPointF pt(200, 200);
        QWheelEvent event(pt, pView->mapToGlobal(pt), QPoint(), QPoint(0, nDelta), Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(pView, &event);
        pView->PumpNow();
    };
    SCROLLINFO si{sizeof(si), SIF_ALL, 0, 0, 0, 0, 0};
    auto range = [&] {
        si = SCROLLINFO{sizeof(si), SIF_ALL, 0, 0, 0, 0, 0};
        GetScrollInfo(pView->ViewWindow(), SB_VERT, &si);
        return si.nMax - si.nMin + 1 - static_cast<int>(si.nPage);
    };
    QCOMPARE(range() > 0, false);  // at fit nothing scrolls
    wheel(120, Qt::ControlModifier);
    QVERIFY(m_pWindow->CommandAction(QORSCAN_CMDID_ZOOM_OUT)->isEnabled());
    const int nRange = range();
    QVERIFY(nRange > 0);
    wheel(-120, Qt::NoModifier);  // towards the user: down
    GetScrollInfo(pView->ViewWindow(), SB_VERT, &si);
    const int nDown = si.nPos;
    QVERIFY(nDown > 0);
    wheel(60, Qt::NoModifier);  // half a notch: nothing yet
    GetScrollInfo(pView->ViewWindow(), SB_VERT, &si);
    QCOMPARE(si.nPos, nDown);
    wheel(60, Qt::NoModifier);
    GetScrollInfo(pView->ViewWindow(), SB_VERT, &si);
    QVERIFY(si.nPos < nDown);
    wheel(-120, Qt::ControlModifier);
    QVERIFY(!m_pWindow->CommandAction(QORSCAN_CMDID_ZOOM_OUT)->isEnabled());
}

void AppTest::cursorOverACornerIsTheResizeCursor()
{
    QVERIFY(Open());
    PreviewAndCropPhotos();
    const QRect rcView = FrameInView(Frames()[0]);
    CWindowHostWidget* pView = m_pWindow->View();
    MoveTo(rcView.topLeft());
    QCoreApplication::processEvents();
    HMODULE hModule = LoadLibraryW(reinterpret_cast<LPCWSTR>(QStringLiteral(QORSCAN_MODULE_PATH).utf16()));
    QVERIFY(hModule != nullptr);
    const HCURSOR hNwse = LoadCursorW(hModule, MAKEINTRESOURCEW(105));
    QCOMPARE(QorGetCurrentCursor(), hNwse);
    QCOMPARE(pView->cursor().shape(), Qt::BitmapCursor);  // the module's own picture
    QORCURSORIMAGE image{};
    image.cbSize = sizeof(image);
    QVERIFY(QorGetCursorImage(hNwse, &image));
    QCOMPARE(pView->cursor().hotSpot(), QPoint(image.hotspot.x, image.hotspot.y));
    MoveTo(rcView.center());
    QCoreApplication::processEvents();
    QVERIFY(QorGetCurrentCursor() != hNwse);
    FreeLibrary(hModule);
}

void AppTest::feederWarningAnsweredOnceIsNotShownAgain()
{
    QVERIFY(Open());
    RunJob(QORSCAN_CMDID_PREVIEW);
    QComboBox* pSource = m_pWindow->Panel()->findChild<QComboBox*>(QStringLiteral("source"));
    pSource->setCurrentIndex(pSource->findData(2));
    int nWarnings = 0;
    QTimer answer;
    connect(&answer, &QTimer::timeout, this, [&] {
        if (QMessageBox* pBox = m_pWindow->OpenWarning(); pBox != nullptr && pBox->isVisible()) {
            ++nWarnings;
            pBox->checkBox()->setChecked(true);
            pBox->accept();
        }
    });
    answer.start(20);
    m_pWindow->CommandAction(QORSCAN_CMDID_SCAN)->trigger();
    QVERIFY(WaitFor([this] { return !m_pWindow->Session().IsBusy(); }));
    QCOMPARE(nWarnings, 1);
    VARIANT var;
    VariantInit(&var);
    QVERIFY(m_pWindow->Session().ReadKey(QORSCAN_KEY_BOOT_ADF_HIDE, &var));
    QVERIFY(var.vt == VT_I4 || var.vt == VT_UI4);
    QVERIFY(var.lVal != 0);
    HKEY hKey = nullptr;
    QCOMPARE(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Velmora\\Scrivane\\Boot", 0, KEY_READ, &hKey),
             static_cast<LONG>(ERROR_SUCCESS));
    RegCloseKey(hKey);
    m_pWindow->CommandAction(QORSCAN_CMDID_SCAN)->trigger();
    QVERIFY(WaitFor([this] { return !m_pWindow->Session().IsBusy(); }));
    QCOMPARE(nWarnings, 1);
    // The next run of the application reads the answer back from the registry.
    m_pWindow->close();
    delete m_pWindow;
    m_pWindow = nullptr;
    QVERIFY(Open());
    QCOMPARE(WrittenSettings().nSource, 2);
    RunJob(QORSCAN_CMDID_PREVIEW);
    m_pWindow->CommandAction(QORSCAN_CMDID_SCAN)->trigger();
    QVERIFY(WaitFor([this] { return !m_pWindow->Session().IsBusy(); }));
    QCOMPARE(nWarnings, 1);
}

// Three photos in, three images out, each the size of its frame at the scan's resolution and
// the same pixels as the scene's photo; then one PDF with three pages of the photos' size.
void AppTest::finalScanSavesEachPhoto()
{
    QVERIFY(Open());
    PreviewAndCropPhotos();
    const std::vector<RECT> vecFrames = Frames();
    QSignalSpy saved(m_pWindow, &CScanWindow::photosSaved);
    RunJob(QORSCAN_CMDID_SCAN);
    QVERIFY(WaitFor([&] { return saved.count() > 0; }));
    const QStringList files = m_pWindow->LastSavedFiles();
    QCOMPARE(files.size(), 3);
    QImage scene(QStringLiteral(QOR_SCENE_FILE));
    QVERIFY(!scene.isNull());
    const int nDpi = 150;
    for (int i = 0; i < 3; ++i) {
        QImage photo(files[i]);
        QVERIFY2(!photo.isNull(), qPrintable(files[i]));
        const RECT& rc = vecFrames[static_cast<size_t>(i)];
        const QRect expected(QPoint(qRound(rc.left * nDpi / 1000.0), qRound(rc.top * nDpi / 1000.0)),
                             QPoint(qRound(rc.right * nDpi / 1000.0) - 1, qRound(rc.bottom * nDpi / 1000.0) - 1));
        QVERIFY(qAbs(photo.width() - expected.width()) <= 1);
        QVERIFY(qAbs(photo.height() - expected.height()) <= 1);
        QCOMPARE(qRound(photo.dotsPerMeterX() * 0.0254), nDpi);
        // The same pixels as the scene: a lossless copy, so the difference is rounding of the
        // frame's edges only; compared over the inner part, within 2 levels on average.
        const QImage part = scene.copy(expected).convertToFormat(QImage::Format_RGB32);
        const QImage got = photo.convertToFormat(QImage::Format_RGB32);
        qint64 nDiff = 0, nCount = 0;
        for (int y = 2; y < std::min(part.height(), got.height()) - 2; ++y)
            for (int x = 2; x < std::min(part.width(), got.width()) - 2; ++x, ++nCount)
                nDiff += qAbs(qGray(part.pixel(x, y)) - qGray(got.pixel(x, y)));
        QVERIFY(nCount > 0);
        QVERIFY2(nDiff <= 2 * nCount, qPrintable(QStringLiteral("mean difference %1").arg(double(nDiff) / nCount)));
    }
    // The same frames once more, as a PDF.
    QComboBox* pFormat = m_pWindow->Panel()->findChild<QComboBox*>(QStringLiteral("format"));
    pFormat->setCurrentIndex(pFormat->findData(static_cast<int>(OutputFormat::Pdf)));
    RunJob(QORSCAN_CMDID_SCAN);
    QVERIFY(WaitFor([&] { return saved.count() > 1; }));
    QCOMPARE(m_pWindow->LastSavedFiles().size(), 1);
    QFile pdf(m_pWindow->LastSavedFiles().first());
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    const QString strPdf = QString::fromLatin1(pdf.readAll());
    const QRegularExpression mediaBox(QStringLiteral("/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]"));
    std::vector<QSizeF> vecPages;
    for (auto it = mediaBox.globalMatch(strPdf); it.hasNext();) {
        const auto match = it.next();
        vecPages.emplace_back(match.captured(1).toDouble(), match.captured(2).toDouble());
    }
    QCOMPARE(vecPages.size(), size_t(3));
    for (size_t i = 0; i < 3; ++i) {
        const RECT& rc = vecFrames[i];
        QVERIFY(qAbs(vecPages[i].width() - (rc.right - rc.left) * 72 / 1000.0) < 1.5);
        QVERIFY(qAbs(vecPages[i].height() - (rc.bottom - rc.top) * 72 / 1000.0) < 1.5);
    }
    // No file was overwritten: the PNGs of the first scan are still there.
    for (const QString& strFile : files)
        QVERIFY(QFile::exists(strFile));
}

// Turned right, then mirrored left to right on screen: the saved photo is the scene's photo
// put through the same two steps, in that order.
void AppTest::savedPhotosAreTurnedAndMirroredAsShown()
{
    QVERIFY(Open());
    PreviewAndCropPhotos();
    const RECT rcFirst = Frames()[0];
    m_pWindow->CommandAction(QORSCAN_CMDID_ROTATE_RIGHT)->trigger();
    m_pWindow->CommandAction(QORSCAN_CMDID_MIRROR_HORIZONTAL)->trigger();
    QSignalSpy saved(m_pWindow, &CScanWindow::photosSaved);
    RunJob(QORSCAN_CMDID_SCAN);
    QVERIFY(WaitFor([&] { return saved.count() > 0; }));
    QCOMPARE(m_pWindow->LastSavedFiles().size(), 3);
    const QImage photo = QImage(m_pWindow->LastSavedFiles().first()).convertToFormat(QImage::Format_RGB32);
    const int nDpi = 150;
    const QRect rcScene(QPoint(qRound(rcFirst.left * nDpi / 1000.0), qRound(rcFirst.top * nDpi / 1000.0)),
                        QPoint(qRound(rcFirst.right * nDpi / 1000.0) - 1, qRound(rcFirst.bottom * nDpi / 1000.0) - 1));
    const QImage expected = QImage(QStringLiteral(QOR_SCENE_FILE))
                                .copy(rcScene)
                                .transformed(QTransform().rotate(90))
                                .mirrored(true, false)
                                .convertToFormat(QImage::Format_RGB32);
    QVERIFY(qAbs(photo.width() - expected.width()) <= 1);
    QVERIFY(qAbs(photo.height() - expected.height()) <= 1);
    QVERIFY(photo.width() < photo.height());  // the landscape photo stands up now
    qint64 nDiff = 0, nCount = 0;
    for (int y = 2; y < std::min(photo.height(), expected.height()) - 2; ++y)
        for (int x = 2; x < std::min(photo.width(), expected.width()) - 2; ++x, ++nCount)
            nDiff += qAbs(qGray(photo.pixel(x, y)) - qGray(expected.pixel(x, y)));
    QVERIFY(nCount > 0);
    QVERIFY2(nDiff <= 2 * nCount, qPrintable(QStringLiteral("mean difference %1").arg(double(nDiff) / nCount)));
}

void AppTest::closingDuringAScanADragOrTheWarning()
{
    // During a scan (a slow scanner, so that it is still at it): the worker is stopped and its
    // folder removed.
    QVERIFY(Open(40));
    const std::string strFolder = m_pWindow->Session().Engine()->Folder();
    QSignalSpy rows(&m_pWindow->Session(), &CScanSession::previewProgress);
    m_pWindow->CommandAction(QORSCAN_CMDID_PREVIEW)->trigger();
    QVERIFY(WaitFor([&] { return rows.count() > 0; }));
    QVERIFY(m_pWindow->Session().IsBusy());
    QVERIFY(m_pWindow->close());
    QVERIFY(!QDir(QString::fromStdString(strFolder)).exists());
    delete m_pWindow;
    m_pWindow = nullptr;

    // During a drag: the close waits for the drag to end, then goes through.
    QVERIFY(Open());
    PreviewAndCropPhotos();
    const QRect rcView = FrameInView(Frames()[0]);
    CWindowHostWidget* pView = m_pWindow->View();
    bool bClosedInDrag = false;
    QTimer::singleShot(50, this, [&] {
        bClosedInDrag = CWindowHostWidget::InModalLoop();
        m_pWindow->close();
    });
    QTest::mousePress(pView, Qt::LeftButton, Qt::NoModifier, rcView.center());  // no release comes
    QVERIFY(bClosedInDrag);
    QVERIFY(WaitFor([this] { return !m_pWindow->isVisible(); }, 5000));
    QVERIFY(!m_pWindow->Session().IsStarted());
    delete m_pWindow;
    m_pWindow = nullptr;

    // While the feeder warning is open.
    QVERIFY(Open());
    QComboBox* pSource = m_pWindow->Panel()->findChild<QComboBox*>(QStringLiteral("source"));
    pSource->setCurrentIndex(pSource->findData(3));
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Velmora\\Scrivane\\Boot", 0, KEY_SET_VALUE, &hKey) == ERROR_SUCCESS) {
        RegDeleteValueW(hKey, u"boot.adf.hide");
        RegCloseKey(hKey);
    }
    VARIANT var;
    VariantInit(&var);
    var.vt = VT_I4;
    var.lVal = 0;
    m_pWindow->Session().WriteKey(QORSCAN_KEY_BOOT_ADF_HIDE, var);
    bool bWarningSeen = false;
    QTimer::singleShot(100, this, [&] {
        bWarningSeen = m_pWindow->OpenWarning() != nullptr;
        m_pWindow->close();
    });
    m_pWindow->CommandAction(QORSCAN_CMDID_SCAN)->trigger();
    QVERIFY(bWarningSeen);
    QVERIFY(WaitFor([this] { return !m_pWindow->isVisible(); }, 10000));
    QVERIFY(!m_pWindow->Session().IsStarted());
}

QTEST_MAIN(AppTest)
#include "app_test.moc"
