#include "script_engine.h"

#include "common/win32/owners.h"
#include "page.h"
#include "record.h"

namespace qm::pagehost {

ScriptEngine::ScriptEngine(std::vector<std::pair<std::wstring, Microsoft::WRL::ComPtr<IDispatch>>> namedItems) {
    auto record = [this](const comkit::ScriptError& error) {
        const bool inPageCall = PageCallDepth() > 0;
        const std::wstring description = error.description.empty() ? L"(no description)" : error.description;
        TheRecord().Add(JsonObject().Text("kind", L"scriptError").Text("block", block_).Text("description", description)
                            .Number("line", error.line + 1).Number("column", error.column + 1).Number("code", error.code)
                            .Bool("inPageCall", inPageCall));
        TheRecord().Say(L"script error in " + block_ + L" line " + std::to_wstring(error.line + 1) + L": " +
                        description);
        return !inPageCall;
    };
    try {
        host_ = std::make_unique<comkit::JScriptHost>(std::move(namedItems), record);
    } catch (const comkit::ScriptHostError& error) {
        const std::string what = error.what();
        throw HostError(std::wstring(what.begin(), what.end()));
    }
}

bool ScriptEngine::Run(const std::wstring& text, const std::wstring& blockName) {
    block_ = blockName;
    return host_->Run(text);
}

void ScriptEngine::Connect() {
    try {
        host_->Connect();
    } catch (const comkit::ScriptHostError& error) {
        const std::string what = error.what();
        throw HostError(std::wstring(what.begin(), what.end()));
    }
}

bool ScriptEngine::Call(const std::wstring& function, const std::vector<std::wstring>& arguments, VARIANT* result) {
    if (!host_->HasFunction(function)) return false;
    block_ = L"call of " + function;
    ExcepInfo exception;
    const HRESULT hr = host_->Call(function, arguments, result, &exception);
    if (hr == DISP_E_EXCEPTION)
        TheRecord().Add(JsonObject().Text("kind", L"scriptError").Text("block", block_)
                            .Text("description", exception.description()).Number("code", exception->scode));
    return SUCCEEDED(hr);
}

}  // namespace qm::pagehost
