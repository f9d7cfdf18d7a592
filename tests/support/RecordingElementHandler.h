// An element handler that writes down every call it receives, one line per call, in UTF-8 so a
// failing comparison prints readably:
//   start NAME a=1 b=2     (attributes in map order)
//   text [TEXT]
//   end NAME               (followed by " a=1" should an end tag ever carry attributes)
#pragma once

#include <new>
#include <string>
#include <vector>

#include "platform/base/CodePage.h"
#include "xml/IXMLElementHandler.h"

namespace ambivox::testing {

class RecordingElementHandler final : public IXMLElementHandler {
public:
    void OnStartElement(XMLElement const& element) override {
        calls.push_back("start " + describe(element));
        if (throw_on_start) throw std::bad_alloc();
    }
    void OnCharacters(char16_t const* text) override {
        calls.push_back("text [" + narrow(text, CP_UTF8) + "]");
    }
    void OnEndElement(XMLElement const& element) override {
        calls.push_back("end " + describe(element));
    }

    std::vector<std::string> calls;
    // Makes OnStartElement fail as an exhausted memory would, after writing its line down.
    bool throw_on_start = false;

private:
    static std::string describe(XMLElement const& element) {
        std::string line = narrow(element.name, CP_UTF8);
        for (auto const& [name, value] : element.attributes)
            line += " " + narrow(name, CP_UTF8) + "=" + narrow(value, CP_UTF8);
        return line;
    }
};

}  // namespace ambivox::testing
