// The page sequencer of the GUI: the setup definition's "UISequence" element as a small state
// machine of named stages (each shows one page, or only sets properties and jumps on) and named
// sequences (entry points into it). The GUI bridge and the GUI module ask it for the first page,
// the next page and the page of the current stage, and tell it where to go.
//
// Special destinations: "#start" (install), "#exit", "#abort", "#fail"; a stage named
// "#PostInstall" is the entry of the pages after the installation. Names compare ignoring case.
#pragma once

#include <string>
#include <vector>

#include "jxbase/xml/xmldom.h"
#include "jxsetupdata/JxModuleAbi.h"

namespace JxSetup::Data {

class JxData;

// Result codes of ExecuteStage.
enum JxStageResult : int {
    kStageFail = 4,    // "#fail", an empty destination, or a stage whose walk goes round a cycle
    kStageStart = 5,   // "#start": begin the installation
    kStageAbort = 6,   // "#abort"
    kStageExit = 7,    // "#exit", "_ExitPremature", or an unknown special page
    kStageEntered = 10 // a stage was entered; its page is GetCurrentPage
};

// The operations a GUI module calls, in slot order (see JxModuleAbi.h).
class IJxUiSequencer {
public:
    // Reads the UISequence element; false when it has no sequence or no stage.
    virtual bool ProcessXml(JxData* data, const CXMLDOMNode& element) = 0;
    virtual bool IsOk() = 0;
    // With a name: that sequence's entry stage name ("#fail" when there is none); "#PostInstall":
    // the page of that stage; no name: the page of the first sequence whose condition holds.
    virtual std::u16string StartSequence(const std::u16string& name) = 0;
    virtual std::u16string GetCurrentPage() = 0;
    // The destination of the current stage's first next-jump that applies, or "#fail".
    virtual std::u16string GetNextPageInSequence() = 0;
    virtual int ExecuteStage(const std::u16string& destination) = 0;
    virtual int ReturnsZero() = 0;
    // Empties the stage stack.
    virtual void Reset() = 0;

protected:
    ~IJxUiSequencer() = default;
};

class JxUiSequencer final : public IJxUiSequencer {
public:
    struct Set {
        std::u16string property, value, condition;
    };
    struct Jump {
        std::u16string destination, condition;
    };
    struct Sequence {
        std::u16string name, stage, condition;
        std::vector<Set> sets; // document order, no two with one property name
    };
    struct Stage {
        std::u16string name, page;
        std::vector<Set> sets;
        std::vector<Jump> jumps;
    };

    JxUiSequencer() = default;
    ~JxUiSequencer() = default;
    JxUiSequencer(const JxUiSequencer&) = delete;
    JxUiSequencer& operator=(const JxUiSequencer&) = delete;

    bool ProcessXml(JxData* data, const CXMLDOMNode& element) override;
    bool IsOk() override;
    std::u16string StartSequence(const std::u16string& name) override;
    std::u16string GetCurrentPage() override;
    std::u16string GetNextPageInSequence() override;
    int ExecuteStage(const std::u16string& destination) override;
    int ReturnsZero() override { return 0; }
    void Reset() override { m_StageStack.clear(); }

    bool AddSequence(const CXMLDOMNode& element);
    bool AddStage(const CXMLDOMNode& element);
    // Enters the stage and walks on through stages without a page: the page to show, or "#fail"
    // (also when the walk would go round in a cycle).
    std::u16string RunStage(const Stage* stage);

    const Stage* FindStage(const std::u16string& name) const;
    const std::vector<Sequence>& GetSequences() const { return m_Sequences; }
    const std::vector<Stage>& GetStages() const { return m_Stages; }
    // The names of the stages entered; the current one last.
    const std::vector<std::u16string>& GetStageStack() const { return m_StageStack; }

private:
    static bool _seq_ParseSet(const CXMLDOMNode& element, Set& set);
    static void _seq_AddSet(std::vector<Set>& sets, Set set, const WCHAR* context);
    void _seq_ApplySets(const std::vector<Set>& sets);
    // RunStage's walk; `cycled` tells that it went round a cycle of stages without a page.
    std::u16string _seq_Walk(const Stage* stage, bool& cycled);
    std::u16string _seq_Top() const { return m_StageStack.empty() ? std::u16string() : m_StageStack.back(); }

    std::vector<std::u16string> m_StageStack;
    JxData* m_Data = nullptr; // not owned
    std::vector<Sequence> m_Sequences;
    std::vector<Stage> m_Stages;
};

} // namespace JxSetup::Data
