// CSettingsPanel: the scan settings beside the preview (device, source, mode, resolution, page
// size, units, output) and the list of frames with their sizes.
#pragma once

#include <QWidget>

#include <vector>

#include <SaneDevice.h>

#include "AppSettings.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

class CSettingsPanel : public QWidget {
    Q_OBJECT
public:
    explicit CSettingsPanel(const AppSettings& settings, QWidget* pParent = nullptr);

    // The devices SANE found; the built-in scene always comes first.
    void SetDevices(const std::vector<SaneDeviceInfo>& vecDevices);
    void SetListing(bool bListing);
    // Settings that need an idle engine cannot change while it works.
    void SetBusy(bool bBusy);
    void ShowFrames(const std::vector<RECT>& vecFrames);
    void ShowLastSaved(const QString& strText);

    // The settings as the panel shows them.
    void Store(AppSettings* pSettings) const;

    QComboBox* DeviceBox() const { return m_pDevice; }

signals:
    void deviceChanged();
    void jobChanged();      // source, mode, resolution or page size
    void unitsChanged();
    void refreshDevices();

private:
    void AddChoices(QComboBox* pBox, std::initializer_list<std::pair<QString, int>> choices, int nCurrent);

    QComboBox* m_pDevice = nullptr;
    QPushButton* m_pRefresh = nullptr;
    QComboBox* m_pSource = nullptr;
    QComboBox* m_pMode = nullptr;
    QComboBox* m_pResolution = nullptr;
    QComboBox* m_pPage = nullptr;
    QComboBox* m_pUnits = nullptr;
    QLineEdit* m_pFolder = nullptr;
    QComboBox* m_pFormat = nullptr;
    QListWidget* m_pFrames = nullptr;
    QLabel* m_pSaved = nullptr;
    UnitChoice m_units;
    QString m_strWantedDevice;
};
