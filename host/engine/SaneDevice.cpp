#include "SaneDevice.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

// SANE is initialised by the first device and stays so until the process ends: it reads its
// configuration folder only once anyway, and its backends stay loaded, so that a leak checker
// can still name the backend of a block it finds (SANE's test backend loses a buffer of its
// reader thread when a frame ends early).
std::mutex g_initLock;
bool g_bInitialised = false;

// A number as the option's word, rounded to the nearest and held to the word's range.
SANE_Word ToWord(const SANE_Option_Descriptor& desc, double value)
{
    const double scaled = desc.type == SANE_TYPE_FIXED ? value * (1 << SANE_FIXED_SCALE_SHIFT) : value;
    if (!(scaled == scaled))  // NaN
        return 0;
    return static_cast<SANE_Word>(std::clamp(std::round(scaled), -2147483648.0, 2147483647.0));
}

double FromWord(const SANE_Option_Descriptor& desc, SANE_Word word)
{
    return desc.type == SANE_TYPE_FIXED ? SANE_UNFIX(word) : static_cast<double>(word);
}

// The allowed value nearest to value, for a range or a word list.
SANE_Word Constrain(const SANE_Option_Descriptor& desc, SANE_Word word)
{
    if (desc.constraint_type == SANE_CONSTRAINT_RANGE && desc.constraint.range &&
        desc.constraint.range->min <= desc.constraint.range->max) {
        const SANE_Range& r = *desc.constraint.range;
        word = std::clamp(word, r.min, r.max);
        if (r.quant <= 0)
            return word;
        const long long steps = std::llround((static_cast<double>(word) - r.min) / r.quant);
        return static_cast<SANE_Word>(std::min<long long>(r.min + steps * r.quant, r.max));
    }
    if (desc.constraint_type == SANE_CONSTRAINT_WORD_LIST && desc.constraint.word_list) {
        const SANE_Word* list = desc.constraint.word_list;
        SANE_Word best = word;
        long long bestDistance = -1;
        for (SANE_Word i = 1; i <= list[0]; ++i) {
            const long long distance = std::llabs(static_cast<long long>(list[i]) - word);
            if (bestDistance < 0 || distance < bestDistance) {
                bestDistance = distance;
                best = list[i];
            }
        }
        return best;
    }
    return word;
}

}  // namespace

CSaneDevice::CSaneDevice(const std::string& configFolder)
{
    std::lock_guard<std::mutex> hold(g_initLock);
    if (!g_bInitialised) {
        if (!configFolder.empty())
            setenv("SANE_CONFIG_DIR", configFolder.c_str(), 1);
        SANE_Int version = 0;
        g_bInitialised = sane_init(&version, nullptr) == SANE_STATUS_GOOD;
    }
    m_bInitialised = g_bInitialised;
}

CSaneDevice::~CSaneDevice()
{
    Close();
}

std::vector<SaneDeviceInfo> CSaneDevice::List(const std::string& configFolder)
{
    CSaneDevice initialiser(configFolder);
    std::vector<SaneDeviceInfo> vecDevices;
    const SANE_Device** ppList = nullptr;
    if (!initialiser.m_bInitialised || sane_get_devices(&ppList, SANE_FALSE) != SANE_STATUS_GOOD || ppList == nullptr)
        return vecDevices;
    for (const SANE_Device** pp = ppList; *pp != nullptr; ++pp) {
        const SANE_Device& device = **pp;
        if (device.name == nullptr)
            continue;
        std::string strLabel;
        for (const char* pszPart : {device.vendor, device.model, device.type})
            if (pszPart != nullptr && *pszPart != 0)
                strLabel += (strLabel.empty() ? "" : " ") + std::string(pszPart);
        vecDevices.push_back(SaneDeviceInfo{device.name, strLabel.empty() ? device.name : strLabel});
    }
    return vecDevices;
}

bool CSaneDevice::BedSize(double* pWidthMm, double* pHeightMm) const
{
    const SANE_Option_Descriptor* pX = nullptr;
    const SANE_Option_Descriptor* pY = nullptr;
    if (FindOption("br-x", &pX) < 0 || FindOption("br-y", &pY) < 0)
        return false;
    for (const SANE_Option_Descriptor* pDesc : {pX, pY})
        if (pDesc->constraint_type != SANE_CONSTRAINT_RANGE || pDesc->constraint.range == nullptr ||
            pDesc->unit != SANE_UNIT_MM)
            return false;
    *pWidthMm = FromWord(*pX, pX->constraint.range->max);
    *pHeightMm = FromWord(*pY, pY->constraint.range->max);
    return *pWidthMm > 0 && *pHeightMm > 0;
}

SANE_Status CSaneDevice::Open(const std::string& name)
{
    Close();
    if (!m_bInitialised)
        return SANE_STATUS_IO_ERROR;
    return sane_open(name.c_str(), &m_hDevice);
}

void CSaneDevice::Close()
{
    if (m_hDevice) {
        sane_close(m_hDevice);
        m_hDevice = nullptr;
    }
}

int CSaneDevice::FindOption(const std::string& name, const SANE_Option_Descriptor** ppDesc) const
{
    if (!m_hDevice)
        return -1;
    // Descriptors are looked up afresh each time: setting an option may reload them.
    for (int i = 1;; ++i) {
        const SANE_Option_Descriptor* desc = sane_get_option_descriptor(m_hDevice, i);
        if (!desc)
            return -1;
        if (desc->name && name == desc->name && SANE_OPTION_IS_ACTIVE(desc->cap)) {
            *ppDesc = desc;
            return i;
        }
    }
}

bool CSaneDevice::HasOption(const char* name) const
{
    const SANE_Option_Descriptor* desc = nullptr;
    return FindOption(name, &desc) >= 0;
}

SANE_Status CSaneDevice::SetRaw(int index, void* value)
{
    SANE_Int info = 0;
    return sane_control_option(m_hDevice, index, SANE_ACTION_SET_VALUE, value, &info);
}

SANE_Status CSaneDevice::SetText(const std::string& name, const std::string& text)
{
    const SANE_Option_Descriptor* desc = nullptr;
    const int index = FindOption(name, &desc);
    if (index < 0)
        return SANE_STATUS_UNSUPPORTED;
    switch (desc->type) {
    case SANE_TYPE_BOOL: {
        SANE_Word value;
        if (strcasecmp(text.c_str(), "yes") == 0 || strcasecmp(text.c_str(), "true") == 0 || text == "1")
            value = SANE_TRUE;
        else if (strcasecmp(text.c_str(), "no") == 0 || strcasecmp(text.c_str(), "false") == 0 || text == "0")
            value = SANE_FALSE;
        else
            return SANE_STATUS_INVAL;
        return SetRaw(index, &value);
    }
    case SANE_TYPE_INT:
    case SANE_TYPE_FIXED: {
        char* end = nullptr;
        const double number = std::strtod(text.c_str(), &end);
        if (end == text.c_str() || *end != 0 || desc->size != static_cast<SANE_Int>(sizeof(SANE_Word)))
            return SANE_STATUS_INVAL;
        SANE_Word value = ToWord(*desc, number);
        return SetRaw(index, &value);
    }
    case SANE_TYPE_STRING: {
        if (desc->size <= 0 || text.size() >= static_cast<size_t>(desc->size))
            return SANE_STATUS_INVAL;
        std::vector<char> value(static_cast<size_t>(desc->size), 0);
        std::memcpy(value.data(), text.c_str(), text.size());
        return SetRaw(index, value.data());
    }
    default:
        return SANE_STATUS_UNSUPPORTED;
    }
}

SANE_Status CSaneDevice::GetText(const std::string& name, std::string* text) const
{
    const SANE_Option_Descriptor* desc = nullptr;
    const int index = FindOption(name, &desc);
    if (index < 0 || desc->size <= 0)
        return SANE_STATUS_UNSUPPORTED;
    std::vector<char> value(static_cast<size_t>(desc->size) + 1, 0);
    const SANE_Status status = sane_control_option(m_hDevice, index, SANE_ACTION_GET_VALUE, value.data(), nullptr);
    if (status != SANE_STATUS_GOOD)
        return status;
    SANE_Word word = 0;
    std::memcpy(&word, value.data(), std::min(sizeof(word), value.size()));
    switch (desc->type) {
    case SANE_TYPE_BOOL:
        *text = word ? "yes" : "no";
        return SANE_STATUS_GOOD;
    case SANE_TYPE_INT:
        *text = std::to_string(word);
        return SANE_STATUS_GOOD;
    case SANE_TYPE_FIXED: {
        char buffer[32];
        std::snprintf(buffer, sizeof(buffer), "%.6f", SANE_UNFIX(word));
        *text = buffer;
        return SANE_STATUS_GOOD;
    }
    case SANE_TYPE_STRING:
        *text = value.data();
        return SANE_STATUS_GOOD;
    default:
        return SANE_STATUS_UNSUPPORTED;
    }
}

SANE_Status CSaneDevice::SetNumber(const std::string& name, double number)
{
    const SANE_Option_Descriptor* desc = nullptr;
    const int index = FindOption(name, &desc);
    if (index < 0 || (desc->type != SANE_TYPE_INT && desc->type != SANE_TYPE_FIXED) ||
        desc->size != static_cast<SANE_Int>(sizeof(SANE_Word)))
        return SANE_STATUS_UNSUPPORTED;
    SANE_Word value = Constrain(*desc, ToWord(*desc, number));
    return SetRaw(index, &value);
}

SANE_Status CSaneDevice::GetNumber(const std::string& name, double* number) const
{
    const SANE_Option_Descriptor* desc = nullptr;
    const int index = FindOption(name, &desc);
    if (index < 0 || (desc->type != SANE_TYPE_INT && desc->type != SANE_TYPE_FIXED) ||
        desc->size != static_cast<SANE_Int>(sizeof(SANE_Word)))
        return SANE_STATUS_UNSUPPORTED;
    SANE_Word value = 0;
    const SANE_Status status = sane_control_option(m_hDevice, index, SANE_ACTION_GET_VALUE, &value, nullptr);
    if (status == SANE_STATUS_GOOD)
        *number = FromWord(*desc, value);
    return status;
}

SANE_Status CSaneDevice::SelectString(const std::string& name, const std::vector<std::string>& candidates)
{
    const SANE_Option_Descriptor* desc = nullptr;
    const int index = FindOption(name, &desc);
    if (index < 0 || desc->type != SANE_TYPE_STRING || desc->constraint_type != SANE_CONSTRAINT_STRING_LIST)
        return SANE_STATUS_UNSUPPORTED;
    for (const std::string& candidate : candidates)
        for (const SANE_String_Const* entry = desc->constraint.string_list; *entry; ++entry)
            if (strncasecmp(*entry, candidate.c_str(), candidate.size()) == 0)
                return SetText(name, *entry);
    return SANE_STATUS_UNSUPPORTED;
}

SANE_Status CSaneDevice::Start(SANE_Parameters* params)
{
    if (!m_hDevice)
        return SANE_STATUS_INVAL;
    SANE_Status status = sane_start(m_hDevice);
    if (status == SANE_STATUS_GOOD)
        status = sane_get_parameters(m_hDevice, params);
    return status;
}

SANE_Status CSaneDevice::Read(unsigned char* buffer, int maxLength, int* length)
{
    SANE_Int got = 0;
    const SANE_Status status = sane_read(m_hDevice, buffer, maxLength, &got);
    *length = got;
    return status;
}

void CSaneDevice::Cancel()
{
    if (!m_hDevice)
        return;
    sane_cancel(m_hDevice);
    // A cancelled frame is read to its end, as frontends do: some backends only let go of
    // the frame's buffers when a read reports the cancel.
    unsigned char buffer[4096];
    SANE_Int got = 0;
    for (int i = 0; i < 1000 && sane_read(m_hDevice, buffer, sizeof(buffer), &got) == SANE_STATUS_GOOD; ++i) {
    }
}
