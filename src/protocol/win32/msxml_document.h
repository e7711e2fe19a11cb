#pragma once
// The XML document port over MSXML's DOMDocument, and the ProtocolDocument a worker thread uses.
#include <windows.h>
#include <wrl/client.h>

#include <memory>

#include "common/win32/owners.h"
#include "protocol/protocol_document.h"
#include "protocol/xml_document.h"

struct IXMLDOMDocument;

namespace qm {

// Keeps COM initialised (apartment-threaded) on the creating thread for the object's life.
class MsxmlDocument : public XmlDocument {
public:
    MsxmlDocument();
    ~MsxmlDocument() override;
    MsxmlDocument(const MsxmlDocument&) = delete;
    MsxmlDocument& operator=(const MsxmlDocument&) = delete;

    HRESULT creationResult() const { return creation_; }

    bool Created() const override;
    std::unique_ptr<XmlElement> CreateElement(const std::wstring& name) override;
    void AppendChild(XmlElement& child) override;
    std::wstring Xml() override;
    XmlParseError LoadXml(const std::wstring& text) override;
    std::unique_ptr<XmlElement> SelectSingleElement(const std::wstring& path) override;

private:
    ComInitScope apartment_;  // first in, last out: the document is released before COM is uninitialised
    Microsoft::WRL::ComPtr<IXMLDOMDocument> document_;
    HRESULT creation_ = E_FAIL;
};

// A fresh protocol document over MSXML with the system's ANSI code page, for the calling worker thread.
std::unique_ptr<ProtocolDocument> CreateProtocolDocument();

}  // namespace qm
