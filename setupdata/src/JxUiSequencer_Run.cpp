// The page sequencer's walk: starting a sequence, entering stages, the next page and the special
// destinations.
#include "jxsetupdata/JxData.h"
#include "jxsetupdata/JxUiSequencer.h"

#include "jxbase/trace.h"
#include "jxplat/text.h"

namespace JxSetup::Data {

void JxUiSequencer::_seq_ApplySets(const std::vector<Set>& sets) {
    // Document order: a set's condition may read what an earlier set of the same stage wrote.
    for (const Set& set : sets) {
        if (!set.condition.empty() && !m_Data->GetConditionResult(set.condition))
            continue;
        m_Data->SetProperty(set.property, set.value, 1);
    }
}

const JxUiSequencer::Stage* JxUiSequencer::FindStage(const std::u16string& name) const {
    if (name.empty())
        return nullptr;
    for (const Stage& stage : m_Stages)
        if (jxtext::EqualsNoCase(stage.name, name))
            return &stage;
    return nullptr;
}

std::u16string JxUiSequencer::StartSequence(const std::u16string& name) {
    JX_ENGINE_TRACE(4, u"JxSetup::Data::JxUiSequencer::StartSequence", u"=> Start sequence\n");
    if (!m_Data) {
        JX_ENGINE_TRACE(0, u"JxSetup::Data::JxUiSequencer::StartSequence",
                        u"<= Start sequence: FAIL! No data object bound!\n");
        return u"#fail";
    }
    if (!name.empty() && !jxtext::EqualsNoCase(name, u"#PostInstall")) {
        for (const Sequence& sequence : m_Sequences)
            if (jxtext::EqualsNoCase(sequence.name, name))
                return FindStage(sequence.stage) ? sequence.stage : u"#exit";
        JX_ENGINE_TRACE(0, u"JxSetup::Data::JxUiSequencer::StartSequence",
                        u"<= Start sequence: No sequence found\n");
        return u"#fail";
    }
    if (!name.empty()) {
        const Stage* postInstall = FindStage(u"#PostInstall");
        if (!postInstall) {
            JX_ENGINE_TRACE(4, u"JxSetup::Data::JxUiSequencer::StartSequence",
                            u"#postinstall not found. Propagate to #exit\n");
            return u"#exit";
        }
        JX_ENGINE_TRACE(4, u"JxSetup::Data::JxUiSequencer::StartSequence",
                        u"Running #postinstall sequence\n");
        return RunStage(postInstall);
    }
    JX_ENGINE_TRACE(4, u"JxSetup::Data::JxUiSequencer::StartSequence",
                    u"no sequence given. Determining it from the seqeunce conditions!\n");
    for (const Sequence& sequence : m_Sequences) {
        const Stage* entry = FindStage(sequence.stage);
        if (!entry)
            continue;
        if (!sequence.condition.empty() && !m_Data->GetConditionResult(sequence.condition))
            continue;
        JX_ENGINE_TRACE(4, u"JxSetup::Data::JxUiSequencer::StartSequence",
                        u"Seqeunce start found: %s. Branching to stage %s.\n", sequence.name.c_str(),
                        sequence.stage.c_str());
        _seq_ApplySets(sequence.sets);
        JX_ENGINE_TRACE(4, u"JxSetup::Data::JxUiSequencer::StartSequence", u"<= Start sequence\n");
        return RunStage(entry);
    }
    JX_ENGINE_TRACE(0, u"JxSetup::Data::JxUiSequencer::StartSequence",
                    u"<= Start sequence: No sequence found\n");
    return u"#fail";
}

std::u16string JxUiSequencer::RunStage(const Stage* stage) {
    bool cycled = false;
    return _seq_Walk(stage, cycled);
}

std::u16string JxUiSequencer::_seq_Walk(const Stage* stage, bool& cycled) {
    cycled = false;
    if (!stage || !m_Data)
        return u"#fail";
    JX_ENGINE_TRACE(4, u"JxSetup::Data::JxUiSequencer::RunStage", u"Running stage: %s\n",
                    stage->name.c_str());
    // Stages without a page hand on at once; a walk longer than the number of stages has gone
    // round a cycle and would never reach a page.
    for (size_t hops = 0; hops <= m_Stages.size(); ++hops) {
        m_StageStack.push_back(stage->name);
        _seq_ApplySets(stage->sets);
        if (!stage->page.empty())
            return stage->page;
        const std::u16string destination = GetNextPageInSequence();
        m_StageStack.pop_back();
        stage = FindStage(destination);
        if (!stage)
            return u"#fail";
    }
    JX_ENGINE_TRACE(0, u"JxSetup::Data::JxUiSequencer::RunStage",
                    u"The stages jump in a cycle without a page (at %s). Going to #FAIL state.\n",
                    stage->name.c_str());
    cycled = true;
    return u"#fail";
}

std::u16string JxUiSequencer::GetCurrentPage() {
    const Stage* stage = FindStage(_seq_Top());
    return stage ? stage->page : std::u16string();
}

std::u16string JxUiSequencer::GetNextPageInSequence() {
    if (const Stage* stage = FindStage(_seq_Top()); stage && m_Data) {
        for (const Jump& jump : stage->jumps) {
            if (jump.condition.empty()) {
                JX_ENGINE_TRACE(4, u"JxSetup::Data::JxUiSequencer::GetNextPageInSequence",
                                u"unconditional jump to: %s\n", jump.destination.c_str());
                return jump.destination;
            }
            if (m_Data->GetConditionResult(jump.condition)) {
                JX_ENGINE_TRACE(4, u"JxSetup::Data::JxUiSequencer::GetNextPageInSequence",
                                u"condition met: %s. Next page is: %s\n", jump.condition.c_str(),
                                jump.destination.c_str());
                return jump.destination;
            }
        }
    }
    JX_ENGINE_TRACE(4, u"JxSetup::Data::JxUiSequencer::GetNextPageInSequence",
                    u"evaluation of next page destination failed. Going to #FAIL state.\n");
    return u"#fail";
}

int JxUiSequencer::ExecuteStage(const std::u16string& destination) {
    if (const Stage* stage = FindStage(destination)) {
        // A walk that goes round a cycle would bring the GUI back to the page it came from for
        // ever: the sequence fails instead.
        bool cycled = false;
        _seq_Walk(stage, cycled);
        return cycled ? kStageFail : kStageEntered;
    }
    if (m_Data && m_Data->GetPropertyValue(u"_ExitPremature") == u"true")
        return kStageExit;
    JX_ENGINE_TRACE(4, u"JxSetup::Data::JxUiSequencer::ExecuteStage", u"special page: %s\n",
                    destination.c_str());
    if (destination.empty() || jxtext::EqualsNoCase(destination, u"#fail"))
        return kStageFail;
    if (jxtext::EqualsNoCase(destination, u"#exit"))
        return kStageExit;
    if (jxtext::EqualsNoCase(destination, u"#abort"))
        return kStageAbort;
    if (jxtext::EqualsNoCase(destination, u"#start"))
        return kStageStart;
    const std::u16string text = u"Sequence broken. Illegal Page " + destination + u"\nAborting";
    MessageBoxW(nullptr, text.c_str(), u"Fatal Error", MB_ICONERROR);
    return kStageExit;
}

} // namespace JxSetup::Data
