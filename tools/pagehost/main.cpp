// pagehost: the browser stand-in. Loads an XHTML page, serves the document object model pieces the control uses,
// runs the page's script in JScript, answers dialogs as a scripted user, and records what happened.
#include <windows.h>
#include <ole2.h>
#include <shellapi.h>

#include <cstdio>
#include <fstream>
#include <thread>

#include "comkit/dispatch.h"
#include "common/win32/owners.h"
#include "dom.h"
#include "hooks.h"
#include "host_object.h"
#include "page.h"
#include "record.h"
#include "screenshot.h"
#include "script_engine.h"
#include "user.h"

using namespace qm::pagehost;
using namespace qm::comkit;
using Microsoft::WRL::ComPtr;

namespace {

constexpr wchar_t kUsage[] =
    L"usage: pagehost --page URL|PATH [--href URL] [--user ANSWERS] [--record FILE.json] [--shots DIR]\n"
    L"                [--timeout SECONDS] [--run FUNCTION] [--arg NAME=VALUE]... [--register DLL]\n"
    L"                [--really-open]\n"
    L"exit codes: 0 passed, 1 failed, 2 the host could not run, 3 stopped at the time bound\n";

struct Options {
    std::wstring page, href, user, record, shots, run, registerDll;
    double timeout = 30;
};

std::wstring recordPath;
std::wstring pageName;
HANDLE runEnded = nullptr;

LRESULT CALLBACK DocumentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            RECT area;
            GetClientRect(window, &area);
            FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
            SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
            SetBkMode(dc, TRANSPARENT);
            int y = 8;
            std::wstring heading = L"Page: " + pageName;
            TextOutW(dc, 8, y, heading.c_str(), static_cast<int>(heading.size()));
            y += 24;
            auto& lines = TheRun().pageLines;
            size_t first = lines.size() > 40 ? lines.size() - 40 : 0;
            for (size_t i = first; i < lines.size(); ++i, y += 16)
                TextOutW(dc, 16, y, lines[i].c_str(), static_cast<int>(lines[i].size()));
            EndPaint(window, &paint);
            return 0;
        }
        case WM_DROPFILES: {
            // Reaches the page itself only when the control has not taken the window's drops.
            HDROP drop = reinterpret_cast<HDROP>(wParam);
            std::wstring files;
            UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
            for (UINT i = 0; i < count; ++i) {
                wchar_t path[MAX_PATH * 2] = L"";
                DragQueryFileW(drop, i, path, MAX_PATH * 2);
                files += (i ? L"|" : L"") + std::wstring(path);
            }
            TheRecord().Add(JsonObject().Text("kind", L"dropNotTaken").Text("files", files));
            DragFinish(drop);
            return 0;
        }
        case WM_CLOSE:
            return 0;  // the run ends the window, not the user
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

HWND CreateDocumentWindow(const std::wstring& title) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DocumentProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = L"QuillmarkPageHost";
    RegisterClassW(&windowClass);
    // Under a heavily loaded X server the first window of a process has been seen to fail without an error
    // code; that is the host's display, not the page, so it is tried again before giving up.
    HWND window = nullptr;
    DWORD error = 0;
    for (int attempt = 0; attempt < 3 && !window; ++attempt) {
        if (attempt) Sleep(1000);
        window = CreateWindowExW(0, windowClass.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 800, 600,
                                 nullptr, nullptr, windowClass.hInstance, nullptr);
        if (!window) error = GetLastError();
    }
    if (!window) throw HostError(L"cannot create the document window (error " + std::to_wstring(error) + L")");
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    return window;
}

std::vector<std::wstring> ReadLines(const std::wstring& path) {
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) throw HostError(L"cannot read " + path);
    std::string bytes;
    char buffer[4096];
    size_t read;
    while ((read = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, read);
    std::fclose(file);
    std::vector<std::wstring> lines;
    std::wstring line;
    for (wchar_t c : Wide(bytes) + L"\n") {
        if (c == L'\n') {
            while (!line.empty() && (line.back() == L'\r' || line.back() == L' ' || line.back() == L'\t')) line.pop_back();
            size_t start = line.find_first_not_of(L" \t");
            if (start != std::wstring::npos && line[start] != L'#') lines.push_back(line.substr(start));
            line.clear();
        } else {
            line += c;
        }
    }
    return lines;
}

void Watchdog(double seconds) {
    if (WaitForSingleObject(runEnded, static_cast<DWORD>(seconds * 1000)) == WAIT_OBJECT_0) return;
    TakeShot(L"timeout");
    TheRecord().Fail(L"the run did not end within " + std::to_wstring(static_cast<long>(seconds)) + L" s");
    TheRecord().Write(recordPath, pageName, L"timeout");
    TheRecord().Say(L"result: timeout");
    TerminateProcess(GetCurrentProcess(), 3);
}

bool RegisterDll(const std::wstring& path) {
    HMODULE module = LoadLibraryW(path.c_str());
    HRESULT hr = E_FAIL;
    if (module) {
        auto entry = reinterpret_cast<HRESULT(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
        hr = entry ? entry() : E_NOINTERFACE;
    }
    TheRecord().Add(JsonObject().Text("kind", L"register").Text("dll", path).Number("hr", hr));
    return SUCCEEDED(hr);
}

int Run(const Options& options) {
    std::wstring href;
    PageModel model = ParsePage(FetchPage(options.page, href));
    if (!options.href.empty()) href = options.href;
    auto shared = std::make_shared<PageModel>(std::move(model));
    TheRecord().Add(JsonObject().Text("kind", L"page").Text("href", href).Text("title", shared->title)
                        .Number("elements", static_cast<long long>(shared->elements.size()))
                        .Number("scripts", static_cast<long long>(shared->scripts.size())));

    std::vector<UserAnswer> answers;
    for (auto& line : shared->userLines) answers.push_back(ParseAnswer(line));
    if (!options.user.empty())
        for (auto& line : ReadLines(options.user)) answers.push_back(ParseAnswer(line));
    ScriptedUser user(std::move(answers));

    HWND window = CreateDocumentWindow(shared->title.empty() ? L"Page host" : shared->title + L" - Page host");
    SetDocumentWindow(window);
    user.Start();

    if (!options.registerDll.empty() && !RegisterDll(options.registerDll))
        TheRecord().Fail(L"cannot register " + options.registerDll);

    ComPtr<HostDocument> document(new HostDocument(shared, window, href));
    ComPtr<IDispatch> documentDispatch;
    document.As(&documentDispatch);
    {
        ScriptEngine engine({{L"document", documentDispatch}, {L"host", MakeHostObject(window, document.Get())}});
        engine.SetWindow(window);
        engine.Connect();
        document->SetScript(MakeScriptRecorder(engine.Global()).Get());
        for (size_t i = 0; i < shared->scripts.size(); ++i)
            engine.Run(shared->scripts[i], L"script block " + std::to_wstring(i + 1));

        std::wstring run = options.run.empty() && engine.HasFunction(L"main") ? L"main" : options.run;
        if (!run.empty()) {
            qm::Variant result;
            const bool called = engine.Call(run, {}, result.get());
            TheRecord().Add(JsonObject().Text("kind", L"run").Text("function", run).Bool("called", called)
                                .Raw("result", called ? VariantJson(*result) : "null"));
            if (!called) TheRecord().Fail(L"the run function " + run + L" is not defined or raised an error");
        }
        if (TheRun().waitForFinish) Pump(-1, [] { return TheRun().finished; });
        if (engine.Errors() > 0) TheRecord().Fail(std::to_wstring(engine.Errors()) + L" script error(s)");
        document->Detach();
        engine.Close();
    }
    user.Stop();
    for (auto& line : user.UnusedAnswers()) TheRecord().Fail(L"answer not used: " + line);
    if (TheRun().finished && TheRun().finishCode != 0)
        TheRecord().Fail(L"the page finished with code " + std::to_wstring(TheRun().finishCode));
    DestroyWindow(window);
    return TheRecord().Failed() ? 1 : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        auto value = [&]() -> std::wstring {
            if (i + 1 >= argc) {
                std::fwprintf(stderr, L"%ls needs a value\n%ls", arg.c_str(), kUsage);
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == L"--page") options.page = value();
        else if (arg == L"--href") options.href = value();
        else if (arg == L"--user") options.user = value();
        else if (arg == L"--record") options.record = value();
        else if (arg == L"--shots") options.shots = value();
        else if (arg == L"--timeout") options.timeout = _wtof(value().c_str());
        else if (arg == L"--run") options.run = value();
        else if (arg == L"--register") options.registerDll = value();
        else if (arg == L"--really-open") SetReallyOpen(true);
        else if (arg == L"--arg") {
            std::wstring pair = value();
            size_t equals = pair.find(L'=');
            if (equals == std::wstring::npos) {
                std::fwprintf(stderr, L"--arg needs NAME=VALUE\n");
                return 2;
            }
            TheRun().arguments[pair.substr(0, equals)] = pair.substr(equals + 1);
        } else {
            std::fwprintf(stderr, L"unknown option %ls\n%ls", arg.c_str(), kUsage);
            return 2;
        }
    }
    if (options.page.empty() || options.timeout <= 0) {
        std::fwprintf(stderr, L"%ls", kUsage);
        return 2;
    }
    recordPath = options.record;
    pageName = options.page;
    SetShotFolder(options.shots);

    runEnded = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread watchdog(Watchdog, options.timeout);
    if (FAILED(OleInitialize(nullptr))) {
        std::fwprintf(stderr, L"OleInitialize failed\n");
        return 2;
    }
    int code = 2;
    try {
        code = Run(options);
    } catch (const HostError& error) {
        TheRecord().Fail(error.message);
        code = 2;
    }
    SetEvent(runEnded);
    watchdog.join();
    const wchar_t* result = code == 0 ? L"passed" : L"failed";
    if (!TheRecord().Write(recordPath, pageName, result)) {
        std::fwprintf(stderr, L"cannot write %ls\n", recordPath.c_str());
        code = code ? code : 1;
    }
    TheRecord().Say(std::wstring(L"result: ") + result);
    std::fflush(stdout);
    // The control's module and the script engine are left to the process's end.
    ExitProcess(static_cast<UINT>(code));
}
