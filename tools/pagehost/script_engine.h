#pragma once
// The page's script: the shared script host (comkit/script_host.h) with the host's objects as named items
// ("document", "host"), and every error it reports written to the record. Apartment-bound: create and use it on
// the page's thread.
#include <windows.h>
#include <wrl/client.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "comkit/script_host.h"

namespace qm::pagehost {

class ScriptEngine {
public:
    // Throws HostError when the engine cannot be had.
    explicit ScriptEngine(std::vector<std::pair<std::wstring, Microsoft::WRL::ComPtr<IDispatch>>> namedItems);
    ScriptEngine(const ScriptEngine&) = delete;
    ScriptEngine& operator=(const ScriptEngine&) = delete;

    // Runs one script block; false (and the error recorded) when it does not parse or raises.
    bool Run(const std::wstring& text, const std::wstring& blockName);
    // Starts the engine (after the blocks were added) and fetches the global dispatch.
    void Connect();
    IDispatch* Global() const { return host_->Global(); }
    // Calls a global function with text arguments; false when it is not defined or raises.
    bool Call(const std::wstring& function, const std::vector<std::wstring>& arguments, VARIANT* result);
    bool HasFunction(const std::wstring& function) const { return host_->HasFunction(function); }
    // Errors outside the page calls the control makes (the control sees those itself).
    int Errors() const { return host_->Errors(); }
    // The owner of boxes the script itself raises.
    void SetWindow(HWND window) { host_->SetWindow(window); }
    void Close() { host_->Close(); }

private:
    std::wstring block_ = L"page";  // what the record names as the source of an error
    std::unique_ptr<comkit::JScriptHost> host_;
};

}  // namespace qm::pagehost
