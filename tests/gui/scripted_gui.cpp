// The scripted GUI module (see scripted_gui.h): the GUI object and the module's export.
#include "scripted_gui.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "jxsetupdata/IJxExternalGUI.h"
#include "jxsetupdata/IJxSetupData.h"
#include "jxsetupdata/JxUiSequencer.h"

using JxSetup::Data::IJxSetupData;
using JxSetup::Data::IJxUiSequencer;

namespace jxgui {
namespace {

// Pages walked in one RunPageSequence before the walk counts as going round in a cycle.
constexpr int kMaxPages = 200;

std::u16string Number(long long value) {
    return FromUtf8(std::to_string(value));
}

class ScriptedGui final : public IJxExternalGUI {
public:
    ScriptedGui() : m_Script(LoadScript()) {
        if (const char* root = std::getenv("JX_MACHINE_ROOT"); root && *root)
            m_Journal = std::fopen((std::string(root) + "/gui-journal.txt").c_str(), "ab");
        Journal(u"CreateExternalGUIObject");
    }

    void NotCalled1() override { Journal(u"NotCalled1"); }
    int GetState() override {
        Journal(u"GetState");
        return 0;
    }
    void Finish(int code) override { Journal(u"Finish " + Number(code)); }
    void Close(int code, int restartChoice) override {
        Journal(u"Close " + Number(code) + u" " + Number(restartChoice));
    }
    bool GetBoolProperty(const std::u16string& name) override {
        Journal(u"GetBoolProperty " + name);
        return name == u"_PerformRestart" && m_Script.performRestart;
    }
    void Release() override {
        Journal(u"Release");
        delete this;
    }
    IJxSetupData* GetDataObject() override {
        Journal(u"GetDataObject");
        return m_Data;
    }
    HWND GetWindowHandle() override {
        Journal(u"GetWindowHandle");
        return nullptr;
    }
    void CloseWindow() override { Journal(u"CloseWindow"); }
    void ShowInstallProgressPage() override { Journal(u"ShowInstallProgressPage"); }
    int Initialize(IJxSetupData* data, VirtualFS* vfs, bool loadOverride) override {
        Journal(u"Initialize");
        m_Data = data;
        m_Sequencer = data ? data->GetUiSequencer() : nullptr;
        return m_Script.failInitialize || !m_Sequencer ? 0 : 1;
    }
    int InitializeUi() override {
        Journal(u"InitializeUi");
        return 1;
    }
    int RunSelftest(int flag) override {
        Journal(u"RunSelftest " + Number(flag));
        return 1;
    }
    void SetCancelDisabled(int disabled) override { Journal(u"SetCancelDisabled " + Number(disabled)); }
    void NotCalled15() override { Journal(u"NotCalled15"); }
    void SetControlFlags(DWORD clear, DWORD set) override {
        Journal(u"SetControlFlags " + Number(clear) + u" " + Number(set));
    }
    void NotCalled17() override { Journal(u"NotCalled17"); }
    void NotCalled18() override { Journal(u"NotCalled18"); }
    int GetBusyState() override {
        Journal(u"GetBusyState");
        return 0;
    }
    void Show(int show) override { Journal(u"Show " + Number(show)); }
    void PreparePostInstall() override { Journal(u"PreparePostInstall"); }
    int IsCancelRequested() override {
        Journal(u"IsCancelRequested " + Number(m_CancelRequested ? 1 : 0));
        return m_CancelRequested ? 1 : 0;
    }
    void NotCalled23() override { Journal(u"NotCalled23"); }
    void NotCalled24() override { Journal(u"NotCalled24"); }
    void SetProgress(int position, const std::u16string& text) override {
        Journal(u"SetProgress " + Number(position) + u" " + text);
        if (m_Script.cancelAtProgress >= 0 && position >= m_Script.cancelAtProgress)
            m_CancelRequested = true;
        if (!m_Script.cancelAtText.empty() && ContainsNoCase(text, m_Script.cancelAtText))
            m_CancelRequested = true;
    }
    void SetProgressRange(int maximum) override { Journal(u"SetProgressRange " + Number(maximum)); }
    void PrepareMessageBox(int value) override { Journal(u"PrepareMessageBox " + Number(value)); }
    int MessageBox(const std::u16string& caption, const std::u16string& text, UINT type) override {
        int answer = 1;
        for (const BoxRule& rule : m_Script.boxes) {
            if (ContainsNoCase(caption, rule.contains) || ContainsNoCase(text, rule.contains)) {
                answer = rule.answer;
                break;
            }
        }
        Journal(u"MessageBox " + Number(type) + u" " + caption + u" | " + text + u" -> " + Number(answer));
        return answer;
    }
    int MessageBoxWithButtons(const std::u16string& caption, const std::u16string& text, UINT type,
                              const std::u16string& first, const std::u16string& second) override {
        return MessageBox(caption, text + u" [" + first + u"/" + second + u"]", type);
    }
    void NotCalled30() override { Journal(u"NotCalled30"); }
    void NotCalled31() override { Journal(u"NotCalled31"); }
    void SetWatchProcessList(const std::vector<const JxSetup::Data::JxFile*>& files) override {
        Journal(u"SetWatchProcessList " + Number(static_cast<long long>(files.size())));
    }
    int RunProcessWatch() override {
        Journal(u"RunProcessWatch");
        return 0;
    }
    int RunPageSequence(const std::u16string& page) override;

private:
    ~ScriptedGui() {
        if (m_Journal)
            std::fclose(m_Journal);
    }
    void Journal(const std::u16string& line) {
        if (!m_Journal)
            return;
        std::string text = ToUtf8(line);
        for (char& c : text)
            if (c == '\n' || c == '\r')
                c = ' ';
        std::fprintf(m_Journal, "%s\n", text.c_str());
        std::fflush(m_Journal);
    }
    // The management-server operations the page calls, through the data object's table.
    void Calls(const std::u16string& page) {
        for (const CallRule& call : m_Script.calls) {
            if (call.page != u"*" && !(call.page.size() == page.size() && ContainsNoCase(call.page, page)))
                continue;
            JxSetup::Data::JxWebSqlDBRequest request;
            request.m_Server = call.server;
            request.m_Database = call.database;
            request.m_UseWindowsAuthentication = call.windows;
            request.m_User = call.user;
            request.m_Password = call.password;
            std::u16string result;
            if (call.operation == "instances" || call.operation == "databases") {
                const std::vector<std::u16string> list = call.operation == "instances"
                                                             ? m_Data->RequestSQLInstances()
                                                             : m_Data->RequestSQLDatabases(request);
                for (const std::u16string& entry : list)
                    result += (result.empty() ? u"" : u"|") + entry;
            } else if (call.operation == "check") {
                result = Number(m_Data->CheckSQLConnection(request));
            } else if (call.operation == "configure") {
                result = m_Data->ConfigureManamgementServer() ? u"true" : u"false";
            } else if (call.operation == "deletedb") {
                m_Data->DeleteMMSDB();
            } else if (call.operation == "accesskey") {
                m_Data->SetAccessKey();
            } else if (call.operation == "authorize") {
                m_Data->AuthorizeClient();
            } else {
                result = u"unknown operation";
            }
            Journal(u"call " + FromUtf8(call.operation) + u" -> " + result);
        }
    }
    const PageRule* Rule(const std::u16string& page) const {
        for (const PageRule& rule : m_Script.pages)
            if (rule.page == u"*" || (rule.page.size() == page.size() && ContainsNoCase(rule.page, page)))
                return &rule;
        return nullptr;
    }

    Script m_Script;
    FILE* m_Journal = nullptr;
    IJxSetupData* m_Data = nullptr;
    IJxUiSequencer* m_Sequencer = nullptr;
    bool m_CancelRequested = false;
};

int ScriptedGui::RunPageSequence(const std::u16string& start) {
    Journal(u"RunPageSequence " + start);
    if (!m_Sequencer || !m_Data)
        return JxSetup::Data::kStageFail;
    std::u16string page = start;
    for (int shown = 0; shown < kMaxPages; ++shown) {
        int code = JxSetup::Data::kStageEntered;
        if (page.empty() || page[0] == u'#') {
            // A special destination (or no page at all): the sequencer says what it means.
            code = m_Sequencer->ExecuteStage(page);
        } else {
            Journal(u"page " + page);
            Calls(page);
            const PageRule* rule = Rule(page);
            if (rule) {
                for (const auto& [name, value] : rule->sets) {
                    Journal(u"set " + name + u"=" + value);
                    m_Data->SetProperty(name, value, 1);
                }
            }
            if (rule && rule->cancel) {
                Journal(u"cancel " + page);
                code = m_Sequencer->ExecuteStage(u"#abort");
            } else {
                code = m_Sequencer->ExecuteStage(m_Sequencer->GetNextPageInSequence());
            }
        }
        if (code != JxSetup::Data::kStageEntered) {
            Journal(u"end " + Number(code));
            return code;
        }
        page = m_Sequencer->GetCurrentPage();
    }
    Journal(u"end: the pages go round in a cycle");
    return JxSetup::Data::kStageFail;
}

} // namespace
} // namespace jxgui

extern "C" __attribute__((visibility("default"))) IJxExternalGUI* CreateExternalGUIObject() {
    return new jxgui::ScriptedGui();
}
