// The SAX2 interfaces of the platform's XML reader, in their standard slot order. Text arrives
// as UTF-16 with explicit lengths; it is not null-terminated and lives only during the call.
#pragma once

#include "platform/automation/Variant.h"
#include "platform/com/Unknown.h"

struct ISAXLocator : IUnknown {
    static constexpr IID iid = ambivox::make_guid("9B7E472A-0DE4-4640-BFF3-84D38A051C31");
    using base_interface = IUnknown;

    virtual HRESULT getColumnNumber(int* pnColumn) noexcept = 0;
    virtual HRESULT getLineNumber(int* pnLine) noexcept = 0;
    virtual HRESULT getPublicId(const OLECHAR** ppwchPublicId) noexcept = 0;
    virtual HRESULT getSystemId(const OLECHAR** ppwchSystemId) noexcept = 0;

protected:
    ~ISAXLocator() = default;
};

struct ISAXAttributes : IUnknown {
    static constexpr IID iid = ambivox::make_guid("F078ABE1-45D2-4832-91EA-4466CE2F25C9");
    using base_interface = IUnknown;

    virtual HRESULT getLength(int* pnLength) noexcept = 0;
    virtual HRESULT getURI(int nIndex, const OLECHAR** ppwchUri, int* pcchUri) noexcept = 0;
    virtual HRESULT getLocalName(int nIndex, const OLECHAR** ppwchLocalName,
                                 int* pcchLocalName) noexcept = 0;
    virtual HRESULT getQName(int nIndex, const OLECHAR** ppwchQName, int* pcchQName) noexcept = 0;
    virtual HRESULT getName(int nIndex, const OLECHAR** ppwchUri, int* pcchUri,
                            const OLECHAR** ppwchLocalName, int* pcchLocalName,
                            const OLECHAR** ppwchQName, int* pcchQName) noexcept = 0;
    virtual HRESULT getIndexFromName(const OLECHAR* pwchUri, int cchUri,
                                     const OLECHAR* pwchLocalName, int cchLocalName,
                                     int* pnIndex) noexcept = 0;
    virtual HRESULT getIndexFromQName(const OLECHAR* pwchQName, int cchQName,
                                      int* pnIndex) noexcept = 0;
    virtual HRESULT getType(int nIndex, const OLECHAR** ppwchType, int* pcchType) noexcept = 0;
    virtual HRESULT getTypeFromName(const OLECHAR* pwchUri, int cchUri,
                                    const OLECHAR* pwchLocalName, int cchLocalName,
                                    const OLECHAR** ppwchType, int* pcchType) noexcept = 0;
    virtual HRESULT getTypeFromQName(const OLECHAR* pwchQName, int cchQName,
                                     const OLECHAR** ppwchType, int* pcchType) noexcept = 0;
    virtual HRESULT getValue(int nIndex, const OLECHAR** ppwchValue, int* pcchValue) noexcept = 0;
    virtual HRESULT getValueFromName(const OLECHAR* pwchUri, int cchUri,
                                     const OLECHAR* pwchLocalName, int cchLocalName,
                                     const OLECHAR** ppwchValue, int* pcchValue) noexcept = 0;
    virtual HRESULT getValueFromQName(const OLECHAR* pwchQName, int cchQName,
                                      const OLECHAR** ppwchValue, int* pcchValue) noexcept = 0;

protected:
    ~ISAXAttributes() = default;
};

struct ISAXContentHandler : IUnknown {
    static constexpr IID iid = ambivox::make_guid("1545CDFA-9E4E-4497-A8A4-2BF7D0112C44");
    using base_interface = IUnknown;

    virtual HRESULT putDocumentLocator(ISAXLocator* pLocator) noexcept = 0;
    virtual HRESULT startDocument() noexcept = 0;
    virtual HRESULT endDocument() noexcept = 0;
    virtual HRESULT startPrefixMapping(const OLECHAR* pwchPrefix, int cchPrefix,
                                       const OLECHAR* pwchUri, int cchUri) noexcept = 0;
    virtual HRESULT endPrefixMapping(const OLECHAR* pwchPrefix, int cchPrefix) noexcept = 0;
    virtual HRESULT startElement(const OLECHAR* pwchNamespaceUri, int cchNamespaceUri,
                                 const OLECHAR* pwchLocalName, int cchLocalName,
                                 const OLECHAR* pwchQName, int cchQName,
                                 ISAXAttributes* pAttributes) noexcept = 0;
    virtual HRESULT endElement(const OLECHAR* pwchNamespaceUri, int cchNamespaceUri,
                               const OLECHAR* pwchLocalName, int cchLocalName,
                               const OLECHAR* pwchQName, int cchQName) noexcept = 0;
    virtual HRESULT characters(const OLECHAR* pwchChars, int cchChars) noexcept = 0;
    virtual HRESULT ignorableWhitespace(const OLECHAR* pwchChars, int cchChars) noexcept = 0;
    virtual HRESULT processingInstruction(const OLECHAR* pwchTarget, int cchTarget,
                                          const OLECHAR* pwchData, int cchData) noexcept = 0;
    virtual HRESULT skippedEntity(const OLECHAR* pwchName, int cchName) noexcept = 0;

protected:
    ~ISAXContentHandler() = default;
};

struct ISAXErrorHandler : IUnknown {
    static constexpr IID iid = ambivox::make_guid("A60511C4-CCF5-479E-98A3-DC8DC545B7D0");
    using base_interface = IUnknown;

    virtual HRESULT error(ISAXLocator* pLocator, const OLECHAR* pwchErrorMessage,
                          HRESULT hrErrorCode) noexcept = 0;
    virtual HRESULT fatalError(ISAXLocator* pLocator, const OLECHAR* pwchErrorMessage,
                               HRESULT hrErrorCode) noexcept = 0;
    virtual HRESULT ignorableWarning(ISAXLocator* pLocator, const OLECHAR* pwchErrorMessage,
                                     HRESULT hrErrorCode) noexcept = 0;

protected:
    ~ISAXErrorHandler() = default;
};

struct ISAXEntityResolver : IUnknown {
    static constexpr IID iid = ambivox::make_guid("99BCA7BD-E8C4-4D5F-A0CF-6D907901FF07");
    using base_interface = IUnknown;

    virtual HRESULT resolveEntity(const OLECHAR* pwchPublicId, const OLECHAR* pwchSystemId,
                                  VARIANT* pvarInput) noexcept = 0;

protected:
    ~ISAXEntityResolver() = default;
};

struct ISAXDTDHandler : IUnknown {
    static constexpr IID iid = ambivox::make_guid("E15C1BAF-AFB3-4D60-8C36-19A8C45DEFED");
    using base_interface = IUnknown;

    virtual HRESULT notationDecl(const OLECHAR* pwchName, int cchName, const OLECHAR* pwchPublicId,
                                 int cchPublicId, const OLECHAR* pwchSystemId,
                                 int cchSystemId) noexcept = 0;
    virtual HRESULT unparsedEntityDecl(const OLECHAR* pwchName, int cchName,
                                       const OLECHAR* pwchPublicId, int cchPublicId,
                                       const OLECHAR* pwchSystemId, int cchSystemId,
                                       const OLECHAR* pwchNotationName,
                                       int cchNotationName) noexcept = 0;

protected:
    ~ISAXDTDHandler() = default;
};

struct ISAXXMLReader : IUnknown {
    static constexpr IID iid = ambivox::make_guid("A4F96ED0-F829-476E-81C0-CDC7BD2A0802");
    using base_interface = IUnknown;

    virtual HRESULT getFeature(const OLECHAR* pwchName, VARIANT_BOOL* pvfValue) noexcept = 0;
    virtual HRESULT putFeature(const OLECHAR* pwchName, VARIANT_BOOL vfValue) noexcept = 0;
    virtual HRESULT getProperty(const OLECHAR* pwchName, VARIANT* pvarValue) noexcept = 0;
    virtual HRESULT putProperty(const OLECHAR* pwchName, VARIANT varValue) noexcept = 0;
    virtual HRESULT getEntityResolver(ISAXEntityResolver** ppResolver) noexcept = 0;
    virtual HRESULT putEntityResolver(ISAXEntityResolver* pResolver) noexcept = 0;
    virtual HRESULT getContentHandler(ISAXContentHandler** ppHandler) noexcept = 0;
    virtual HRESULT putContentHandler(ISAXContentHandler* pHandler) noexcept = 0;
    virtual HRESULT getDTDHandler(ISAXDTDHandler** ppHandler) noexcept = 0;
    virtual HRESULT putDTDHandler(ISAXDTDHandler* pHandler) noexcept = 0;
    virtual HRESULT getErrorHandler(ISAXErrorHandler** ppHandler) noexcept = 0;
    virtual HRESULT putErrorHandler(ISAXErrorHandler* pHandler) noexcept = 0;
    virtual HRESULT getBaseURL(const OLECHAR** ppwchBaseUrl) noexcept = 0;
    virtual HRESULT putBaseURL(const OLECHAR* pwchBaseUrl) noexcept = 0;
    virtual HRESULT getSecureBaseURL(const OLECHAR** ppwchSecureBaseUrl) noexcept = 0;
    virtual HRESULT putSecureBaseURL(const OLECHAR* pwchSecureBaseUrl) noexcept = 0;
    // varInput: a VT_BSTR holding the document as UTF-16 text.
    virtual HRESULT parse(VARIANT varInput) noexcept = 0;
    virtual HRESULT parseURL(const OLECHAR* pwchUrl) noexcept = 0;

protected:
    ~ISAXXMLReader() = default;
};

// The platform's built-in SAX2 reader, served without registration.
inline constexpr CLSID CLSID_SAXXMLReader =
    ambivox::make_guid("079AA557-4A18-424A-8EEE-E39F0A8D41B9");

// Failures of parse and parseURL.
constexpr HRESULT XML_E_MALFORMED =
    hresult(0xC00CE556);  // not well-formed, or too deep/large an expansion
constexpr HRESULT INET_E_INVALID_URL = hresult(0x800C0002);  // a URL that cannot be parsed
constexpr HRESULT INET_E_CANNOT_CONNECT =
    hresult(0x800C0004);  // connection refused or host unreachable
constexpr HRESULT INET_E_RESOURCE_NOT_FOUND = hresult(0x800C0005);  // unknown host name
constexpr HRESULT INET_E_OBJECT_NOT_FOUND =
    hresult(0x800C0006);  // HTTP error status (404, 500, ...)
constexpr HRESULT INET_E_DOWNLOAD_FAILURE = hresult(0x800C0008);  // body cut off, transfer error
constexpr HRESULT INET_E_CONNECTION_TIMEOUT =
    hresult(0x800C000B);  // no connection or no progress in time
constexpr HRESULT INET_E_UNKNOWN_PROTOCOL = hresult(0x800C000D);  // a URL that is not http
constexpr HRESULT XML_E_DOCUMENT_TOO_LARGE =
    HRESULT_FROM_WIN32(223);  // over 16 MiB (ERROR_FILE_TOO_LARGE)
