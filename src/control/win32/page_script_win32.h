#pragma once
// Page functions called through the browser document's script object, and the progress dialog's script-request
// handler that runs them on the UI thread.
#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <string>
#include <vector>

#include "control/page_script.h"
#include "ui/progress_dialog.h"

namespace qm {

// The parameter block of a call: BSTR copies, freed on every path (also when making one of them fails).
class TextArguments {
public:
    // The system's convention, so SysAllocStringLen and SysFreeString fit on x86 too.
    using AllocateText = BSTR(WINAPI*)(const OLECHAR* text, UINT length);
    using FreeText = void(WINAPI*)(BSTR text);
    explicit TextArguments(const std::vector<std::wstring>& texts, AllocateText allocate = &SysAllocStringLen,
                           FreeText free = &SysFreeString);
    ~TextArguments() { Clear(); }
    TextArguments(const TextArguments&) = delete;
    TextArguments& operator=(const TextArguments&) = delete;
    DISPPARAMS Params();

private:
    void Clear();
    std::vector<VARIANT> values_;
    FreeText free_;
};

// Shows a plain message to the user (the control passes its ShowMessage).
using ShowMessageFunction = std::function<void(const std::wstring& text)>;

// Calls the page function `name` with text arguments (the first text is the first parameter). True when it was
// found and returned without error; then *result (when given) holds a copy of its value, or VT_ERROR with the
// code when copying failed. "Cannot GetScript" is shown when the document has no script object.
bool InvokePageScript(const std::wstring& name, const std::vector<std::wstring>& arguments, VARIANT* result,
                      IUnknown* document, const ShowMessageFunction& showMessage);

// The PageScripts port over an HTML document. The document must outlive it; use on the document's thread.
class HtmlPageScripts : public PageScripts {
public:
    HtmlPageScripts(IUnknown* document, ShowMessageFunction showMessage);
    std::optional<ScriptValue> CallPageFunction(const std::wstring& name,
                                                const std::vector<std::wstring>& arguments) override;

private:
    IUnknown* document_;
    ShowMessageFunction showMessage_;
};

ScriptValue ToScriptValue(const VARIANT& value);

// The handler for the progress dialog's script requests on the UI thread. It keeps only the raw document: the
// starting operation holds the document for the whole transfer, and the handler may be destroyed on the worker.
std::function<void(ProgressDialog&)> PageScriptRequestHandler(IUnknown* document, ShowMessageFunction showMessage);

}  // namespace qm
