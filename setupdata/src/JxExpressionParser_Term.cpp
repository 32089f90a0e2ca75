// One comparison of a condition: "left op right" with op one of == != <= >= < >. Numbers compare
// as signed 64-bit values; texts compare equal ignoring case, and order by their lengths.
#include "jxsetupdata/JxExpressionParser.h"

#include <optional>

#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

enum class CompareOp { Equal, NotEqual, LessEqual, GreaterEqual, Less, Greater };

struct OperatorText {
    std::u16string_view text;
    CompareOp op;
};

// The search order decides which operator a term has: "==" anywhere wins over "!=", and so on.
constexpr OperatorText kOperators[] = {
    {u"==", CompareOp::Equal},        {u"!=", CompareOp::NotEqual}, {u"<=", CompareOp::LessEqual},
    {u">=", CompareOp::GreaterEqual}, {u"<", CompareOp::Less},      {u">", CompareOp::Greater},
};

// A number is an optional sign and decimal digits, nothing else; out of range is no number.
std::optional<long long> StrictInt64(std::u16string_view text) {
    size_t i = !text.empty() && (text[0] == u'+' || text[0] == u'-') ? 1 : 0;
    if (i == text.size())
        return std::nullopt;
    for (; i < text.size(); ++i) {
        if (text[i] < u'0' || text[i] > u'9')
            return std::nullopt;
    }
    return jxtext::TryParseInt(text, 10);
}

// The bitwise form of a left operand: "12&4" becomes "4" when both sides are numbers.
std::u16string FoldBitwise(std::u16string operand) {
    const size_t amp = operand.find(u'&');
    if (amp == std::u16string::npos)
        return operand;
    const auto lhs = StrictInt64(std::u16string_view(operand).substr(0, amp));
    const auto rhs = StrictInt64(std::u16string_view(operand).substr(amp + 1));
    if (!lhs || !rhs)
        return operand;
    return jxtext::ToText(*lhs & *rhs);
}

template <class T> bool Compare(CompareOp op, const T& a, const T& b) {
    switch (op) {
    case CompareOp::Equal:
        return a == b;
    case CompareOp::NotEqual:
        return a != b;
    case CompareOp::LessEqual:
        return a <= b;
    case CompareOp::GreaterEqual:
        return a >= b;
    case CompareOp::Less:
        return a < b;
    case CompareOp::Greater:
        return a > b;
    }
    return false;
}

} // namespace

// Quotes go wherever they are, blanks (U+0020) at the ends, then [NAME] references expand.
std::u16string JxExpressionParser::_term_PrepareOperand(std::u16string_view operand) const {
    std::u16string plain;
    plain.reserve(operand.size());
    for (char16_t c : operand) {
        if (c != u'\'' && c != u'"')
            plain += c;
    }
    const size_t first = plain.find_first_not_of(u' ');
    if (first == std::u16string::npos)
        plain.clear();
    else
        plain = plain.substr(first, plain.find_last_not_of(u' ') - first + 1);
    if (!m_Resolver)
        return std::u16string();
    return m_Resolver(plain);
}

bool JxExpressionParser::_term_Evaluate(const std::u16string& term) const {
    size_t at = std::u16string::npos;
    const OperatorText* found = nullptr;
    for (const OperatorText& candidate : kOperators) {
        at = term.find(candidate.text);
        if (at != std::u16string::npos) {
            found = &candidate;
            break;
        }
    }
    if (!found)
        return false; // a bare reference or text is no comparison

    const std::u16string_view whole(term);
    const std::u16string left = FoldBitwise(_term_PrepareOperand(whole.substr(0, at)));
    const std::u16string right = _term_PrepareOperand(whole.substr(at + found->text.size()));

    const auto leftNumber = StrictInt64(left);
    const auto rightNumber = StrictInt64(right);
    if (leftNumber || rightNumber)
        return Compare(found->op, leftNumber.value_or(0), rightNumber.value_or(0));

    if (found->op == CompareOp::Equal)
        return jxtext::EqualsNoCase(left, right);
    if (found->op == CompareOp::NotEqual)
        return !jxtext::EqualsNoCase(left, right);
    return Compare(found->op, left.size(), right.size());
}

} // namespace JxSetup::Data
