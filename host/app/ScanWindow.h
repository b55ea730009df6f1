// CScanWindow: the scanning application's main window. The preview in the middle is the scan
// control in a CWindowHostWidget; the toolbar and menus carry every command of the control, with
// their states from the control's QueryStatus; the settings panel writes the job into the bag;
// the status bar shows progress, errors and where the photos went.
#pragma once

#include <QMainWindow>
#include <QTemporaryDir>

#include <map>
#include <memory>

#include "AppSettings.h"
#include "ScanSession.h"

class CSettingsPanel;
class CWindowHostWidget;
class QAction;
class QLabel;
class QMessageBox;
class QProgressBar;

struct ScanWindowOptions {
    std::string strModulePath;
    std::string strSaneConfig;    // SANE configuration folder(s) for the engine and the device list
    std::string strSceneFile;     // the built-in scene; empty: the build's
    int nPartialPauseMs = 15;     // the built-in scene is fast: let the page be seen growing
    bool bListDevices = true;     // look for SANE devices at start
};

class CScanWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit CScanWindow(const ScanWindowOptions& options, QWidget* pParent = nullptr);
    ~CScanWindow() override;

    // False when the control could not be started (the reason is in StartError()).
    bool IsReady() const { return m_session.IsStarted(); }
    QString StartError() const { return m_strStartError; }

    CScanSession& Session() { return m_session; }
    CWindowHostWidget* View() const { return m_pView; }
    CSettingsPanel* Panel() const { return m_pPanel; }
    QAction* CommandAction(DWORD nCmdID) const;
    // The files written by the last final scan.
    QStringList LastSavedFiles() const { return m_lastSaved; }
    // The open feeder warning, if any.
    QMessageBox* OpenWarning() const { return m_pWarning; }

    // Runs one command of the control unless a modal loop of the view is running.
    void RunCommand(DWORD nCmdID);
    // Re-reads every action's state from the control.
    void RefreshActions();

signals:
    // After the photos of a final scan were saved (or failed to be).
    void photosSaved(const QStringList& files);

protected:
    void closeEvent(QCloseEvent* pEvent) override;

private:
    void BuildActions();
    void BuildMenusAndToolbar();
    void BuildStatusBar();
    void StartSession(const ScanWindowOptions& options);
    void FillJob(CHostPropertyBag* pBag);
    void WriteJobSettings();
    void ChangeDevice();
    void ListDevices();
    void ShowProgress(int nHundredths);
    void OnJobEnded(CScanSession::Job job);
    void SavePhotos();
    void ShowError(const QString& strText);
    int AskFeederWarning(const QString& strText, LONG* pnAnswer);
    void SaveSettings();

    AppSettings m_settings;
    ScanWindowOptions m_options;
    CScanSession m_session;
    QTemporaryDir m_tempFolder;  // "scan.temp"
    CWindowHostWidget* m_pView = nullptr;
    CSettingsPanel* m_pPanel = nullptr;
    std::map<DWORD, QAction*> m_actions;
    QAction* m_pOpenFolder = nullptr;
    QAction* m_pQuit = nullptr;
    QLabel* m_pMessage = nullptr;
    QProgressBar* m_pProgress = nullptr;
    QMessageBox* m_pWarning = nullptr;
    QSize m_sizeBed;  // the device's bed in page units, when known
    QStringList m_lastSaved;
    QString m_strStartError;
    bool m_bListing = false;
};
