#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/base/CodePage.h"
#include "platform/com/ComRuntime.h"
#include "platform/internet/HttpLimits.h"
#include "platform/xml/SaxXmlReader.h"
#include "tests/support/PythonHttpServer.h"
#include "tests/support/RecordingContentHandler.h"
#include "tests/support/RecordingErrorHandler.h"
#include "tests/support/UnusedPort.h"
#include "tools/simulators/HttpDeviceSimulator.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using ambivox::com_ptr;
using ambivox::make;
using ambivox::SaxXmlReader;
using ambivox::simulation::HttpDeviceSimulator;
using ambivox::testing::RecordingContentHandler;
using ambivox::testing::RecordingErrorHandler;
using ambivox::testing::unused_port;
using fault = HttpDeviceSimulator::fault;
using strings = std::vector<std::string>;
using clock_type = std::chrono::steady_clock;

std::string const config_doc =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<Config xmlns=\"urn:device\"><Probe id=\"1\"><Name>Probe 1</Name></Probe>"
    "<Probe id=\"2\"><Name>R&amp;D Lab</Name></Probe></Config>\n";

strings const config_events = {"start Config",     "start Probe id=1", "start Name",
                               "chars Probe 1",    "end Name",         "end Probe",
                               "start Probe id=2", "start Name",       "chars R&D Lab",
                               "end Name",         "end Probe",        "end Config"};

class SaxDownload : public ::testing::Test {
protected:
    void SetUp() override {
        // The simulator is on loopback; a proxy in the environment must not be asked for it.
        ::setenv("no_proxy", "*", 1);
        CoInitialize(nullptr);
        reader->putContentHandler(handler.get());
        reader->putErrorHandler(errors.get());
    }
    void TearDown() override {
        ambivox::set_http_limits_for_testing(ambivox::http_limits{});
        device.stop();
        CoUninitialize();
    }

    HRESULT get(std::string const& url) {
        return reader->parseURL(ambivox::widen(url, CP_UTF8).c_str());
    }

    HttpDeviceSimulator device;
    com_ptr<SaxXmlReader> reader = make<SaxXmlReader>();
    com_ptr<RecordingContentHandler> handler = make<RecordingContentHandler>();
    com_ptr<RecordingErrorHandler> errors = make<RecordingErrorHandler>();
};

// Tests that wait on the clock; ctest labels them "slow".
class SaxDownloadSlow : public SaxDownload {};

TEST_F(SaxDownload, ParsesTheDocumentAtAUrl) {
    device.serve("/xmlconfig", config_doc);
    EXPECT_EQ(get(device.url("/xmlconfig")), S_OK);
    EXPECT_EQ(handler->elements(), config_events);
    EXPECT_EQ(handler->events.front(), "startDocument");
    EXPECT_EQ(handler->events.back(), "endDocument");
    EXPECT_TRUE(errors->fatal.empty());

    auto const requests = device.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].path, "/xmlconfig");
    EXPECT_EQ(requests[0].version, "HTTP/1.1");
    EXPECT_EQ(requests[0].header("host"), "127.0.0.1:" + std::to_string(device.port()));

    // The locator names the document.
    ASSERT_TRUE(handler->locator);
    OLECHAR const* systemId = nullptr;
    EXPECT_EQ(handler->locator->getSystemId(&systemId), S_OK);
    EXPECT_EQ(ambivox::narrow(systemId, CP_UTF8), device.url("/xmlconfig"));

    // Redirects are followed, a loop of them is not.
    handler->events.clear();
    device.redirect("/old", "/xmlconfig");
    EXPECT_EQ(get(device.url("/old")), S_OK);
    EXPECT_EQ(handler->elements(), config_events);
    device.redirect("/loop", "/loop");
    std::size_t const before = device.request_count();
    EXPECT_EQ(get(device.url("/loop")), INET_E_DOWNLOAD_FAILURE);
    EXPECT_LE(device.request_count() - before, 6u);
}

TEST_F(SaxDownload, ReusesOnlyConnectionsTheDeviceKeepsOpen) {
    for (bool keepAlive : {false, true}) {
        HttpDeviceSimulator peer;
        peer.serve("/xmlconfig", config_doc);
        peer.set_keep_alive(keepAlive);
        for (int i = 0; i < 3; ++i) {
            handler->events.clear();
            EXPECT_EQ(get(peer.url("/xmlconfig")), S_OK);
            EXPECT_EQ(handler->elements(), config_events);
        }
        EXPECT_EQ(peer.request_count(), 3u);
        EXPECT_EQ(peer.connection_count(), keepAlive ? 1u : 3u) << keepAlive;

        // Another client makes the device drop the kept connection; the next document is read
        // all the same, on a new one.
        int const other = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(peer.port());
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::connect(other, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(other);
        handler->events.clear();
        EXPECT_EQ(get(peer.url("/xmlconfig")), S_OK);
        EXPECT_EQ(handler->elements(), config_events);
    }
}

TEST_F(SaxDownload, HttpErrorStatusIsNotFoundWithoutEvents) {
    device.serve("/missing", config_doc);
    device.set_fault("/missing", fault::not_found);
    device.serve("/broken", config_doc);
    device.set_fault("/broken", fault::server_error);
    device.serve("/empty404", "", 404);

    for (char const* path : {"/missing", "/broken", "/empty404", "/never-served"}) {
        handler->events.clear();
        errors->fatal.clear();
        EXPECT_EQ(get(device.url(path)), INET_E_OBJECT_NOT_FOUND) << path;
        EXPECT_TRUE(handler->events.empty()) << path;
        ASSERT_EQ(errors->fatal.size(), 1u) << path;
        EXPECT_EQ(errors->fatal[0].code, INET_E_OBJECT_NOT_FOUND);
        EXPECT_NE(errors->fatal[0].message.find(path), std::string::npos)
            << errors->fatal[0].message;
    }
}

TEST_F(SaxDownload, UnreachableServersFailWithTheirOwnCodes) {
    EXPECT_EQ(get("http://127.0.0.1:" + std::to_string(unused_port()) + "/xmlconfig"),
              INET_E_CANNOT_CONNECT);
    EXPECT_EQ(get("http://nonexistent.invalid/xmlconfig"), INET_E_RESOURCE_NOT_FOUND);
    EXPECT_TRUE(handler->events.empty());
    ASSERT_EQ(errors->fatal.size(), 2u);
    EXPECT_EQ(errors->fatal[0].code, INET_E_CANNOT_CONNECT);
    EXPECT_EQ(errors->fatal[1].code, INET_E_RESOURCE_NOT_FOUND);
}

TEST_F(SaxDownload, RefusesUrlsThatAreNotHttp) {
    EXPECT_EQ(reader->parseURL(nullptr), E_INVALIDARG);
    EXPECT_EQ(get("ftp://127.0.0.1/xmlconfig"), INET_E_UNKNOWN_PROTOCOL);
    EXPECT_EQ(get("file:///etc/hostname"), INET_E_UNKNOWN_PROTOCOL);
    EXPECT_EQ(get("xmlconfig"), INET_E_UNKNOWN_PROTOCOL);
    EXPECT_EQ(get("http://"), INET_E_INVALID_URL);
    EXPECT_TRUE(handler->events.empty());
    // A redirect cannot lead out of http either.
    device.redirect("/elsewhere", "file:///etc/hostname");
    EXPECT_EQ(get(device.url("/elsewhere")), INET_E_UNKNOWN_PROTOCOL);
}

TEST_F(SaxDownload, BodyCutOffIsADownloadFailure) {
    device.serve("/xmldata", config_doc);
    device.set_fault("/xmldata", fault::cut_off);
    EXPECT_EQ(get(device.url("/xmldata")), INET_E_DOWNLOAD_FAILURE);
    // The first half was parsed before the connection closed.
    strings const elements = handler->elements();
    ASSERT_GE(elements.size(), 2u);
    EXPECT_EQ(elements[0], "start Config");
    EXPECT_LT(elements.size(), config_events.size());
    ASSERT_EQ(errors->fatal.size(), 1u);
    EXPECT_EQ(errors->fatal[0].code, INET_E_DOWNLOAD_FAILURE);
}

TEST_F(SaxDownload, MalformedBodyFailsAsMalformed) {
    device.serve("/xmldata", "<Data><Value>1</Value><Value>2</Data>");
    device.set_fault("/xmldata", fault::malformed);
    EXPECT_EQ(get(device.url("/xmldata")), XML_E_MALFORMED);
    // The text node the faulty end tag would have closed is dropped with it.
    EXPECT_EQ(handler->elements(),
              (strings{"start Data", "start Value", "chars 1", "end Value", "start Value"}));
    ASSERT_EQ(errors->fatal.size(), 1u);
    EXPECT_EQ(errors->fatal[0].code, XML_E_MALFORMED);
}

TEST_F(SaxDownload, OversizedDocumentStopsAtTheLimit) {
    device.set_fault("/xmldata", fault::oversized);
    handler->keep = 10;
    auto const started = clock_type::now();
    EXPECT_EQ(get(device.url("/xmldata")), XML_E_DOCUMENT_TOO_LARGE);
    EXPECT_LT(clock_type::now() - started, 20s);
    // It was parsed as it arrived, up to the limit.
    ASSERT_GE(handler->events.size(), 3u);
    EXPECT_EQ(handler->events[1], "start data");
    EXPECT_GT(handler->event_count, 10'000u);
    ASSERT_EQ(errors->fatal.size(), 1u);
    EXPECT_EQ(errors->fatal[0].code, XML_E_DOCUMENT_TOO_LARGE);
}

TEST_F(SaxDownload, ReadsFromAnIndependentServer) {
    std::string const python = ambivox::testing::PythonHttpServer::find_python();
    if (python.empty()) GTEST_SKIP() << "python3 is not installed";

    ambivox::testing::PythonHttpServer server;
    server.put("bom.xml", "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>\xC3\xA9</r>");
    server.put("latin1.xml", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>\xE9</r>");
    std::uint16_t const port = unused_port();
    std::string const portText = std::to_string(port);
    ASSERT_TRUE(server.start(python, port)) << "python3 -m http.server did not start";

    std::string const base = "http://127.0.0.1:" + portText;
    EXPECT_EQ(get(base + "/bom.xml"), S_OK);
    EXPECT_EQ(get(base + "/latin1.xml"), S_OK);
    EXPECT_EQ(handler->elements(), (strings{"start r", "chars \xC3\xA9", "end r", "start r",
                                            "chars \xC3\xA9", "end r"}));
    EXPECT_EQ(get(base + "/absent.xml"), INET_E_OBJECT_NOT_FOUND);
}

TEST_F(SaxDownloadSlow, SlowButSteadyBodySucceeds) {
    ambivox::set_download_timeouts_for_testing(300ms, 300ms);
    device.serve("/xmldata", config_doc);
    device.set_fault("/xmldata", fault::slow);
    device.set_pacing("/xmldata", 8, 25ms);
    auto const started = clock_type::now();
    EXPECT_EQ(get(device.url("/xmldata")), S_OK);
    // Slower in total than the no-progress time-out, yet never idle that long.
    EXPECT_GT(clock_type::now() - started, 300ms);
    EXPECT_EQ(handler->elements(), config_events);
}

TEST_F(SaxDownloadSlow, StalledBodyTimesOut) {
    ambivox::set_download_timeouts_for_testing(300ms, 300ms);
    device.serve("/xmldata", config_doc);
    device.set_fault("/xmldata", fault::stall);
    auto const started = clock_type::now();
    EXPECT_EQ(get(device.url("/xmldata")), INET_E_CONNECTION_TIMEOUT);
    auto const took = clock_type::now() - started;
    EXPECT_GE(took, 250ms);
    EXPECT_LT(took, 3s);
    ASSERT_EQ(errors->fatal.size(), 1u);
    EXPECT_EQ(errors->fatal[0].code, INET_E_CONNECTION_TIMEOUT);
}

// Any byte is progress, a header's as much as the body's; but the whole document has a deadline
// of its own, so a server that trickles forever cannot hold a poll.
TEST_F(SaxDownloadSlow, TricklingServersAreTimedByTheByteAndByTheDocument) {
    struct {
        std::string body;
        std::chrono::milliseconds document_timeout;
        HRESULT expected;
        char const* fatal_message;  // the end of it
    } const cases[] = {
        {"<r/>", 5s, S_OK, ""},
        {"<r>" + std::string(400, 'x') + "</r>", 1s, INET_E_CONNECTION_TIMEOUT,
         "the document did not arrive within 1 s"},
    };
    for (auto const& c : cases) {
        ambivox::set_http_limits_for_testing({.connect_timeout = 300ms,
                                              .stall_timeout = 1s,
                                              .document_timeout = c.document_timeout});
        device.serve("/xmldata", c.body);
        device.set_fault("/xmldata", fault::trickle);
        device.set_pacing("/xmldata", 4, 100ms);
        errors = make<RecordingErrorHandler>();
        reader->putErrorHandler(errors.get());
        auto const started = clock_type::now();
        EXPECT_EQ(get(device.url("/xmldata")), c.expected) << c.body;
        EXPECT_LT(clock_type::now() - started, c.document_timeout + 1s);
        if (c.expected == S_OK) continue;
        ASSERT_EQ(errors->fatal.size(), 1u);
        EXPECT_TRUE(errors->fatal[0].message.ends_with(c.fatal_message))
            << errors->fatal[0].message;
    }
}

}  // namespace
