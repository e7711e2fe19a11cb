#pragma once
// The page script's "host" object: what a test page uses to reach the control and to drive the run.
//   host.createObject(progId)   the object made from its ProgID (the control, once its DLL is registered)
//   host.log(text)              a line in the record, on standard output and in the document window
//   host.note(name, value)      a named value in the record
//   host.arg(name)              the value of --arg NAME=VALUE ("" when not given)
//   host.screenshot(name)       a PNG of the screen; true when written
//   host.dropFiles(paths)       a shell drop ("|"-joined paths) posted as WM_DROPFILES to the document window
//   host.oleDropFiles(paths)    an OLE drop of CF_HDROP data on the registered drop target; the drop effect
//   host.oleDropMail(typeName)  an OLE drop of a mail item's "Object Descriptor"; the drop effect
//   host.oleDropText(text)      an OLE drop of plain text (CF_UNICODETEXT); the drop effect
//   host.pump(ms)               dispatches window messages for ms milliseconds
//   host.waitForFinish()        after the run function returns, keep dispatching until host.finish
//   host.finish(code)           ends the run; a non-zero code fails it
//   host.fail(text)             records a failure
//   host.callPage(name, args...) calls a page function as the control does (document script object, text
//                               arguments); its result, or false when it is missing or raises
#include <windows.h>
#include <mshtml.h>
#include <wrl/client.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace qm::pagehost {

struct RunState {
    bool waitForFinish = false;
    bool finished = false;
    long finishCode = 0;
    std::map<std::wstring, std::wstring> arguments;
    std::vector<std::wstring> pageLines;  // what host.log wrote, shown in the document window
};

RunState& TheRun();

// Dispatches messages until done() or the time has passed (ms < 0: no time limit).
void Pump(long ms, const std::function<bool()>& done);

// Redirects the imports of the control module once it is loaded; returns true when it is (or was) hooked. The
// module is the one holding object's code when given, else the one the control's class is registered with,
// wherever it was installed.
bool HookControlModule(IUnknown* object = nullptr);

Microsoft::WRL::ComPtr<IDispatch> MakeHostObject(HWND documentWindow, IHTMLDocument2* document);

}  // namespace qm::pagehost
