#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/com/ComRuntime.h"
#include "tests/support/RecordingElementHandler.h"
#include "tests/xml/DocumentParsing.h"
#include "xml/CXMLParser.h"
#include "xml/SAXContentHandlerImpl.h"
#include "xml/SAXErrorHandlerImpl.h"
#include "xml/XMLElement.h"

namespace {

using ambivox::CXMLParser;
using ambivox::SAXContentHandlerImpl;
using ambivox::SAXErrorHandlerImpl;
using ambivox::XMLElement;
using ambivox::testing::parse_bytewise;
using ambivox::testing::parse_whole;
using ambivox::testing::RecordingElementHandler;
using calls = std::vector<std::string>;

// The calls a document gives, checked to be the same whether it is read whole or byte by byte.
calls events_of(std::u16string_view document, HRESULT expected = S_OK) {
    RecordingElementHandler whole;
    EXPECT_EQ(parse_whole(document, &whole), expected);
    RecordingElementHandler bytewise;
    EXPECT_EQ(parse_bytewise(document, &bytewise), expected);
    EXPECT_EQ(whole.calls, bytewise.calls) << "whole and byte-by-byte parses disagree";
    return whole.calls;
}

// Runs body on a thread of its own, whose runtime state starts uninitialised.
template <class F>
void on_fresh_thread(F body) {
    std::thread(body).join();
}

TEST(SaxBridge, ElementsArriveByLocalNameWithOrderedAttributes) {
    EXPECT_EQ(events_of(uR"(<a y="2" x="1"/>)"), (calls{"start a x=1 y=2", "end a"}));
    EXPECT_EQ(events_of(uR"(<p:Probe xmlns:p="urn:p" p:id="3" type="T"><p:Name/></p:Probe>)"),
              (calls{"start Probe id=3 type=T", "start Name", "end Name", "end Probe"}));
    // Two attributes with one local name in different namespaces: the later one is kept, on
    // the first start tag as on later ones.
    EXPECT_EQ(events_of(uR"(<r xmlns:p="urn:p" xmlns:q="urn:q"><a p:x="1" q:x="2" y="3"/>)"
                        uR"(<b q:x="4" p:x="5"/></r>)"),
              (calls{"start r", "start a x=2 y=3", "end a", "start b x=5", "end b", "end r"}));
    // Comments, processing instructions and the declaration reach no element handler.
    EXPECT_EQ(events_of(u"<?xml version=\"1.0\"?><!-- c --><r><?pi data?></r>"),
              (calls{"start r", "end r"}));
}

TEST(SaxBridge, TextIsTrimmedAtItsEndOnly) {
    EXPECT_EQ(events_of(u"<Name>  Probe 1 \r\n</Name>"),
              (calls{"start Name", "text [  Probe 1]", "end Name"}));
    // White space beyond the ASCII range stays.
    EXPECT_EQ(events_of(u"<Name>x\u00a0</Name>"),
              (calls{"start Name", "text [x\u00a0]", "end Name"}));
    // Blank text, and the indentation between tags, reach nobody.
    EXPECT_EQ(events_of(u"<Name> </Name>"), (calls{"start Name", "end Name"}));
    EXPECT_EQ(events_of(u"<a>\r\n\t<b>\n\t\t</b>\n</a>\n"),
              (calls{"start a", "start b", "end b", "end a"}));
}

TEST(SaxBridge, EachPieceOfTextIsTrimmedOnItsOwn) {
    RecordingElementHandler handler;
    SAXContentHandlerImpl content(&handler);
    std::u16string const pieces[] = {u"R ", u" \t\n\v\f\r", u"&D Lab\v\f", u""};
    for (auto const& piece : pieces)
        EXPECT_EQ(content.characters(piece.data(), static_cast<int>(piece.size())), S_OK);
    EXPECT_EQ(content.characters(nullptr, 4), S_OK);
    EXPECT_EQ(content.characters(u"abc", -1), S_OK);
    EXPECT_EQ(handler.calls, (calls{"text [R]", "text [&D Lab]"}));
}

TEST(SaxBridge, GetAttributeMatchesWholeNamesCaseSensitively) {
    XMLElement const element{u"Probe", {{u"id", u"7"}, {u"idx", u"8"}}};
    EXPECT_EQ(element.GetAttribute(u"id"), u"7");
    EXPECT_EQ(element.GetAttribute(u"ID"), u"");
    EXPECT_EQ(element.GetAttribute(u"i"), u"");
    EXPECT_EQ(element.GetAttribute(u""), u"");
    XMLElement const withEmptyName{u"Probe", {{u"", u"odd"}}};
    EXPECT_EQ(withEmptyName.GetAttribute(u""), u"");
}

TEST(SaxBridge, CutOffDocumentFailsAfterTheEventsBeforeTheCut) {
    calls const events = events_of(u"<a><b>text</b><c>mo", XML_E_MALFORMED);
    EXPECT_EQ(events, (calls{"start a", "start b", "text [text]", "end b", "start c"}));
    EXPECT_EQ(events_of(u"", XML_E_MALFORMED), calls{});
}

TEST(SaxBridge, WithoutAHandlerTheParseRunsToItsEnd) {
    EXPECT_EQ(parse_whole(u"<a><b x=\"1\">text</b></a>", nullptr), S_OK);
    EXPECT_EQ(parse_whole(u"<a><b>text</b></a><c/>", nullptr), XML_E_MALFORMED);
    SAXContentHandlerImpl content;
    EXPECT_EQ(content.element_handler(), nullptr);
    EXPECT_EQ(content.characters(u"text", 4), S_OK);
    EXPECT_EQ(content.endElement(u"", 0, u"a", 1, u"a", 1), S_OK);
}

TEST(SaxBridge, AHandlerOutOfMemoryStopsTheParse) {
    RecordingElementHandler handler;
    handler.throw_on_start = true;
    SAXContentHandlerImpl content(&handler);
    EXPECT_EQ(content.startElement(u"", 0, u"a", 1, u"a", 1, nullptr), E_OUTOFMEMORY);

    RecordingElementHandler parsed;
    parsed.throw_on_start = true;
    EXPECT_EQ(parse_whole(u"<a><b/></a>", &parsed), E_OUTOFMEMORY);
    EXPECT_EQ(parsed.calls, calls{"start a"});
}

TEST(SaxBridge, LeavesTheCallersApartmentAsItWas) {
    on_fresh_thread([] {
        RecordingElementHandler handler;
        EXPECT_EQ(parse_whole(u"<a/>", &handler), S_OK);
        EXPECT_FALSE(ambivox::runtime_initialized());
    });
    on_fresh_thread([] {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        EXPECT_EQ(parse_whole(u"<a/>", nullptr), S_OK);
        CoUninitialize();
        EXPECT_FALSE(ambivox::runtime_initialized()) << "the parse left an initialisation behind";
    });
    // A thread of the multithreaded apartment refuses the parser's initialisation; the parse
    // still works, and the thread's own initialisation is not taken away.
    on_fresh_thread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        RecordingElementHandler handler;
        EXPECT_EQ(parse_whole(u"<a/>", &handler), S_OK);
        EXPECT_EQ(handler.calls, (calls{"start a", "end a"}));
        EXPECT_TRUE(ambivox::runtime_initialized());
        CoUninitialize();
        EXPECT_FALSE(ambivox::runtime_initialized());
    });
    on_fresh_thread([] {
        {
            CXMLParser parser(nullptr);
            EXPECT_TRUE(ambivox::runtime_initialized());
        }
        EXPECT_FALSE(ambivox::runtime_initialized());
    });
}

TEST(SaxBridge, HandlersAnswerOnlyTheirOwnInterfacesAndAreNotCounted) {
    SAXContentHandlerImpl content;
    SAXErrorHandlerImpl errors;
    void* out = &content;
    EXPECT_EQ(content.QueryInterface(IUnknown::iid, &out), S_OK);
    EXPECT_EQ(out, static_cast<ISAXContentHandler*>(&content));
    EXPECT_EQ(content.QueryInterface(ISAXContentHandler::iid, &out), S_OK);
    EXPECT_EQ(out, static_cast<ISAXContentHandler*>(&content));
    EXPECT_EQ(content.QueryInterface(ISAXErrorHandler::iid, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(content.QueryInterface(IUnknown::iid, nullptr), E_POINTER);
    EXPECT_EQ(content.AddRef(), 0u);
    EXPECT_EQ(content.Release(), 0u);

    EXPECT_EQ(errors.QueryInterface(IUnknown::iid, &out), S_OK);
    EXPECT_EQ(out, static_cast<ISAXErrorHandler*>(&errors));
    EXPECT_EQ(errors.QueryInterface(ISAXErrorHandler::iid, &out), S_OK);
    EXPECT_EQ(out, static_cast<ISAXErrorHandler*>(&errors));
    EXPECT_EQ(errors.QueryInterface(ISAXContentHandler::iid, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(errors.AddRef(), 0u);
    EXPECT_EQ(errors.Release(), 0u);
    EXPECT_EQ(errors.fatalError(nullptr, u"message", XML_E_MALFORMED), S_OK);
}

// The reader's own class object, kept to put it back after a test has replaced it.
IClassFactory* g_readerFactory = nullptr;
HRESULT real_reader_factory(REFIID riid, void** ppv) noexcept {
    return g_readerFactory->QueryInterface(riid, ppv);
}
HRESULT missing_reader_factory(REFIID, void** ppv) noexcept {
    *ppv = nullptr;
    return E_OUTOFMEMORY;
}

TEST(SaxBridge, WithoutAReaderTheParseAnswersWhyItCouldNotBeCreated) {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    if (g_readerFactory == nullptr) {
        ASSERT_EQ(CoGetClassObject(CLSID_SAXXMLReader, CLSCTX_ALL, nullptr, IClassFactory::iid,
                                   reinterpret_cast<void**>(&g_readerFactory)),
                  S_OK);
    }
    ambivox::register_builtin_class(CLSID_SAXXMLReader, &missing_reader_factory);
    RecordingElementHandler handler;
    EXPECT_EQ(parse_whole(u"<a/>", &handler), E_OUTOFMEMORY);
    EXPECT_EQ(ambivox::ParseURL(u"http://127.0.0.1:1/", &handler), E_OUTOFMEMORY);
    EXPECT_TRUE(handler.calls.empty());
    ambivox::register_builtin_class(CLSID_SAXXMLReader, &real_reader_factory);
    EXPECT_EQ(parse_whole(u"<a/>", &handler), S_OK);
    CoUninitialize();
    EXPECT_FALSE(ambivox::runtime_initialized());
}

}  // namespace
