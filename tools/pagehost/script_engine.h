#pragma once
// The page's script: Wine's JScript engine run through IActiveScript, with the host's objects as named items
// ("document", "host"). Apartment-bound: create and use it on the page's thread.
#include <windows.h>
#include <activscp.h>
#include <wrl/client.h>

#include <string>
#include <utility>
#include <vector>

namespace qm::pagehost {

class ScriptEngine {
public:
    // Throws HostError when the engine cannot be had.
    explicit ScriptEngine(std::vector<std::pair<std::wstring, Microsoft::WRL::ComPtr<IDispatch>>> namedItems);
    ~ScriptEngine();
    ScriptEngine(const ScriptEngine&) = delete;
    ScriptEngine& operator=(const ScriptEngine&) = delete;

    // Runs one script block; false (and the error recorded) when it does not parse or raises.
    bool Run(const std::wstring& text, const std::wstring& blockName);
    // Starts the engine (after the blocks were added) and fetches the global dispatch.
    void Connect();
    IDispatch* Global() const { return global_.Get(); }
    // Calls a global function with text arguments; false when it is not defined or raises.
    bool Call(const std::wstring& function, const std::vector<std::wstring>& arguments, VARIANT* result);
    bool HasFunction(const std::wstring& function);
    int Errors() const;
    // The owner of boxes the script itself raises.
    void SetWindow(HWND window);
    void Close();

private:
    class Site;
    Microsoft::WRL::ComPtr<IActiveScript> engine_;
    Microsoft::WRL::ComPtr<IActiveScriptParse> parse_;
    Microsoft::WRL::ComPtr<IDispatch> global_;
    Microsoft::WRL::ComPtr<Site> site_;
};

}  // namespace qm::pagehost
