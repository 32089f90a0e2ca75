// Condition expressions: the grammar as one table over a fixed set of properties, the log lines
// of a syntax error, and evaluation through the data object.
#include "jxsetupdata/JxExpressionParser.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxsetupdata/JxLog.h"
#include "jxtest/machine_root.h"

using JxSetup::Data::JxExpressionParser;

namespace {

// Expands [NAME] innermost first, an absent name as empty text, as the property store does.
JxExpressionParser::Resolver MapResolver(std::map<std::u16string, std::u16string> values) {
    return [values = std::move(values)](const std::u16string& text) {
        std::u16string result = text;
        for (int pass = 0; pass < 32; ++pass) {
            const size_t close = result.find(u']');
            const size_t open = close == std::u16string::npos ? close : result.rfind(u'[', close);
            if (open == std::u16string::npos)
                break;
            const auto it = values.find(result.substr(open + 1, close - open - 1));
            result.replace(open, close - open + 1, it == values.end() ? std::u16string() : it->second);
        }
        return result;
    };
}

std::u16string Nested(int depth, std::u16string_view inner) {
    return std::u16string(depth, u'(') + std::u16string(inner) + std::u16string(depth, u')');
}

struct LogLine {
    int level;
    std::u16string context;
    std::u16string message;
};

// Collects the log lines of this process while it lives.
class LogCapture {
public:
    LogCapture() {
        JxSetup::Data::Instance()->SetDoNotLog(false);
        JxSetup::Data::JxLog::SetCaptureForTesting(
            [this](int level, std::u16string_view, std::u16string_view context, std::u16string_view message) {
                m_Lines.push_back({level, std::u16string(context), std::u16string(message)});
            });
    }
    ~LogCapture() { JxSetup::Data::JxLog::SetCaptureForTesting(nullptr); }
    const std::vector<LogLine>& Lines() const { return m_Lines; }
    bool Has(int level, std::u16string_view context, std::u16string_view message) const {
        for (const LogLine& line : m_Lines) {
            if (line.level == level && line.context == context && line.message == message)
                return true;
        }
        return false;
    }

private:
    std::vector<LogLine> m_Lines;
};

constexpr std::u16string_view kParse = u"JxSetup::Data::JxExpressionParser::Parse";
constexpr std::u16string_view kScan = u"JxSetup::Data::JxExpressionParser::EvaluateDelimiterPositions";

// The log writer reads its settings from the machine's registry: every test has its own machine.
class ExpressionParser : public ::testing::Test {
protected:
    jxtest::TempMachineRoot m_Root;
};

} // namespace

TEST_F(ExpressionParser, GrammarTable) {
    JxExpressionParser parser(MapResolver({
        {u"VersionNT", u"601"},
        {u"INSTALLDIR", u"C:\\Program Files\\X"},
        {u"ZERO", u"0"},
        {u"ABC", u"abc"},
        {u"BITS", u"6&2"},
        {u"EMPTY", u""},
        {u"NEG", u"-5"},
        {u"MAX", u"9223372036854775807"},
        {u"OVER", u"9223372036854775808"},
        {u"VER", u"281483566841860"},    // %1.2.3.4 as the property store keeps it
        {u"VERLOW", u"281483566841859"}, // %1.2.3.3
        {u"OR", u"1==1 || 1==1"},
    }));
    struct Row {
        std::u16string condition;
        bool expected;
    };
    const std::vector<Row> rows = {
        // Empty, blank and bare texts.
        {u"", true},
        {u" ", false},
        {u"[VersionNT]", false},
        {u"&", false},
        // Numbers: signed 64-bit; one number makes the comparison numeric, the other side counts as 0.
        {u"[VersionNT]>=600", true},
        {u"[Missing]>=600", false},
        {u"[VersionNT] == 601", true},
        {u"[VersionNT] != 601", false},
        {u"[VersionNT] < 602", true},
        {u"[VersionNT] <= 601", true},
        {u"[VersionNT] > 601", false},
        {u"[VersionNT] >= 602", false},
        {u"'10' > '9'", true},
        {u"[NEG] < 0", true},
        {u"-5 == [NEG]", true},
        {u"+7 == 7", true},
        {u"[MAX] > 9223372036854775806", true},
        {u"[OVER] > 0", false}, // out of range is no number: 0 > 0
        {u"[OVER] == 0", true},
        {u"[ZERO] == ''", true},
        {u"5x == 5", false},
        {u"0x10 == 16", false},
        {u"\t5 == 5", false}, // only U+0020 is trimmed
        {u"[VER] > [VERLOW]", true},
        {u"[VersionNT] >= 6.1", true},   // a dotted version in the text is no number: 601 >= 0
        {u"[VersionNT] == [OR]", false}, // property values are never scanned for structure
        // Texts: equality ignoring case; order by length.
        {u"[ABC] == 'ABC'", true},
        {u"[ABC] != 'ABC'", false},
        {u"[ABC] == 'abd'", false},
        {u"[ABC] < 'abcd'", true},
        {u"[ABC] < 'b'", false},
        {u"[ABC] >= 'xyz'", true},
        {u"[ABC] > 'xyz'", false},
        {u"'a'b\"c' == [ABC]", true},
        {u"'\u00c4BC' == '\u00e4bc'", true},
        {u"6.1.7601 < 6.1.7600", false},
        {u"[ABC] = abc", false},
        // The first operator in the fixed order splits the term: "==" before "<".
        {u"1<2==0", true}, // "1<2" is no number: 0 == 0
        // Bitwise form of the left operand only, untrimmed parts.
        {u"[BITS] == 2", true},
        {u"12&4 == 4", true},
        {u"2 == [BITS]", false},
        {u"12 & 4 == 4", false},
        {u"7&x == 7", false},
        // Abbreviations.
        {u"_[INSTALLDIR]", true},
        {u"![INSTALLDIR]", false},
        {u"_[Missing]", false},
        {u"![Missing]", true},
        {u"_[EMPTY]", false},
        {u"_[ZERO]", false}, // 0 != '' compares 0 with 0
        {u"_[INSTALLDIR] && ![Missing]", true},
        {u"(_[INSTALLDIR]) && ![ABC]", false},
        {u"1==1 && x_[]", false}, // fewer than four characters left: no abbreviation, no comparison
        // "&&" binds tighter than "||"; brackets group.
        {u"1==1 || 1==2 && 1==2", true},
        {u"(1==1 || 1==2) && 1==2", false},
        {u"1==2 && 1==2 || 1==1", true},
        {u"1==2 && (1==2 || 1==1)", false},
        {u"1==1 && 1==2 || 1==2 && 1==1", false},
        {u"1==2 || 1==2 || 1==1", true},
        {u"((((1==1))))", true},
        {u"( 1==1 ) && ( (2==3) || (3==3) )", true},
        {Nested(JxExpressionParser::kMaxNesting, u"1==1"), true},
        // Empty operands and groups.
        {u"()", false},
        {u"1==1 ||", false},
        {u"|| 1==1", false},
        {u"1==1 &&&& 1==1", false},
        // Structure inside quotes is structure.
        {u"'a&&b' == 'a&&b'", false},
        {u"'(' == '('", false},
        // Syntax errors.
        {u"1==1 | 1==1", false},
        {u"1==1 |", false},
        {u"1==1 ||| 1==1", false},
        {u"((1==1)", false},
        {u"(1==1))", false},
        {u"1==1) || (1==1", false},
        {u")(", false},
        {u"a (1==1)", false},
        {u"(1==1) a", false},
        {u"(1==1)(1==1)", false},
        {u"(1==1)&(1==1)", false},
        {Nested(JxExpressionParser::kMaxNesting + 1, u"1==1"), false},
        {Nested(100000, u"1==1"), false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(parser.Parse(row.condition), row.expected) << jxtext::N(row.condition.substr(0, 80));
    }
}

TEST_F(ExpressionParser, WithoutResolverEveryOperandIsEmpty) {
    JxExpressionParser parser(nullptr);
    EXPECT_TRUE(parser.Parse(u"1 == 2"));
    EXPECT_FALSE(parser.Parse(u"1 < 2"));
    EXPECT_TRUE(parser.Parse(u""));
    EXPECT_FALSE(parser.Parse(u"(1 == 2"));
}

TEST_F(ExpressionParser, SyntaxErrorsAreLogged) {
    struct Row {
        std::u16string condition;
        std::u16string_view detail;
    };
    const Row rows[] = {
        {u"[A]==1 | [B]==1", u"Syntax error. Invalid/Unexpected operator found."},
        {u"([A]==1", u"Syntax error. Unequal count of opening and closing brackets found."},
        {u"[A]==1) && ([B]==1", u"Syntax error. Closing bracket found before its opening bracket."},
        {u"a ([B]==1)", u"Syntax error. Unexpected text next to a bracket found."},
        {Nested(JxExpressionParser::kMaxNesting + 1, u"1==1"),
         u"Syntax error. Brackets are nested too deep."},
    };
    JxExpressionParser parser(MapResolver({}));
    for (const Row& row : rows) {
        LogCapture log;
        EXPECT_FALSE(parser.Parse(row.condition));
        EXPECT_TRUE(log.Has(JxSetup::Data::LOG_BEGIN, kParse, row.condition)) << jxtext::N(row.detail);
        EXPECT_TRUE(log.Has(JxSetup::Data::LP_ERROR, kScan, row.detail)) << jxtext::N(row.detail);
        EXPECT_TRUE(log.Has(JxSetup::Data::LP_ERROR, kParse, u"Expression syntax is invalid."))
            << jxtext::N(row.detail);
        ASSERT_FALSE(log.Lines().empty());
        const LogLine& last = log.Lines().back();
        EXPECT_EQ(last.level, JxSetup::Data::LOG_END);
        EXPECT_EQ(last.message, u"false");
    }

    // An empty condition is a normal case: an information line, no error.
    LogCapture log;
    EXPECT_TRUE(parser.Parse(u""));
    EXPECT_TRUE(log.Has(JxSetup::Data::LP_INFO, kParse, u"Expression is empty. Expected result is true."));
    for (const LogLine& line : log.Lines())
        EXPECT_NE(line.level, JxSetup::Data::LP_ERROR) << jxtext::N(line.message);
    EXPECT_TRUE(log.Has(JxSetup::Data::LOG_END, kParse, u"true"));
}

TEST_F(ExpressionParser, EvaluatesThroughDataObject) {
    JxSetup::Data::JxData data;
    data.SetProperty(u"VersionNT", u"601", 0);
    data.SetProperty(u"INSTALLDIR", u"C:\\Program Files\\X", 0);
    EXPECT_TRUE(data.ParseExpression(u"[VersionNT]>=600 && _[INSTALLDIR]"));
    EXPECT_FALSE(data.ParseExpression(u"[VersionNT]>=602 || ![INSTALLDIR]"));
    EXPECT_TRUE(data.ParseExpression(u""));
}
