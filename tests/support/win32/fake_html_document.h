#pragma once
// A page document stand-in: the document, its parent window with a location, elements with attributes, and a
// real window behind the document's IOleWindow. Members the control does not use answer E_NOTIMPL.
#include <windows.h>
#include <mshtml.h>
#include <wrl/client.h>

#include <map>
#include <memory>
#include <string>
#include <variant>

namespace qm::testing {

// An attribute value as the page gives it: text, or a number (which the control treats as absent).
using FakeAttribute = std::variant<std::wstring, long>;
using FakeAttributes = std::map<std::wstring, FakeAttribute>;

// What the stand-in serves; the test changes it while the document lives.
struct FakePageState {
    std::wstring href;
    std::map<std::wstring, FakeAttributes> elements;
    Microsoft::WRL::ComPtr<IDispatch> script;
    HWND window = nullptr;
    int hrefReads = 0;
    long liveObjects = 0;  // document, window, location and element objects not yet released
};

// A new document (one reference, held by the caller) with its own hidden top-level window.
Microsoft::WRL::ComPtr<IHTMLDocument2> MakeFakeHtmlDocument(std::shared_ptr<FakePageState> state);

}  // namespace qm::testing
