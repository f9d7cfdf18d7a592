// IXMLElementHandler: what the document readers implement to receive a parsed document.
//
// A plain in-process class interface, not a component one: no reference counting, no identity
// queries. Handlers travel between the library's parts as raw pointers and their owner destroys
// them through the concrete type, so the destructor is protected and not virtual.
#pragma once

#include "platform/base/Types.h"
#include "xml/ElementHandlerRegistry.h"
#include "xml/XMLElement.h"

namespace ambivox {

class IXMLElementHandler {
public:
    // The three event operations may raise std::bad_alloc; the content handler that calls them
    // turns it into E_OUTOFMEMORY, which stops the parse with that code.

    // A start tag with its attributes.
    virtual void OnStartElement(XMLElement const& element) = 0;
    // Character data, zero-terminated and valid only during the call. Never empty, never only
    // white space, and already trimmed of trailing white space.
    virtual void OnCharacters(char16_t const* text) = 0;
    // An end tag: its name only, no attributes.
    virtual void OnEndElement(XMLElement const& element) = 0;

    // Two operations the library never calls, kept so every handler has the same five slots.
    virtual void Reserved4(LONG_PTR, LONG_PTR, LONG_PTR, LONG_PTR) noexcept {}
    virtual bool Reserved5(LONG_PTR) noexcept { return false; }

protected:
    // Every handler is known to the registry for its whole life, so that an address crossing
    // the data connector's interface can be checked before it is used.
    IXMLElementHandler() { ElementHandlerRegistry::add(this); }
    IXMLElementHandler(IXMLElementHandler const&) : IXMLElementHandler() {}
    IXMLElementHandler& operator=(IXMLElementHandler const&) = default;
    ~IXMLElementHandler() { ElementHandlerRegistry::remove(this); }
};

}  // namespace ambivox
