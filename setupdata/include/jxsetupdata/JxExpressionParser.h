// Condition expressions of the setup definition ("[VersionNT]>=600 && _[INSTALLDIR]"): one text
// evaluated to true or false, with property references resolved per operand.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace JxSetup::Data {

class JxExpressionParser {
public:
    // Turns a text with [NAME] references into its value (the data object's ExpandProperties).
    // An empty resolver makes every operand empty.
    using Resolver = std::function<std::u16string(const std::u16string&)>;

    // Brackets nested deeper than this are a syntax error, so that evaluation never runs out of stack.
    static constexpr int kMaxNesting = 100;

    explicit JxExpressionParser(Resolver resolver) : m_Resolver(std::move(resolver)) {}

    // Evaluates one condition. An empty text is true; a syntax error is false (and logged).
    bool Parse(const std::u16string& text);

private:
    enum class DelimiterKind { Start, End, Open, Close, And, Or };
    struct Delimiter {
        DelimiterKind kind;
        int depth;
        size_t position; // index in m_Expression; for End the length of the text
    };
    // What one operand or chain gave, and the index of the delimiter that ends it.
    struct Operand {
        bool value;
        bool emptyTerm; // a bare empty term: it makes an "&&" or "||" it takes part in false
        size_t next;
    };

    // Abbreviations: _[NAME] stands for [NAME] != '' and ![NAME] for [NAME] == ''.
    static std::u16string _abbr_Rewrite(const std::u16string& text);

    // Fills m_Delimiters from m_Expression; false (logged, list cleared) on a syntax error.
    bool _scan_EvaluateDelimiterPositions();
    bool _scan_Fail(const char16_t* message);
    bool _scan_CheckBracketNeighbours();

    // Recursive evaluation over the delimiter list; `evaluate` false only walks the structure.
    Operand _eval_OrChain(size_t before, bool evaluate);
    Operand _eval_AndChain(size_t before, bool evaluate);
    Operand _eval_Operand(size_t before, bool evaluate);
    std::u16string _eval_TermText(size_t before) const;

    // One comparison such as "[A] >= 5".
    bool _term_Evaluate(const std::u16string& term) const;
    std::u16string _term_PrepareOperand(std::u16string_view operand) const;

    Resolver m_Resolver;
    std::u16string m_Expression;
    std::vector<Delimiter> m_Delimiters;
};

} // namespace JxSetup::Data
