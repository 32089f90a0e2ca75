// The page sequencer's reading of the "UISequence" element: sequences, stages, sets and jumps.
#include "jxsetupdata/JxUiSequencer.h"

#include "jxbase/trace.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

bool IsIgnoredNode(const std::u16string& name) {
    return name.empty() || name[0] == u'#';
}

// The element's children in document order.
template <typename Visit> void ForEachChild(const CXMLDOMNode& element, Visit visit) {
    for (CXMLDOMNode child = element.GetFirstChild(); !child.IsEmpty(); child = child.GetNextSibling())
        visit(child, child.GetNodeName());
}

} // namespace

bool JxUiSequencer::ProcessXml(JxData* data, const CXMLDOMNode& element) {
    JX_ENGINE_TRACE(4, u"JxSetup::Data::JxUiSequencer::ProcessXml",
                    u"==> Begin processing UI sequence of XML\n");
    m_Data = data;
    // A definition read again replaces the machine of the last one.
    m_StageStack.clear();
    m_Sequences.clear();
    m_Stages.clear();
    ForEachChild(element, [this](const CXMLDOMNode& child, const std::u16string& name) {
        if (jxtext::EqualsNoCase(name, u"stage"))
            AddStage(child);
        else if (jxtext::EqualsNoCase(name, u"sequence"))
            AddSequence(child);
        else if (!IsIgnoredNode(name))
            JX_ENGINE_TRACE(1, u"JxSetup::Data::JxUiSequencer::ProcessXml",
                            u"<%s> is not recognized. Ignoring.\n", name.c_str());
    });
    bool result = true;
    if (m_Sequences.empty()) {
        JX_ENGINE_TRACE(0, u"JxSetup::Data::JxUiSequencer::ProcessXml", u"No sequences defined!\n");
        result = false;
    } else if (m_Stages.empty()) {
        JX_ENGINE_TRACE(0, u"JxSetup::Data::JxUiSequencer::ProcessXml", u"No stages defined!\n");
        result = false;
    }
    JX_ENGINE_TRACE(4, u"JxSetup::Data::JxUiSequencer::ProcessXml",
                    u"<== End processing UI sequence of XML\n");
    return result;
}

bool JxUiSequencer::IsOk() {
    if (!m_Sequences.empty() && !m_Stages.empty())
        return true;
    JX_ENGINE_TRACE(0, u"JxSetup::Data::JxUiSequencer::IsOk",
                    u"Error while processing UI sequences. No sequences, no pages or parse error!\n");
    return false;
}

bool JxUiSequencer::_seq_ParseSet(const CXMLDOMNode& element, Set& set) {
    set.property = element.GetAttribute(u"name");
    if (set.property.empty())
        set.property = element.GetAttribute(u"property");
    if (set.property.empty())
        return false;
    set.value = element.GetAttribute(u"value");
    set.condition = element.GetAttribute(u"condition");
    return true;
}

void JxUiSequencer::_seq_AddSet(std::vector<Set>& sets, Set set, const WCHAR* context) {
    for (const Set& existing : sets) {
        if (existing.property == set.property) {
            if (g_JxSetupEngineLibDebugLevel > 1)
                DebugTrace(
                    u"(%u) JxSetupEngineLib: %s(): Ambiguous property definition on property %s. Dropping "
                    u"last reference.\n",
                    GetCurrentThreadId(), context, set.property.c_str());
            return;
        }
    }
    sets.push_back(std::move(set));
}

bool JxUiSequencer::AddSequence(const CXMLDOMNode& element) {
    if (!element.GetAttributeNode(u"name")) {
        JX_ENGINE_TRACE(1, u"JxSetup::Data::JxUiSequencer::AddSequence",
                        u"Sequence defined without name!. Ignoring.\n");
        return false;
    }
    Sequence sequence;
    sequence.name = element.GetAttribute(u"name");
    sequence.condition = element.GetAttribute(u"condition");
    sequence.stage = element.GetAttribute(u"stage");
    bool result = true;
    if (element.HasChildNodes()) {
        ForEachChild(element, [&sequence](const CXMLDOMNode& child, const std::u16string& name) {
            Set set;
            if (jxtext::EqualsNoCase(name, u"set") && _seq_ParseSet(child, set))
                _seq_AddSet(sequence.sets, std::move(set), u"JxSetup::Data::JxUiSequencer::AddSequence");
        });
    } else if (sequence.stage.empty()) {
        JX_ENGINE_TRACE(1, u"JxSetup::Data::JxUiSequencer::AddSequence",
                        u"Sequence \"%s\" has no entry point!. Ignoring.\n", sequence.name.c_str());
        result = false;
    }
    if (!sequence.name.empty() && !sequence.stage.empty())
        m_Sequences.push_back(std::move(sequence));
    return result;
}

bool JxUiSequencer::AddStage(const CXMLDOMNode& element) {
    Stage stage;
    stage.name = element.GetAttribute(u"name");
    if (stage.name.empty()) {
        JX_ENGINE_TRACE(1, u"JxSetup::Data::JxUiSequencer::AddStage",
                        u"A stage was defined without name. This stage cannot be accessed, dropping it.\n");
        return false;
    }
    ForEachChild(element, [&stage](const CXMLDOMNode& child, const std::u16string& name) {
        if (jxtext::EqualsNoCase(name, u"set")) {
            Set set;
            if (_seq_ParseSet(child, set))
                _seq_AddSet(stage.sets, std::move(set), u"JxSetup::Data::JxUiSequencer::AddStage");
        } else if (jxtext::EqualsNoCase(name, u"execute")) {
            if (child.GetAttributeNode(u"page"))
                stage.page = child.GetAttribute(u"page");
            else
                JX_ENGINE_TRACE(1, u"JxSetup::Data::JxUiSequencer::AddStage",
                                u"<execute>-tag found, but no page defined. Ignoring tag.\n");
        } else if (jxtext::EqualsNoCase(name, u"next")) {
            const std::u16string destination = child.GetAttribute(u"stage");
            if (!destination.empty())
                stage.jumps.push_back({destination, child.GetAttribute(u"condition")});
            else
                JX_ENGINE_TRACE(1, u"JxSetup::Data::JxUiSequencer::AddStage",
                                u"<next>-tag references no stage. Ignoring.\n");
        } else if (!IsIgnoredNode(name)) {
            JX_ENGINE_TRACE(1, u"JxSetup::Data::JxUiSequencer::AddStage",
                            u"tag <%s> was not recognized. Ignoring it.\n", name.c_str());
        }
    });
    if (stage.jumps.empty())
        JX_ENGINE_TRACE(1, u"JxSetup::Data::JxUiSequencer::AddStage",
                        u"WARN: Stage %s contains no jumps. This will break the sequence!\n",
                        stage.name.c_str());
    m_Stages.push_back(std::move(stage));
    return true;
}

} // namespace JxSetup::Data
