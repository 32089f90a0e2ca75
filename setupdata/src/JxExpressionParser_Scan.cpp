// The structure scan of a condition: brackets and the operators "&&" and "||", found anywhere in
// the text (quotes do not hide them), with the checks that keep evaluation well-defined.
#include "jxsetupdata/JxExpressionParser.h"

#include "jxsetupdata/JxLog.h"

namespace JxSetup::Data {
namespace {

constexpr const char16_t* kScanContext = u"JxSetup::Data::JxExpressionParser::EvaluateDelimiterPositions";

bool IsBlankOnly(std::u16string_view text) {
    return text.find_first_not_of(u' ') == std::u16string_view::npos;
}

} // namespace

bool JxExpressionParser::_scan_Fail(const char16_t* message) {
    Instance()->Log(LP_ERROR, u"lib", kScanContext, u"%s", message);
    m_Delimiters.clear();
    return false;
}

bool JxExpressionParser::_scan_EvaluateDelimiterPositions() {
    m_Delimiters.clear();
    m_Delimiters.push_back({DelimiterKind::Start, 0, 0});
    const std::u16string& text = m_Expression;
    int depth = 0;
    size_t opened = 0;
    size_t closed = 0;
    bool misordered = false;
    for (size_t i = 0; i < text.size(); ++i) {
        switch (text[i]) {
        case u'(':
            ++opened;
            if (++depth > kMaxNesting)
                return _scan_Fail(u"Syntax error. Brackets are nested too deep.");
            m_Delimiters.push_back({DelimiterKind::Open, depth, i});
            break;
        case u')':
            ++closed;
            if (depth == 0) {
                misordered = true; // reported after the count check
                break;
            }
            m_Delimiters.push_back({DelimiterKind::Close, depth, i});
            --depth;
            break;
        case u'&':
            // A single "&" is part of a term (the bitwise form of a left operand).
            if (i + 1 < text.size() && text[i + 1] == u'&') {
                m_Delimiters.push_back({DelimiterKind::And, depth, i});
                ++i;
            }
            break;
        case u'|':
            if (i + 1 >= text.size() || text[i + 1] != u'|')
                return _scan_Fail(u"Syntax error. Invalid/Unexpected operator found.");
            m_Delimiters.push_back({DelimiterKind::Or, depth, i});
            ++i;
            break;
        default:
            break;
        }
    }
    if (opened != closed)
        return _scan_Fail(u"Syntax error. Unequal count of opening and closing brackets found.");
    // Equal counts in the wrong order, as in ")(", leave the groups undefined.
    if (misordered)
        return _scan_Fail(u"Syntax error. Closing bracket found before its opening bracket.");
    m_Delimiters.push_back({DelimiterKind::End, 0, text.size()});
    return _scan_CheckBracketNeighbours();
}

// A bracket group stands where an operand stands: before "(" only blanks may follow a start, a
// "(" or an operator, and after ")" only blanks may come before an operator, a ")" or the end.
// Anything else ("a (b==1)", "(a==1) b", "(a==1)(b==1)") has no meaning and is a syntax error.
bool JxExpressionParser::_scan_CheckBracketNeighbours() {
    for (size_t i = 1; i < m_Delimiters.size(); ++i) {
        const Delimiter& left = m_Delimiters[i - 1];
        const Delimiter& right = m_Delimiters[i];
        const bool opens = right.kind == DelimiterKind::Open;
        const bool closes = left.kind == DelimiterKind::Close;
        if (!opens && !closes)
            continue;
        const size_t begin = left.kind == DelimiterKind::Start ? 0
                             : (left.kind == DelimiterKind::And || left.kind == DelimiterKind::Or)
                                 ? left.position + 2
                                 : left.position + 1;
        const std::u16string_view gap(m_Expression.data() + begin, right.position - begin);
        if ((opens && closes) || !IsBlankOnly(gap))
            return _scan_Fail(u"Syntax error. Unexpected text next to a bracket found.");
    }
    return true;
}

} // namespace JxSetup::Data
