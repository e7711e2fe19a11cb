#include "page.h"

#include <msxml2.h>
#include <oleauto.h>
#include <wininet.h>
#include <wrl/client.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <cwchar>
#include <sstream>

#include "common/win32/guids.h"
#include "common/win32/owners.h"

namespace qm::pagehost {

using Microsoft::WRL::ComPtr;

namespace {

bool IsWebAddress(const std::wstring& source) {
    return _wcsnicmp(source.c_str(), L"http://", 7) == 0 || _wcsnicmp(source.c_str(), L"https://", 8) == 0;
}

std::wstring BstrText(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }

std::wstring NodeName(IXMLDOMNode* node) {
    Bstr name;
    node->get_baseName(name.out());
    return name.text();
}

std::wstring NodeNamespace(IXMLDOMNode* node) {
    Bstr uri;
    node->get_namespaceURI(uri.out());
    return uri.text();
}

std::wstring NodeText(IXMLDOMNode* node) {
    Bstr text;
    node->get_text(text.out());
    return text.text();
}

std::wstring NodeValue(IXMLDOMNode* node) {
    Variant value;
    std::wstring text;
    if (SUCCEEDED(node->get_nodeValue(value.get())) && value->vt == VT_BSTR) text = BstrText(value->bstrVal);
    return text;
}

std::vector<std::wstring> Words(const std::wstring& text) {
    std::vector<std::wstring> words;
    std::wistringstream in(text);
    std::wstring word;
    while (in >> word) words.push_back(word);
    return words;
}

std::vector<std::wstring> Lines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    std::wstring line;
    for (wchar_t c : text + L"\n") {
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

void Walk(IXMLDOMNode* node, PageModel& model) {
    DOMNodeType type;
    if (FAILED(node->get_nodeType(&type)) || type != NODE_ELEMENT) return;
    const std::wstring tag = NodeName(node);

    ComPtr<IXMLDOMNamedNodeMap> attributes;
    std::vector<std::pair<std::wstring, std::wstring>> plain;
    std::vector<std::wstring> numbers;
    if (SUCCEEDED(node->get_attributes(&attributes)) && attributes) {
        long count = 0;
        attributes->get_length(&count);
        for (long i = 0; i < count; ++i) {
            ComPtr<IXMLDOMNode> attribute;
            if (FAILED(attributes->get_item(i, &attribute)) || !attribute) continue;
            Bstr fullName;
            attribute->get_nodeName(fullName.out());
            std::wstring name = fullName.text();
            if (name == L"xmlns" || name.rfind(L"xmlns:", 0) == 0) continue;
            if (NodeNamespace(attribute.Get()) == kPageHostNamespace) {
                if (NodeName(attribute.Get()) == L"numbers") numbers = Words(NodeValue(attribute.Get()));
                continue;
            }
            plain.emplace_back(name, NodeValue(attribute.Get()));
        }
    }

    if (_wcsicmp(tag.c_str(), L"script") == 0) {
        std::wstring scriptType;
        for (auto& [name, value] : plain)
            if (_wcsicmp(name.c_str(), L"type") == 0) scriptType = value;
        if (_wcsicmp(scriptType.c_str(), L"text/x-pagehost-user") == 0) {
            for (auto& line : Lines(NodeText(node))) model.userLines.push_back(line);
        } else if (scriptType.empty() || _wcsicmp(scriptType.c_str(), L"text/javascript") == 0 ||
                   _wcsicmp(scriptType.c_str(), L"text/jscript") == 0) {
            model.scripts.push_back(NodeText(node));
        }
        return;
    }
    if (_wcsicmp(tag.c_str(), L"title") == 0 && model.title.empty()) model.title = NodeText(node);

    std::wstring id;
    for (auto& [name, value] : plain)
        if (name == L"id") id = value;
    if (!id.empty()) {
        auto element = std::make_shared<PageElement>();
        element->id = id;
        element->tag = tag;
        element->innerText = NodeText(node);
        for (auto& [name, value] : plain) {
            bool isNumber = false;
            for (auto& n : numbers) isNumber = isNumber || n == name;
            AttributeValue attribute;
            if (isNumber) {
                try {
                    attribute = NumberValue(value);
                } catch (const HostError&) {
                    throw HostError(L"attribute " + name + L" of element " + id + L" is marked as a number but reads \"" +
                                    value + L"\"");
                }
            } else {
                attribute.text = value;
            }
            element->attributes.emplace_back(name, attribute);
        }
        for (auto& n : numbers) {
            bool present = false;
            for (auto& [name, value] : plain) present = present || name == n;
            if (!present) throw HostError(L"element " + id + L" marks " + n + L" as a number but has no such attribute");
        }
        model.elements.push_back(element);
    }

    ComPtr<IXMLDOMNode> child;
    node->get_firstChild(&child);
    while (child) {
        Walk(child.Get(), model);
        ComPtr<IXMLDOMNode> next;
        child->get_nextSibling(&next);
        child = next;
    }
}

}  // namespace

AttributeValue NumberValue(const std::wstring& text) {
    AttributeValue value;
    value.text = text;
    if (text.empty() || iswspace(text.front())) throw HostError(L"not a number");
    wchar_t* end = nullptr;
    errno = 0;
    long long integer = std::wcstoll(text.c_str(), &end, 10);
    if (end && *end == L'\0' && errno == 0) {
        value.kind = AttributeValue::Kind::Integer;
        value.integer = integer;
        return value;
    }
    double real = std::wcstod(text.c_str(), &end);
    if (!end || *end != L'\0') throw HostError(L"not a number");
    value.kind = AttributeValue::Kind::Real;
    value.real = real;
    return value;
}

std::vector<std::uint8_t> FetchPage(const std::wstring& source, std::wstring& href) {
    std::vector<std::uint8_t> bytes;
    if (IsWebAddress(source)) {
        href = source;
        const UniqueHinternet session(InternetOpenW(L"Quillmark page host", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
        if (!session) throw HostError(L"InternetOpen failed");
        const UniqueHinternet request(InternetOpenUrlW(session.get(), source.c_str(), nullptr, 0,
                                                       INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
        if (!request) throw HostError(L"cannot open " + source + L" (error " + std::to_wstring(GetLastError()) + L")");
        DWORD status = 0, size = sizeof status;
        if (HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr) &&
            status != 200)
            throw HostError(L"the server answered " + std::to_wstring(status) + L" for " + source);
        char buffer[8192];
        DWORD read = 0;
        while (InternetReadFile(request.get(), buffer, sizeof buffer, &read) && read) bytes.insert(bytes.end(), buffer, buffer + read);
        return bytes;
    }
    wchar_t full[MAX_PATH * 4];
    if (!GetFullPathNameW(source.c_str(), MAX_PATH * 4, full, nullptr)) throw HostError(L"bad page path " + source);
    FILE* file = _wfopen(full, L"rb");
    if (!file) throw HostError(L"cannot read " + std::wstring(full));
    char buffer[8192];
    size_t read;
    while ((read = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + read);
    std::fclose(file);
    std::wstring path = full;
    for (auto& c : path)
        if (c == L'\\') c = L'/';
    href = L"file:///" + path;
    return bytes;
}

PageModel ParsePage(const std::vector<std::uint8_t>& bytes) {
    ComPtr<IXMLDOMDocument> document;
    if (FAILED(CoCreateInstance(QM_CLSID_DOMDocument, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IXMLDOMDocument),
                                reinterpret_cast<void**>(document.GetAddressOf()))))
        throw HostError(L"MSXML is not available");
    document->put_async(VARIANT_FALSE);
    document->put_validateOnParse(VARIANT_FALSE);
    document->put_resolveExternals(VARIANT_FALSE);

    // Handing MSXML the bytes lets it honour the page's declared encoding.
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (!array) throw HostError(L"out of memory");
    void* data = nullptr;
    SafeArrayAccessData(array, &data);
    if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
    SafeArrayUnaccessData(array);
    Variant source;  // owns the array from here on
    source.get()->vt = VT_ARRAY | VT_UI1;
    source.get()->parray = array;
    VARIANT_BOOL loaded = VARIANT_FALSE;
    const HRESULT hr = document->load(*source, &loaded);
    if (FAILED(hr) || loaded != VARIANT_TRUE) {
        std::wstring reason = L"the page is not well-formed XHTML";
        ComPtr<IXMLDOMParseError> error;
        if (SUCCEEDED(document->get_parseError(&error)) && error) {
            Bstr text;
            long line = 0, column = 0;
            error->get_reason(text.out());
            error->get_line(&line);
            error->get_linepos(&column);
            reason += L": " + text.text() + L" (line " + std::to_wstring(line) + L", column " + std::to_wstring(column) + L")";
            while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r')) reason.pop_back();
        }
        throw HostError(reason);
    }
    ComPtr<IXMLDOMElement> root;
    if (FAILED(document->get_documentElement(&root)) || !root) throw HostError(L"the page has no root element");
    PageModel model;
    ComPtr<IXMLDOMNode> rootNode;
    root.As(&rootNode);
    Walk(rootNode.Get(), model);
    return model;
}

}  // namespace qm::pagehost
