// RecordingContentHandler: a SAX content handler that writes down every event it receives as a
// readable UTF-8 line, for tests to compare:
//   "startDocument", "endDocument", "prefix a=urn:x", "endPrefix a",
//   "start Probe id=1 hint=x" (local names, attributes in the order given),
//   "chars Probe 1", "end Probe", "pi target data", "skipped name", "ignorable \n".
// Namespace URIs and qualified names go to `qualified` ("{urn:x}a:Probe {}id" for a start tag,
// "{urn:x}a:Probe" for an end tag), so the plain event lines stay short.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/CodePage.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Implements.h"
#include "platform/xml/Sax.h"

namespace ambivox::testing {

class RecordingContentHandler : public implements<RecordingContentHandler, ISAXContentHandler> {
public:
    std::vector<std::string> events;     // the first `keep` events
    std::vector<std::string> qualified;  // the first `keep` element names with namespaces
    std::size_t event_count = 0;         // every event, kept or not
    std::size_t characters_calls = 0;
    std::size_t keep = static_cast<std::size_t>(-1);
    com_ptr<ISAXLocator> locator;  // as handed to putDocumentLocator

    // The first event whose line starts with prefix answers code (after it has been recorded).
    std::string fail_prefix;
    HRESULT fail_code = E_FAIL;
    // Called with each event line after it has been recorded.
    std::function<void(std::string const&)> on_event;

    void fail_at(std::string prefix, HRESULT code) {
        fail_prefix = std::move(prefix);
        fail_code = code;
    }

    // The events without the document, prefix mapping and locator ones.
    std::vector<std::string> elements() const {
        std::vector<std::string> out;
        for (auto const& e : events)
            if (e.starts_with("start ") || e.starts_with("end ") || e.starts_with("chars "))
                out.push_back(e);
        return out;
    }

    HRESULT putDocumentLocator(ISAXLocator* pLocator) noexcept override {
        locator.copy_from(pLocator);
        return S_OK;
    }
    HRESULT startDocument() noexcept override { return record("startDocument"); }
    HRESULT endDocument() noexcept override { return record("endDocument"); }
    HRESULT startPrefixMapping(const OLECHAR* prefix, int cchPrefix, const OLECHAR* uri,
                               int cchUri) noexcept override {
        return record("prefix " + text(prefix, cchPrefix) + "=" + text(uri, cchUri));
    }
    HRESULT endPrefixMapping(const OLECHAR* prefix, int cchPrefix) noexcept override {
        return record("endPrefix " + text(prefix, cchPrefix));
    }
    HRESULT startElement(const OLECHAR* uri, int cchUri, const OLECHAR* localName, int cchLocalName,
                         const OLECHAR* qName, int cchQName,
                         ISAXAttributes* attributes) noexcept override {
        std::string line = "start " + text(localName, cchLocalName);
        std::string names = "{" + text(uri, cchUri) + "}" + text(qName, cchQName);
        int count = 0;
        if (attributes != nullptr && SUCCEEDED(attributes->getLength(&count))) {
            for (int i = 0; i < count; ++i) {
                OLECHAR const *aUri = nullptr, *aLocal = nullptr, *aQName = nullptr,
                              *value = nullptr;
                int cUri = 0, cLocal = 0, cQName = 0, cValue = 0;
                attributes->getName(i, &aUri, &cUri, &aLocal, &cLocal, &aQName, &cQName);
                attributes->getValue(i, &value, &cValue);
                line += " " + text(aLocal, cLocal) + "=" + text(value, cValue);
                names += " {" + text(aUri, cUri) + "}" + text(aQName, cQName);
            }
        }
        if (qualified.size() < keep) qualified.push_back(std::move(names));
        return record(std::move(line));
    }
    HRESULT endElement(const OLECHAR* uri, int cchUri, const OLECHAR* localName, int cchLocalName,
                       const OLECHAR* qName, int cchQName) noexcept override {
        if (qualified.size() < keep)
            qualified.push_back("{" + text(uri, cchUri) + "}" + text(qName, cchQName));
        return record("end " + text(localName, cchLocalName));
    }
    HRESULT characters(const OLECHAR* chars, int cchChars) noexcept override {
        ++characters_calls;
        return record("chars " + text(chars, cchChars));
    }
    HRESULT ignorableWhitespace(const OLECHAR* chars, int cchChars) noexcept override {
        return record("ignorable " + text(chars, cchChars));
    }
    HRESULT processingInstruction(const OLECHAR* target, int cchTarget, const OLECHAR* data,
                                  int cchData) noexcept override {
        return record("pi " + text(target, cchTarget) + " " + text(data, cchData));
    }
    HRESULT skippedEntity(const OLECHAR* name, int cchName) noexcept override {
        return record("skipped " + text(name, cchName));
    }

private:
    static std::string text(OLECHAR const* chars, int length) {
        if (chars == nullptr || length <= 0) return {};
        return narrow(std::u16string_view(chars, static_cast<std::size_t>(length)), CP_UTF8);
    }

    HRESULT record(std::string line) noexcept {
        ++event_count;
        bool const failing = !fail_prefix.empty() && line.starts_with(fail_prefix);
        if (events.size() < keep) events.push_back(line);
        if (on_event) on_event(line);
        return failing ? fail_code : S_OK;
    }
};

}  // namespace ambivox::testing
