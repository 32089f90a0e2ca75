// Lookups over the loaded definition: components, feature sizes, and the resource-language switch
// applied right after loading.
#include "jxsetupdata/JxData.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

// A size of the file metadata: a decimal number with "." as decimal point, the whole text.
bool ParseSize(const std::u16string& text, double& value) {
    std::string narrow;
    narrow.reserve(text.size());
    for (char16_t c : text) {
        if (c > 0x7F)
            return false;
        narrow.push_back(static_cast<char>(c));
    }
    const char* end = narrow.data() + narrow.size();
    const auto result = std::from_chars(narrow.data(), end, value, std::chars_format::general);
    return result.ec == std::errc() && result.ptr == end && std::isfinite(value);
}

int32_t ClampToInt32(double value) {
    if (value >= static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    if (value <= static_cast<double>(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value); // toward zero
}

} // namespace

void JxData::InstallAllContainedRessources() {
    const WCHAR* context = u"JxSetup::Data::JxData::InstallAllContainedRessources";
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"");
    {
        CJxDataLock lock(*this);
        if (jxtext::EqualsNoCase(GetPropertyValue(u"_InstallAllRessources"), u"true")) {
            for (JxFile& file : m_Files) {
                if (jxtext::EqualsNoCase(file.resource, u"true") &&
                    !jxtext::EqualsNoCase(file.installallcontainedlanguages, u"true"))
                    file.installallcontainedlanguages = u"true";
            }
        }
    }
    log->Log(LOG_END, kModule, context, u"");
}

JxComponent JxData::GetComponentOfFeature(const std::u16string& componentId, const JxFeature& feature) {
    CJxDataLock lock(*this);
    for (const JxComponent& component : feature.components) {
        if (component.id == componentId)
            return component;
    }
    return JxComponent();
}

JxComponent JxData::GetComponent(const std::u16string& componentId) {
    CJxDataLock lock(*this);
    auto found = m_Components.find(componentId);
    if (found != m_Components.end())
        return found->second;
    JxComponent invalid;
    invalid.id = u"Invalid";
    return invalid;
}

int32_t JxData::GetFeatureSize(const std::u16string& featureName) {
    CJxDataLock lock(*this);
    double sum = 0.0;
    for (const JxFeature& feature : m_Features) {
        if (feature.name != featureName && feature.dependson != featureName)
            continue;
        for (const JxComponent& component : feature.components) {
            for (const JxFile& file : m_FileMetaInformation) {
                if (file.size.empty() || !jxtext::EqualsNoCase(file.componentid, component.id))
                    continue;
                double size = 0.0;
                if (!ParseSize(file.size, size)) {
                    // A broken metadata row must not cost the whole product size.
                    GetLog()->Log(LP_WARNING, kModule, u"JxSetup::Data::JxData::GetFeatureSize",
                                  u"Size of file %s is not a number: %s. Counted as 0.", file.name.c_str(),
                                  file.size.c_str());
                    continue;
                }
                sum += size;
            }
        }
    }
    return ClampToInt32(sum);
}

int32_t JxData::GetInstalledFeaturesSize() {
    // A feature that depends on another one is counted with the feature it depends on.
    std::vector<std::u16string> names;
    {
        CJxDataLock lock(*this);
        for (const JxFeature& feature : m_Features) {
            if (feature.dependson.empty())
                names.push_back(feature.name);
        }
    }
    int64_t total = 0;
    for (const std::u16string& name : names) {
        if (jxtext::EqualsNoCase(GetFeatureState(name), u"FeatureStateInstalled"))
            total += GetFeatureSize(name);
    }
    return static_cast<int32_t>(
        std::clamp<int64_t>(total, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

} // namespace JxSetup::Data
