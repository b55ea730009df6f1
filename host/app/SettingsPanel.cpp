#include "SettingsPanel.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "Icons.h"

CSettingsPanel::CSettingsPanel(const AppSettings& settings, QWidget* pParent)
    : QWidget(pParent), m_units(settings.units), m_strWantedDevice(settings.strDevice)
{
    auto* pForm = new QFormLayout;
    m_pDevice = new QComboBox;
    m_pDevice->setObjectName(QStringLiteral("device"));
    m_pDevice->addItem(QStringLiteral("Built-in scene (three photos)"), QString());
    m_pRefresh = new QPushButton(QStringLiteral("Find scanners"));
    auto* pDeviceRow = new QHBoxLayout;
    pDeviceRow->addWidget(m_pDevice, 1);
    pDeviceRow->addWidget(m_pRefresh);
    auto* pDeviceLabel = new QLabel(QStringLiteral("&Device:"));
    pDeviceLabel->setBuddy(m_pDevice);
    pForm->addRow(pDeviceLabel, pDeviceRow);

    m_pSource = new QComboBox;
    m_pSource->setObjectName(QStringLiteral("source"));
    AddChoices(m_pSource, {{QStringLiteral("Flatbed"), 1}, {QStringLiteral("Document feeder"), 2},
                           {QStringLiteral("Document feeder, both sides"), 3}},
               settings.nSource);
    pForm->addRow(QStringLiteral("&Source:"), m_pSource);
    m_pMode = new QComboBox;
    m_pMode->setObjectName(QStringLiteral("mode"));
    AddChoices(m_pMode, {{QStringLiteral("Colour"), 2}, {QStringLiteral("Grey"), 1},
                         {QStringLiteral("Black and white"), 0}},
               settings.nMode);
    pForm->addRow(QStringLiteral("&Mode:"), m_pMode);
    m_pResolution = new QComboBox;
    m_pResolution->setObjectName(QStringLiteral("resolution"));
    for (int nDpi : OfferedResolutions())
        m_pResolution->addItem(QStringLiteral("%1 dpi").arg(nDpi), nDpi);
    m_pResolution->setCurrentIndex(m_pResolution->findData(settings.nResolution));
    pForm->addRow(QStringLiteral("&Resolution:"), m_pResolution);
    m_pPage = new QComboBox;
    m_pPage->setObjectName(QStringLiteral("page"));
    AddChoices(m_pPage, {{QStringLiteral("Letter (8.5 × 11 in)"), static_cast<int>(PageChoice::Letter)},
                         {QStringLiteral("A4 (210 × 297 mm)"), static_cast<int>(PageChoice::A4)},
                         {QStringLiteral("Legal (8.5 × 14 in)"), static_cast<int>(PageChoice::Legal)},
                         {QStringLiteral("The whole scanner bed"), static_cast<int>(PageChoice::Bed)}},
               static_cast<int>(settings.page));
    pForm->addRow(QStringLiteral("&Page size:"), m_pPage);
    m_pUnits = new QComboBox;
    m_pUnits->setObjectName(QStringLiteral("units"));
    AddChoices(m_pUnits, {{QStringLiteral("Millimetres"), static_cast<int>(UnitChoice::Millimetres)},
                          {QStringLiteral("Inches"), static_cast<int>(UnitChoice::Inches)}},
               static_cast<int>(settings.units));
    pForm->addRow(QStringLiteral("&Units:"), m_pUnits);

    m_pFolder = new QLineEdit(settings.strOutputFolder);
    m_pFolder->setObjectName(QStringLiteral("folder"));
    auto* pBrowse = new QToolButton;
    pBrowse->setIcon(MakeIcon(IconKind::Folder));
    pBrowse->setToolTip(QStringLiteral("Choose the folder for the scanned photos"));
    auto* pFolderRow = new QHBoxLayout;
    pFolderRow->addWidget(m_pFolder, 1);
    pFolderRow->addWidget(pBrowse);
    auto* pFolderLabel = new QLabel(QStringLiteral("Save &to:"));
    pFolderLabel->setBuddy(m_pFolder);
    pForm->addRow(pFolderLabel, pFolderRow);
    m_pFormat = new QComboBox;
    m_pFormat->setObjectName(QStringLiteral("format"));
    AddChoices(m_pFormat, {{QStringLiteral("PNG, one file per photo"), static_cast<int>(OutputFormat::Png)},
                           {QStringLiteral("JPEG, one file per photo"), static_cast<int>(OutputFormat::Jpeg)},
                           {QStringLiteral("TIFF, one file per photo"), static_cast<int>(OutputFormat::Tiff)},
                           {QStringLiteral("PDF, one page per photo"), static_cast<int>(OutputFormat::Pdf)}},
               static_cast<int>(settings.format));
    pForm->addRow(QStringLiteral("&Format:"), m_pFormat);

    m_pFrames = new QListWidget;
    m_pFrames->setObjectName(QStringLiteral("frames"));
    m_pFrames->setFocusPolicy(Qt::NoFocus);
    m_pSaved = new QLabel;
    m_pSaved->setWordWrap(true);
    m_pSaved->setTextInteractionFlags(Qt::TextBrowserInteraction);
    m_pSaved->setOpenExternalLinks(true);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->addLayout(pForm);
    pLayout->addWidget(new QLabel(QStringLiteral("<b>Frames</b>")));
    pLayout->addWidget(m_pFrames, 1);
    pLayout->addWidget(m_pSaved);

    connect(m_pDevice, &QComboBox::currentIndexChanged, this, &CSettingsPanel::deviceChanged);
    connect(m_pRefresh, &QPushButton::clicked, this, &CSettingsPanel::refreshDevices);
    for (QComboBox* pBox : {m_pSource, m_pMode, m_pResolution, m_pPage})
        connect(pBox, &QComboBox::currentIndexChanged, this, &CSettingsPanel::jobChanged);
    connect(m_pUnits, &QComboBox::currentIndexChanged, this, [this] {
        m_units = static_cast<UnitChoice>(m_pUnits->currentData().toInt());
        emit unitsChanged();
    });
    connect(pBrowse, &QToolButton::clicked, this, [this] {
        const QString strFolder = QFileDialog::getExistingDirectory(this, QStringLiteral("Save the scans in"),
                                                                    m_pFolder->text());
        if (!strFolder.isEmpty())
            m_pFolder->setText(strFolder);
    });
}

void CSettingsPanel::AddChoices(QComboBox* pBox, std::initializer_list<std::pair<QString, int>> choices, int nCurrent)
{
    for (const auto& [strText, nValue] : choices)
        pBox->addItem(strText, nValue);
    pBox->setCurrentIndex(std::max(0, pBox->findData(nCurrent)));
}

void CSettingsPanel::SetDevices(const std::vector<SaneDeviceInfo>& vecDevices)
{
    const QString strCurrent = m_pDevice->currentData().toString();
    const QString strWanted = strCurrent.isEmpty() ? m_strWantedDevice : strCurrent;
    const QSignalBlocker block(m_pDevice);
    while (m_pDevice->count() > 1)
        m_pDevice->removeItem(1);
    for (const SaneDeviceInfo& device : vecDevices) {
        const QString strName = QString::fromStdString(device.strName);
        // The pnm backend is how the built-in scene is read: it is the first entry already.
        if (strName.startsWith(QLatin1String("pnm")))
            continue;
        m_pDevice->addItem(QStringLiteral("%1 (%2)").arg(QString::fromStdString(device.strLabel), strName), strName);
    }
    const int nIndex = m_pDevice->findData(strWanted);
    m_pDevice->setCurrentIndex(std::max(0, nIndex));
    if (m_pDevice->currentData().toString() != strCurrent)
        emit deviceChanged();
}

void CSettingsPanel::SetListing(bool bListing)
{
    m_pRefresh->setEnabled(!bListing);
    m_pRefresh->setText(bListing ? QStringLiteral("Looking for scanners…") : QStringLiteral("Find scanners"));
}

void CSettingsPanel::SetBusy(bool bBusy)
{
    for (QWidget* pWidget : std::initializer_list<QWidget*>{m_pDevice, m_pSource, m_pMode, m_pResolution, m_pPage})
        pWidget->setEnabled(!bBusy);
}

void CSettingsPanel::ShowFrames(const std::vector<RECT>& vecFrames)
{
    m_pFrames->clear();
    for (size_t i = 0; i < vecFrames.size(); ++i) {
        const RECT& rc = vecFrames[i];
        m_pFrames->addItem(QStringLiteral("%1. %2 × %3, at %4, %5")
                               .arg(i + 1)
                               .arg(FormatLength(rc.right - rc.left, m_units), FormatLength(rc.bottom - rc.top, m_units),
                                    FormatLength(rc.left, m_units), FormatLength(rc.top, m_units)));
    }
}

void CSettingsPanel::ShowLastSaved(const QString& strText)
{
    m_pSaved->setText(strText);
}

void CSettingsPanel::Store(AppSettings* pSettings) const
{
    pSettings->strDevice = m_pDevice->currentData().toString();
    pSettings->nSource = m_pSource->currentData().toInt();
    pSettings->nMode = m_pMode->currentData().toInt();
    pSettings->nResolution = m_pResolution->currentData().toInt();
    pSettings->page = static_cast<PageChoice>(m_pPage->currentData().toInt());
    pSettings->units = m_units;
    pSettings->strOutputFolder = m_pFolder->text();
    pSettings->format = static_cast<OutputFormat>(m_pFormat->currentData().toInt());
}
