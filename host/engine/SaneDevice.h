// CSaneDevice: one open SANE device, with the few operations the scan engine needs. All calls
// of one device come from one thread (the engine's worker). SANE itself is initialised by the
// first device of the process and stays initialised.
#pragma once

#include <sane/sane.h>

#include <string>
#include <vector>

// A device SANE can open, as sane_get_devices describes it.
struct SaneDeviceInfo {
    std::string strName;   // for Open
    std::string strLabel;  // vendor, model and type, for people
};

class CSaneDevice {
public:
    // configFolder: the SANE configuration folder to use; empty leaves SANE_CONFIG_DIR as it is.
    // SANE reads it once, when it is initialised, so the first device of the process decides.
    explicit CSaneDevice(const std::string& configFolder);
    ~CSaneDevice();
    CSaneDevice(const CSaneDevice&) = delete;
    CSaneDevice& operator=(const CSaneDevice&) = delete;

    // The devices SANE finds (local and networked); slow with some backends, so call it off the
    // window thread. Initialises SANE with configFolder like a device would.
    static std::vector<SaneDeviceInfo> List(const std::string& configFolder);

    SANE_Status Open(const std::string& name);
    // The largest scan area of the open device in millimetres (the bed), from the ranges of its
    // bottom-right options; false when it has no geometry.
    bool BedSize(double* pWidthMm, double* pHeightMm) const;
    void Close();
    bool IsOpen() const { return m_hDevice != nullptr; }

    // Options, by name; inactive or missing options give SANE_STATUS_UNSUPPORTED.
    bool HasOption(const char* name) const;
    // A value given as text: "yes"/"no" for booleans, numbers for integers and fixed-point
    // values, the text itself for strings.
    SANE_Status SetText(const std::string& name, const std::string& text);
    // The value in the form SetText takes.
    SANE_Status GetText(const std::string& name, std::string* text) const;
    // A number for an integer or fixed-point option, moved to the nearest allowed value.
    SANE_Status SetNumber(const std::string& name, double value);
    SANE_Status GetNumber(const std::string& name, double* value) const;
    // The first entry of the option's list that begins with one of the candidates (compared
    // without case), in the candidates' order of preference.
    SANE_Status SelectString(const std::string& name, const std::vector<std::string>& candidates);

    SANE_Status Start(SANE_Parameters* params);
    SANE_Status Read(unsigned char* buffer, int maxLength, int* length);
    void Cancel();

private:
    int FindOption(const std::string& name, const SANE_Option_Descriptor** desc) const;
    SANE_Status SetRaw(int index, void* value);

    SANE_Handle m_hDevice = nullptr;
    bool m_bInitialised = false;
};
