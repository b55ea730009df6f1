// CDemoReport: the pictures of a demo session and the HTML page that shows them in order, each
// with the keys of the host's bag as they stood after that step.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <filesystem>
#include <string>
#include <vector>

class CHostPropertyBag;

// A value of the bag as a person reads it: pairs as "a × b", frame arrays pair by pair.
std::string DescribeBagValue(const VARIANT& value);

class CDemoReport {
public:
    explicit CDemoReport(const std::filesystem::path& folder);

    // Saves the view's client area as the next picture, with its title, what the step shows and
    // the bag's keys. False when the picture could not be written.
    bool AddStep(HWND hWndView, const std::string& strTitle, const std::string& strText, const CHostPropertyBag& bag);
    // Writes index.html; false when it could not be written.
    bool WritePage() const;

    std::filesystem::path PagePath() const { return m_folder / "index.html"; }
    size_t StepCount() const { return m_vecSteps.size(); }

private:
    struct Step {
        std::string strTitle;
        std::string strText;
        std::string strPicture;  // file name inside the folder
        std::vector<std::pair<std::string, std::string>> vecKeys;
    };
    std::filesystem::path m_folder;
    std::vector<Step> m_vecSteps;
};
