#pragma once
// Port: the XML DOM document that a ProtocolDocument owns. DOM failures are thrown as qm::Error.
#include <memory>
#include <optional>
#include <string>

namespace qm {

class XmlElement {
public:
    virtual ~XmlElement() = default;
    virtual void SetAttribute(const std::wstring& name, const std::wstring& value) = 0;
    virtual void AppendChild(XmlElement& child) = 0;
    // Nothing when the element has no such attribute.
    virtual std::optional<std::wstring> GetAttribute(const std::wstring& name) = 0;
};

struct XmlParseError {
    long code = 0;
    std::wstring reason;
    long line = 0;
    long linePosition = 0;
    std::wstring url;
};

class XmlDocument {
public:
    virtual ~XmlDocument() = default;
    // False when the DOM could not be created; then nothing else may be called.
    virtual bool Created() const = 0;
    virtual std::unique_ptr<XmlElement> CreateElement(const std::wstring& name) = 0;
    virtual void AppendChild(XmlElement& child) = 0;
    virtual std::wstring Xml() = 0;
    // Replaces the document with the parsed text and returns once loading is complete.
    virtual XmlParseError LoadXml(const std::wstring& text) = 0;
    // The element at a relative XPath from the document, or null.
    virtual std::unique_ptr<XmlElement> SelectSingleElement(const std::wstring& path) = 0;
};

}  // namespace qm
