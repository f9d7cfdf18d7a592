#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/automation/UniqueBstr.h"
#include "platform/com/ComRuntime.h"
#include "platform/xml/SaxAttributes.h"
#include "platform/xml/SaxXmlReader.h"
#include "tests/support/RecordingContentHandler.h"
#include "tests/support/RecordingErrorHandler.h"
#include "tests/support/RefCount.h"
#include "tools/simulators/HttpDeviceSimulator.h"

namespace {

using ambivox::com_ptr;
using ambivox::make;
using ambivox::SaxXmlReader;
using ambivox::testing::RecordingContentHandler;
using ambivox::testing::RecordingErrorHandler;
using strings = std::vector<std::string>;

VARIANT bstr_variant(BSTR text) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = text;
    return v;
}

std::string utf16_bytes(std::u16string_view text, bool bigEndian) {
    std::string out;
    for (char16_t c : text) {
        char const low = static_cast<char>(c & 0xFF);
        char const high = static_cast<char>(c >> 8);
        out += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return out;
}
std::string utf16le_bytes(std::u16string_view text) {
    return utf16_bytes(text, false);
}

class SaxReader : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        reader->putContentHandler(handler.get());
        reader->putErrorHandler(errors.get());
    }
    void TearDown() override { CoUninitialize(); }

    HRESULT parse(std::u16string_view text) {
        ambivox::unique_bstr const b(text);
        return reader->parse(bstr_variant(b.get()));
    }
    // The document fed in pieces of `piece` bytes through begin/feed/end.
    HRESULT feed(std::string_view bytes, std::size_t piece = std::string::npos,
                 char const* encoding = nullptr) {
        HRESULT hr = reader->begin(encoding);
        if (FAILED(hr)) return hr;
        for (std::size_t at = 0; at < bytes.size(); at += piece) {
            hr = reader->feed(bytes.data() + at, std::min(piece, bytes.size() - at));
            if (FAILED(hr)) break;
        }
        HRESULT const ended = reader->end();
        return FAILED(hr) ? hr : ended;
    }
    void reset_handler() {
        handler = make<RecordingContentHandler>();
        reader->putContentHandler(handler.get());
    }

    com_ptr<SaxXmlReader> reader = make<SaxXmlReader>();
    com_ptr<RecordingContentHandler> handler = make<RecordingContentHandler>();
    com_ptr<RecordingErrorHandler> errors = make<RecordingErrorHandler>();
};

TEST_F(SaxReader, IsCreatedByClassIdWithoutRegistration) {
    com_ptr<ISAXXMLReader> created;
    ASSERT_EQ(CoCreateInstance(CLSID_SAXXMLReader, nullptr, CLSCTX_ALL, ISAXXMLReader::iid,
                               created.put_void()),
              S_OK);
    ASSERT_TRUE(created);

    ULONG const before = ambivox::testing::ref_count(handler.get());
    EXPECT_EQ(created->putContentHandler(handler.get()), S_OK);
    EXPECT_EQ(ambivox::testing::ref_count(handler.get()), before + 1);
    com_ptr<ISAXContentHandler> got;
    EXPECT_EQ(created->getContentHandler(got.put()), S_OK);
    EXPECT_EQ(got.get(), static_cast<ISAXContentHandler*>(handler.get()));
    got = nullptr;

    ambivox::unique_bstr const doc(u"<r/>");
    EXPECT_EQ(created->parse(bstr_variant(doc.get())), S_OK);
    EXPECT_EQ(handler->elements(), (strings{"start r", "end r"}));
    EXPECT_EQ(created->putContentHandler(nullptr), S_OK);
    EXPECT_EQ(ambivox::testing::ref_count(handler.get()), before);

    std::thread([] {
        com_ptr<ISAXXMLReader> none;
        EXPECT_EQ(CoCreateInstance(CLSID_SAXXMLReader, nullptr, CLSCTX_ALL, ISAXXMLReader::iid,
                                   none.put_void()),
                  CO_E_NOTINITIALIZED);
    }).join();
}

TEST_F(SaxReader, ReportsElementsAndAttributesByLocalName) {
    ASSERT_EQ(parse(u"<?xml version=\"1.0\"?>\n"
                    u"<a:Probes xmlns:a=\"urn:test\" xmlns=\"urn:default\">"
                    u"<Probe id=\"1\" hint=\"x\" a:kind=\"k\"><Name>Probe 1</Name></Probe>"
                    u"<a:Empty x=\"1\" y=\"2\"/><?note keep this?></a:Probes>"),
              S_OK);
    EXPECT_EQ(handler->events, (strings{
                                   "startDocument",
                                   "prefix a=urn:test",
                                   "prefix =urn:default",
                                   "start Probes",
                                   "start Probe id=1 hint=x kind=k",
                                   "start Name",
                                   "chars Probe 1",
                                   "end Name",
                                   "end Probe",
                                   "start Empty x=1 y=2",
                                   "end Empty",
                                   "pi note keep this",
                                   "end Probes",
                                   "endPrefix ",
                                   "endPrefix a",
                                   "endDocument",
                               }));
    // Namespace declarations are no attributes; names keep their URI and prefix as written.
    EXPECT_EQ(handler->qualified, (strings{
                                      "{urn:test}a:Probes",
                                      "{urn:default}Probe {}id {}hint {urn:test}a:kind",
                                      "{urn:default}Name",
                                      "{urn:default}Name",
                                      "{urn:default}Probe",
                                      "{urn:test}a:Empty {}x {}y",
                                      "{urn:test}a:Empty",
                                      "{urn:test}a:Probes",
                                  }));
    EXPECT_TRUE(errors->fatal.empty());
}

TEST_F(SaxReader, DeliversEachTextNodeInOneCall) {
    ASSERT_EQ(parse(u"<r><n>R&amp;D Lab</n><c>&#x41;B&#66;&lt;</c>"
                    u"<d><![CDATA[x<y]]> &amp; z</d><w>  Probe 1 \r\n</w><e></e>"
                    u"<p>one<b>two</b>three<!-- note -->four</p></r>"),
              S_OK);
    EXPECT_EQ(
        handler->elements(),
        (strings{
            "start r",   "start n", "chars R&D Lab",   "end n",   "start c",   "chars ABB<",
            "end c",     "start d", "chars x<y & z",   "end d",   "start w",   "chars   Probe 1 \n",
            "end w",     "start e", "end e",           "start p", "chars one", "start b",
            "chars two", "end b",   "chars threefour", "end p",   "end r"}));
    EXPECT_EQ(handler->characters_calls, 7u);
}

TEST_F(SaxReader, ReadsTextAsUtf16WhateverItDeclares) {
    EXPECT_EQ(parse(u"\uFEFF<?xml version=\"1.0\" encoding=\"UTF-8\"?><r a=\"\u00E9\">\u00E9\u20AC"
                    u"</r>"),
              S_OK);
    EXPECT_EQ(parse(u"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>\U0001F600</r>"), S_OK);
    EXPECT_EQ(handler->elements(), (strings{"start r a=\u00E9", "chars \u00E9\u20AC", "end r",
                                            "start r", "chars \U0001F600", "end r"}));

    // Text longer than the pieces it goes to expat in: a surrogate pair across a piece boundary,
    // two- and three-byte characters on either side, the same events as the UTF-16 bytes give.
    std::u16string const long_text = std::u16string(16383 - 3, u'a') + u"\U0001F600\u00E9" +
                                     std::u16string(20000, u'\u20AC') + u"b";
    reset_handler();
    EXPECT_EQ(parse(u"<r>" + long_text + u"</r>"), S_OK);
    strings const whole = handler->events;
    reset_handler();
    EXPECT_EQ(feed(utf16le_bytes(u"<r>" + long_text + u"</r>"), std::string::npos, "UTF-16LE"),
              S_OK);
    EXPECT_EQ(handler->events, whole);

    // A surrogate without its partner leaves the text malformed, wherever it stands.
    for (std::u16string const lone : {u"<r>\xD800</r>", u"<r>\xDC00x</r>", u"<r a='\xD800x'/>",
                                      u"<r/><!--\xDBFF-->", u"<r>x</r>\xD800"}) {
        reset_handler();
        EXPECT_EQ(parse(lone), XML_E_MALFORMED);
    }

    // By reference too; other variant types are refused.
    reset_handler();
    ambivox::unique_bstr doc(u"<x/>");
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BYREF | VT_BSTR;
    BSTR text = doc.get();
    v.pbstrVal = &text;
    EXPECT_EQ(reader->parse(v), S_OK);
    EXPECT_EQ(handler->elements(), (strings{"start x", "end x"}));
    v.pbstrVal = nullptr;
    EXPECT_EQ(reader->parse(v), E_INVALIDARG);
    v.vt = VT_I4;
    v.lVal = 1;
    EXPECT_EQ(reader->parse(v), E_INVALIDARG);
}

TEST_F(SaxReader, HonoursByteOrderMarkAndDeclaredEncoding) {
    struct sample {
        char const* what;
        std::string bytes;
        std::string text;
    } const samples[] = {
        {"UTF-8", "<r>\xC3\xA9\xE2\x82\xAC</r>", "\xC3\xA9\xE2\x82\xAC"},
        {"UTF-8 with BOM", "\xEF\xBB\xBF<r>\xC3\xA9</r>", "\xC3\xA9"},
        {"ISO-8859-1", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>\xE9\xFF</r>",
         "\xC3\xA9\xC3\xBF"},
        {"windows-1252", "<?xml version='1.0' encoding='Windows-1252'?><r>\x80\xE9</r>",
         "\xE2\x82\xAC\xC3\xA9"},
        {"UTF-16LE with BOM", utf16le_bytes(u"\uFEFF<r>\u00E9</r>"), "\xC3\xA9"},
        {"UTF-16BE with BOM", utf16_bytes(u"\uFEFF<r>\u00E9</r>", true), "\xC3\xA9"},
    };
    for (auto const& s : samples) {
        reset_handler();
        EXPECT_EQ(feed(s.bytes), S_OK) << s.what;
        EXPECT_EQ(handler->elements(), (strings{"start r", "chars " + s.text, "end r"})) << s.what;
    }

    // A forced encoding wins over the declaration.
    reset_handler();
    EXPECT_EQ(feed(utf16le_bytes(u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>\u00E9</r>"),
                   std::string::npos, "UTF-16LE"),
              S_OK);
    EXPECT_EQ(handler->elements(), (strings{"start r", "chars \xC3\xA9", "end r"}));

    // An encoding expat cannot read fails as malformed.
    reset_handler();
    EXPECT_EQ(feed("<?xml version='1.0' encoding='EBCDIC-XYZ'?><r/>"), XML_E_MALFORMED);
}

TEST_F(SaxReader, GivesTheSameEventsHoweverTheBytesAreSplit) {
    std::string const doc =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE d [<!ENTITY co \"Ambi &amp; Vox\">]>\n"
        "<d xmlns:p=\"urn:p\"><p:Probe id=\"1\" note=\"a&lt;b &#xE9;\">\xC3\xA9\xE2\x82\xAC"
        "\xF0\x9F\x98\x80 &co; &#x41;<![CDATA[ raw <text> ]]>tail</p:Probe><?pi data?>"
        "<!-- comment --><e/>\r\n  <f>x</f></d>\n";
    ASSERT_EQ(feed(doc), S_OK);
    strings const whole = handler->events;
    EXPECT_EQ(handler->characters_calls, 3u);

    for (std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{7}}) {
        reset_handler();
        EXPECT_EQ(feed(doc, piece), S_OK) << piece;
        EXPECT_EQ(handler->events, whole) << piece;
    }

    // UTF-16 split at every byte, so characters straddle the pieces.
    std::u16string const wide = ambivox::widen(doc, CP_UTF8);
    reset_handler();
    ASSERT_EQ(feed(utf16le_bytes(wide), std::string::npos, "UTF-16LE"), S_OK);
    strings const wholeWide = handler->events;
    EXPECT_EQ(wholeWide, whole);
    reset_handler();
    EXPECT_EQ(feed(utf16le_bytes(wide), 1, "UTF-16LE"), S_OK);
    EXPECT_EQ(handler->events, whole);
}

TEST_F(SaxReader, MalformedDocumentFailsAfterTheEarlierEvents) {
    EXPECT_EQ(parse(u"<r>\n  <a>1</a>\n  <b x=\"1\">\n</r>"), XML_E_MALFORMED);
    EXPECT_EQ(handler->elements(), (strings{"start r", "chars \n  ", "start a", "chars 1", "end a",
                                            "chars \n  ", "start b x=1"}));
    EXPECT_EQ(std::count(handler->events.begin(), handler->events.end(), "endDocument"), 0);
    ASSERT_EQ(errors->fatal.size(), 1u);
    EXPECT_EQ(errors->fatal[0].code, XML_E_MALFORMED);
    EXPECT_EQ(errors->fatal[0].line, 4);
    EXPECT_NE(errors->fatal[0].message.find("line 4"), std::string::npos)
        << errors->fatal[0].message;

    // The locator outlives the parse and the reader, keeping the last position.
    com_ptr<ISAXLocator> locator = handler->locator;
    ASSERT_TRUE(locator);
    reader = nullptr;
    int line = 0;
    EXPECT_EQ(locator->getLineNumber(&line), S_OK);
    EXPECT_EQ(line, 4);
}

TEST_F(SaxReader, DocumentEndingEarlyIsMalformed) {
    EXPECT_EQ(feed("<r><a>1</a><b>te"), XML_E_MALFORMED);
    EXPECT_EQ(handler->elements(), (strings{"start r", "start a", "chars 1", "end a", "start b"}));
    EXPECT_EQ(errors->fatal.size(), 1u);

    reset_handler();
    EXPECT_EQ(feed(""), XML_E_MALFORMED);
    EXPECT_TRUE(handler->events.empty());

    // After a failure feed repeats it and end reports it once; then there is no document.
    EXPECT_EQ(reader->begin(), S_OK);
    EXPECT_EQ(reader->feed("<r></x>", 7), XML_E_MALFORMED);
    EXPECT_EQ(reader->feed("<r/>", 4), XML_E_MALFORMED);
    EXPECT_EQ(reader->end(), XML_E_MALFORMED);
    EXPECT_EQ(reader->end(), E_UNEXPECTED);
    EXPECT_EQ(reader->feed("<r/>", 4), E_UNEXPECTED);

    // The reader goes on to parse the next document.
    reset_handler();
    EXPECT_EQ(parse(u"<ok/>"), S_OK);
    EXPECT_EQ(handler->elements(), (strings{"start ok", "end ok"}));
}

TEST_F(SaxReader, BillionLaughsFailsFast) {
    std::string const entities =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n <!ENTITY lol \"lol\">\n"
        " <!ENTITY lol1 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">\n"
        " <!ENTITY lol2 \"&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;\">\n"
        " <!ENTITY lol3 \"&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;\">\n"
        " <!ENTITY lol4 \"&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;\">\n"
        " <!ENTITY lol5 \"&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;\">\n"
        " <!ENTITY lol6 \"&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;\">\n"
        " <!ENTITY lol7 \"&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;\">\n"
        " <!ENTITY lol8 \"&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;\">\n"
        " <!ENTITY lol9 \"&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;\">\n"
        "]>\n";
    for (std::string const body : {"<lolz>&lol9;</lolz>", "<lolz a=\"&lol9;\"/>"}) {
        reset_handler();
        auto const started = std::chrono::steady_clock::now();
        EXPECT_EQ(feed(entities + body), XML_E_MALFORMED) << body;
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5)) << body;
        EXPECT_EQ(handler->characters_calls, 0u) << body;
    }
}

TEST_F(SaxReader, DocumentsNestedDeeperThan256AreMalformed) {
    auto nested = [](int depth) {
        std::string document;
        for (int i = 0; i < depth; ++i)
            document += "<e>";
        for (int i = 0; i < depth; ++i)
            document += "</e>";
        return document;
    };
    EXPECT_EQ(feed(nested(256)), S_OK);

    reset_handler();
    EXPECT_EQ(feed(nested(257)), XML_E_MALFORMED);
    EXPECT_EQ(handler->elements().size(), 256u) << "the elements before the limit arrive";
    ASSERT_EQ(errors->fatal.size(), 1u);
    EXPECT_EQ(errors->fatal[0].message, "the document nests elements more than 256 deep");
}

TEST_F(SaxReader, HugeTextNodeIsRefused) {
    ASSERT_EQ(reader->begin(), S_OK);
    ASSERT_EQ(reader->feed("<r>", 3), S_OK);
    std::string const block(1024 * 1024, 'a');
    HRESULT hr = S_OK;
    for (int i = 0; i < 20 && SUCCEEDED(hr); ++i)
        hr = reader->feed(block.data(), block.size());
    EXPECT_EQ(hr, XML_E_DOCUMENT_TOO_LARGE);
    EXPECT_EQ(reader->end(), XML_E_DOCUMENT_TOO_LARGE);
    EXPECT_EQ(handler->characters_calls, 0u);
    ASSERT_EQ(errors->fatal.size(), 1u);
    EXPECT_EQ(errors->fatal[0].code, XML_E_DOCUMENT_TOO_LARGE);
}

TEST_F(SaxReader, NeverFetchesExternalEntitiesOrDtd) {
    ambivox::simulation::HttpDeviceSimulator device;
    device.serve("/dtd", "<!ENTITY undeclared \"fetched\">", 200, "application/xml-dtd");
    device.serve("/ent", "fetched", 200, "text/plain");
    device.serve("/pe", "<!ENTITY late \"fetched\">", 200, "application/xml-dtd");
    std::u16string const base = ambivox::widen(device.base_url(), CP_UTF8);

    EXPECT_EQ(parse(u"<?xml version=\"1.0\"?>\n<!DOCTYPE r SYSTEM \"" + base +
                    u"/dtd\" [\n"
                    u"  <!ENTITY ext SYSTEM \"" +
                    base +
                    u"/ent\">\n"
                    u"  <!ENTITY % pe SYSTEM \"" +
                    base +
                    u"/pe\">\n"
                    u"  %pe;\n]>\n<r>[&ext;][&undeclared;]</r>"),
              S_OK);
    EXPECT_EQ(handler->elements(), (strings{"start r", "chars [][]", "end r"}));
    EXPECT_NE(std::find(handler->events.begin(), handler->events.end(), "skipped undeclared"),
              handler->events.end());

    // Give a stray request time to arrive before counting.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(device.request_count(), 0u);
}

TEST_F(SaxReader, ContentHandlerFailureStopsTheParse) {
    handler->fail_at("start b", E_ABORT);
    EXPECT_EQ(parse(u"<r><a/><b><c/></b></r>"), E_ABORT);
    EXPECT_EQ(handler->elements(), (strings{"start r", "start a", "end a", "start b"}));
    EXPECT_TRUE(errors->fatal.empty());

    reset_handler();
    handler->fail_at("startDocument", E_FAIL);
    EXPECT_EQ(parse(u"<r/>"), E_FAIL);
    EXPECT_EQ(handler->events, strings{"startDocument"});

    reset_handler();
    handler->fail_at("chars", hresult(0x80041234));
    EXPECT_EQ(feed("<r>text<a/></r>", 1), hresult(0x80041234));
    EXPECT_EQ(handler->elements(), (strings{"start r", "chars text"}));
}

TEST_F(SaxReader, HandlerCannotReenterTheReader) {
    HRESULT nested = S_OK;
    HRESULT nestedFeed = S_OK;
    handler->on_event = [&](std::string const& event) {
        if (event != "start r") return;
        ambivox::unique_bstr const other(u"<x/>");
        nested = reader->parse(bstr_variant(other.get()));
        nestedFeed = reader->feed("<x/>", 4);
    };
    EXPECT_EQ(parse(u"<r><a/></r>"), S_OK);
    EXPECT_EQ(nested, E_UNEXPECTED);
    EXPECT_EQ(nestedFeed, E_UNEXPECTED);
    EXPECT_EQ(handler->elements(), (strings{"start r", "start a", "end a", "end r"}));
}

// A handler replaced from inside its own call, the reader holding its last reference, lives
// until that call returns; the new handler gets the events from then on.
TEST_F(SaxReader, HandlerReplacedDuringTheParseLivesOutItsCall) {
    auto first = make<RecordingContentHandler>();
    RecordingContentHandler* seen = first.get();
    first->on_event = [&](std::string const& event) {
        if (event != "start a") return;
        EXPECT_EQ(reader->putContentHandler(handler.get()), S_OK);
        seen->events.push_back("still here");
    };
    reader->putContentHandler(first.get());
    first = nullptr;
    EXPECT_EQ(parse(u"<r><a/><b/></r>"), S_OK);
    EXPECT_EQ(handler->elements(), (strings{"end a", "start b", "end b", "end r"}));
}

// Two documents open at once on one thread: the second, of more distinct names than a reader
// keeps, leaves the first's open elements as they were.
TEST_F(SaxReader, DocumentsOpenAtOnceKeepTheirOwnNames) {
    ASSERT_EQ(reader->begin(), S_OK);
    ASSERT_EQ(reader->feed("<first><second>", 15), S_OK);

    std::string many = "<r>";
    for (int k = 0; k < 5000; ++k)
        many += "<n" + std::to_string(k) + "/>";
    auto other = make<SaxXmlReader>();
    auto otherHandler = make<RecordingContentHandler>();
    other->putContentHandler(otherHandler.get());
    ASSERT_EQ(other->begin(), S_OK);
    ASSERT_EQ(other->feed(many.data(), many.size()), S_OK);
    ASSERT_EQ(other->feed("</r>", 4), S_OK);
    ASSERT_EQ(other->end(), S_OK);
    EXPECT_EQ(otherHandler->elements().size(), 10002u);

    ASSERT_EQ(reader->feed("</second></first>", 17), S_OK);
    ASSERT_EQ(reader->end(), S_OK);
    EXPECT_EQ(handler->elements(),
              (strings{"start first", "start second", "end second", "end first"}));
}

TEST(SaxAttributeList, LooksUpByIndexAndByName) {
    auto const list = make<ambivox::SaxAttributes>();
    list->add(u"", u"id", u"id", u"7");
    list->add(u"urn:p", u"kind", u"p:kind", u"probe");
    int count = 0;
    EXPECT_EQ(list->getLength(&count), S_OK);
    EXPECT_EQ(count, 2);

    OLECHAR const* text = nullptr;
    int length = 0;
    EXPECT_EQ(list->getQName(1, &text, &length), S_OK);
    EXPECT_EQ(std::u16string_view(text, length), u"p:kind");
    EXPECT_EQ(list->getValue(2, &text, &length), E_INVALIDARG);
    EXPECT_EQ(list->getValue(-1, &text, &length), E_INVALIDARG);
    EXPECT_EQ(list->getValue(0, nullptr, &length), E_POINTER);

    int index = 0;
    EXPECT_EQ(list->getIndexFromName(u"urn:p", 5, u"kind", 4, &index), S_OK);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(list->getIndexFromName(nullptr, 0, u"kind", 4, &index), E_INVALIDARG);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(list->getIndexFromQName(u"id", 2, &index), S_OK);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(list->getValueFromName(nullptr, 0, u"id", 2, &text, &length), S_OK);
    EXPECT_EQ(std::u16string_view(text, length), u"7");
    EXPECT_EQ(list->getValueFromQName(u"ID", 2, &text, &length), E_INVALIDARG);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(list->getTypeFromQName(u"p:kind", 6, &text, &length), S_OK);
    EXPECT_EQ(std::u16string_view(text, length), u"CDATA");

    list->clear();
    EXPECT_EQ(list->getLength(&count), S_OK);
    EXPECT_EQ(count, 0);
}

TEST_F(SaxReader, AnswersFeaturesAndProperties) {
    VARIANT_BOOL value = VARIANT_FALSE;
    EXPECT_EQ(reader->getFeature(u"http://xml.org/sax/features/namespaces", &value), S_OK);
    EXPECT_EQ(value, VARIANT_TRUE);
    EXPECT_EQ(reader->putFeature(u"http://xml.org/sax/features/namespaces", VARIANT_TRUE), S_OK);
    EXPECT_EQ(reader->putFeature(u"http://xml.org/sax/features/namespaces", VARIANT_FALSE),
              E_NOTIMPL);
    EXPECT_EQ(reader->getFeature(u"http://xml.org/sax/features/external-general-entities", &value),
              S_OK);
    EXPECT_EQ(value, VARIANT_FALSE);
    EXPECT_EQ(reader->getFeature(u"urn:unknown", &value), E_INVALIDARG);
    EXPECT_EQ(reader->getFeature(nullptr, &value), E_INVALIDARG);
    VARIANT v;
    VariantInit(&v);
    EXPECT_EQ(reader->getProperty(u"http://xml.org/sax/properties/lexical-handler", &v), E_NOTIMPL);
    EXPECT_EQ(reader->putProperty(u"http://xml.org/sax/properties/lexical-handler", v), E_NOTIMPL);

    OLECHAR const* url = u"unset";
    EXPECT_EQ(reader->getBaseURL(&url), S_OK);
    EXPECT_EQ(url, nullptr);
    EXPECT_EQ(reader->putBaseURL(u"http://device/"), S_OK);
    EXPECT_EQ(reader->getBaseURL(&url), S_OK);
    EXPECT_EQ(std::u16string_view(url), u"http://device/");
}

}  // namespace
