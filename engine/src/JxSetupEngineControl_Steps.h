// Small helpers of the engine-control steps: the log context of a step and a property test.
#pragma once

#include <string>

#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data::EngineSteps {

inline std::u16string Context(const WCHAR* step) {
    return std::u16string(u"JxSetup::Data::JxSetupEngineControl::") + step;
}

// The property's value is "true", ignoring case.
inline bool IsTrue(JxData& data, const WCHAR* property) {
    return jxtext::EqualsNoCase(data.GetPropertyValue(property), u"true");
}

} // namespace JxSetup::Data::EngineSteps
