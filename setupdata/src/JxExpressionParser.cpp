// The condition evaluation: abbreviations, structure scan, then "||" chains of "&&" chains.
#include "jxsetupdata/JxExpressionParser.h"

#include "jxsetupdata/JxLog.h"

namespace JxSetup::Data {
namespace {

constexpr const char16_t* kModule = u"lib";
constexpr const char16_t* kParseContext = u"JxSetup::Data::JxExpressionParser::Parse";
constexpr const char16_t* kTermsContext = u"JxSetup::Data::JxExpressionParser::EvaluateExpressionTerms";

} // namespace

bool JxExpressionParser::Parse(const std::u16string& text) {
    Instance()->Log(LOG_BEGIN, kModule, kParseContext, u"%s", text.c_str());
    m_Expression.clear();
    m_Delimiters.clear();

    bool result = false;
    if (text.empty()) {
        // No condition means no restriction. The empty text needs no abbreviation check, so no
        // error line is written for it.
        Instance()->Log(LP_INFO, kModule, kParseContext, u"Expression is empty. Expected result is true.");
        result = true;
    } else {
        m_Expression = _abbr_Rewrite(text);
        if (!_scan_EvaluateDelimiterPositions()) {
            Instance()->Log(LP_ERROR, kModule, kParseContext, u"Expression syntax is invalid.");
        } else {
            const Operand whole = _eval_OrChain(0, true);
            // The scan has checked the structure, so the chain always ends at the end entry.
            result = whole.next < m_Delimiters.size() &&
                     m_Delimiters[whole.next].kind == DelimiterKind::End && whole.value;
        }
    }
    Instance()->Log(LOG_END, kModule, kParseContext, u"%s", result ? u"true" : u"false");
    return result;
}

// "&&" binds tighter than "||"; both chains run from left to right. An empty term as an operand
// makes that one operation false, whatever the other operand is.
JxExpressionParser::Operand JxExpressionParser::_eval_OrChain(size_t before, bool evaluate) {
    Operand chain = _eval_AndChain(before, evaluate);
    while (chain.next < m_Delimiters.size() && m_Delimiters[chain.next].kind == DelimiterKind::Or) {
        // Once the chain is true only the emptiness of the right side can still change it.
        const bool needRight = evaluate && !chain.value && !chain.emptyTerm;
        const Operand right = _eval_AndChain(chain.next, needRight);
        chain.value = !chain.emptyTerm && !right.emptyTerm && (chain.value || right.value);
        chain.emptyTerm = false;
        chain.next = right.next;
    }
    return chain;
}

JxExpressionParser::Operand JxExpressionParser::_eval_AndChain(size_t before, bool evaluate) {
    Operand chain = _eval_Operand(before, evaluate);
    while (chain.next < m_Delimiters.size() && m_Delimiters[chain.next].kind == DelimiterKind::And) {
        const bool needRight = evaluate && chain.value && !chain.emptyTerm;
        const Operand right = _eval_Operand(chain.next, needRight);
        chain.value = !chain.emptyTerm && !right.emptyTerm && chain.value && right.value;
        chain.emptyTerm = false;
        chain.next = right.next;
    }
    return chain;
}

// The operand after the delimiter `before`: a bracketed group or the term up to the next delimiter.
JxExpressionParser::Operand JxExpressionParser::_eval_Operand(size_t before, bool evaluate) {
    if (before + 1 >= m_Delimiters.size()) {
        Instance()->Log(LP_ERROR, kModule, kTermsContext, u"Invalid parameter");
        return {false, false, m_Delimiters.size()};
    }
    if (m_Delimiters[before + 1].kind == DelimiterKind::Open) {
        const Operand inner = _eval_OrChain(before + 1, evaluate);
        if (inner.next >= m_Delimiters.size() || m_Delimiters[inner.next].kind != DelimiterKind::Close) {
            Instance()->Log(LP_ERROR, kModule, kTermsContext, u"Invalid parameter");
            return {false, false, m_Delimiters.size()};
        }
        // "()" holds an empty term and is false; a group is never an empty term itself.
        return {inner.value && !inner.emptyTerm, false, inner.next + 1};
    }
    const std::u16string term = _eval_TermText(before);
    if (term.empty())
        return {false, true, before + 1};
    return {evaluate && _term_Evaluate(term), false, before + 1};
}

// The text between the delimiter `before` and the next one, without "(", ")", "&" and "|" at its ends.
std::u16string JxExpressionParser::_eval_TermText(size_t before) const {
    const Delimiter& left = m_Delimiters[before];
    size_t begin = left.position;
    switch (left.kind) {
    case DelimiterKind::Start:
        break;
    case DelimiterKind::Open:
    case DelimiterKind::Close:
        begin += 1;
        break;
    default:
        begin += 2;
        break;
    }
    size_t end = m_Delimiters[before + 1].position;
    constexpr std::u16string_view kEdge = u"()&|";
    while (begin < end && kEdge.find(m_Expression[begin]) != std::u16string_view::npos)
        ++begin;
    while (end > begin && kEdge.find(m_Expression[end - 1]) != std::u16string_view::npos)
        --end;
    return m_Expression.substr(begin, end - begin);
}

} // namespace JxSetup::Data
