#pragma once
// A real script engine for page-script tests: the page host's script host (comkit/script_host.h) running one
// page script, whose global dispatch is what a browser document's get_Script returns, and a document stand-in
// that hands it out.
#include <windows.h>
#include <mshtml.h>
#include <wrl/client.h>

#include <string>

#include "comkit/script_host.h"

namespace qm::testing {

// Runs on the thread that creates it (the script engine is apartment-bound); COM must be initialised there.
class ScriptHost {
public:
    // Parses and runs the page's script text; throws std::runtime_error when the engine cannot be had.
    explicit ScriptHost(const std::wstring& pageScript);
    ~ScriptHost();
    ScriptHost(const ScriptHost&) = delete;
    ScriptHost& operator=(const ScriptHost&) = delete;

    IDispatch* Global() const { return host_.Global(); }
    // The value of a script expression as text (empty when it cannot be evaluated).
    std::wstring Evaluate(const std::wstring& expression) { return host_.Evaluate(expression); }
    // Script errors the engine reported to the site so far.
    int ReportedErrors() const { return host_.Errors(); }

private:
    comkit::JScriptHost host_;
};

// An IHTMLDocument2 whose get_Script gives the script object (fails with E_FAIL when there is none); every other
// member answers E_NOTIMPL.
Microsoft::WRL::ComPtr<IHTMLDocument2> MakeScriptDocument(IDispatch* script);
// The number of document stand-ins alive, to check that callers release them.
long LiveScriptDocuments();

}  // namespace qm::testing
