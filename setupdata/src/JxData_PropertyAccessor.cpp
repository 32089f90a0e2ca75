// The small property interface bound to a data object.
#include "jxsetupdata/JxData.h"

#include <algorithm>

#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

std::u16string TextOf(const WCHAR* text) {
    return text ? std::u16string(text) : std::u16string();
}

} // namespace

int CPropertyAccessor::GetPropertyValue(const WCHAR* text, WCHAR* buffer, int size) {
    const std::u16string value = m_Data->ExpandProperties(TextOf(text));
    if (!buffer)
        return static_cast<int>(value.size());
    if (value.empty() || size < 1)
        return 0;
    // At most size - 1 characters; the rest of the buffer is zero-filled up to its last position.
    const size_t copied = std::min(value.size(), static_cast<size_t>(size) - 1);
    std::copy_n(value.data(), copied, buffer);
    std::fill(buffer + copied, buffer + size, u'\0');
    return static_cast<int>(copied);
}

void CPropertyAccessor::SetPropertyBool(const WCHAR* name, bool flag) {
    SetPropertyValue(name, flag ? u"true" : u"false");
}

void CPropertyAccessor::SetPropertyValue(const WCHAR* name, const WCHAR* value) {
    const std::u16string propertyName = TextOf(name);
    if (propertyName.empty())
        return;
    m_Data->SetProperty(propertyName, TextOf(value), 1);
}

bool CPropertyAccessor::IsPropertyTrue(const WCHAR* text) {
    if (!text)
        return false;
    return m_Data->ExpandProperties(text) == u"true";
}

bool CPropertyAccessor::IsPropertyLocked(const WCHAR* name) {
    if (!name)
        return false;
    return m_Data->IsPropertyLocked(name);
}

} // namespace JxSetup::Data
