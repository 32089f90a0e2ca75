// The data object's condition operations.
#include "jxsetupdata/JxData.h"
#include "jxsetupdata/JxExpressionParser.h"

namespace JxSetup::Data {

bool JxData::ParseExpression(const std::u16string& text) {
    JxExpressionParser parser([this](const std::u16string& operand) { return ExpandProperties(operand); });
    return parser.Parse(text);
}

} // namespace JxSetup::Data
