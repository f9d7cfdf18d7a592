#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/base/CodePage.h"
#include "platform/base/ThreadState.h"
#include "platform/internet/HttpLimits.h"
#include "platform/internet/WinInet.h"
#include "tests/support/UnusedPort.h"
#include "tools/simulators/HttpDeviceSimulator.h"

namespace {

using ambivox::simulation::HttpDeviceSimulator;
using fault = HttpDeviceSimulator::fault;
using steady = std::chrono::steady_clock;
using namespace std::chrono_literals;
using ambivox::testing::unused_port;

// Closes what a test opened, whatever the test did to it first.
struct handle {
    HINTERNET value = nullptr;
    ~handle() {
        if (value != nullptr) InternetCloseHandle(value);
    }
    HINTERNET release() { return std::exchange(value, nullptr); }
};

class InternetHandles : public ::testing::Test {
protected:
    void SetUp() override {
        // The simulator is on loopback; a proxy in the environment must not be asked for it.
        ::setenv("no_proxy", "*", 1);
        ASSERT_NE(session.value, nullptr);
    }
    void TearDown() override { ambivox::set_http_limits_for_testing(ambivox::http_limits{}); }

    // A request for `path` on the simulator (or `port`), not sent yet.
    HINTERNET open(char16_t const* path, std::uint16_t port = 0) {
        connections.push_back(std::make_unique<handle>());
        connections.back()->value =
            InternetConnectW(session.value, u"127.0.0.1", port != 0 ? port : device.port(), nullptr,
                             nullptr, INTERNET_SERVICE_HTTP, 0, 1);
        if (connections.back()->value == nullptr) return nullptr;
        requests.push_back(std::make_unique<handle>());
        requests.back()->value = HttpOpenRequestW(connections.back()->value, u"GET", path,
                                                  u"HTTP/1.0", nullptr, nullptr, 0, 1);
        return requests.back()->value;
    }

    HttpDeviceSimulator device;
    handle session{InternetOpenW(u"AmbivoxSDK", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0)};
    // Requests close before their connections.
    std::vector<std::unique_ptr<handle>> connections;
    std::vector<std::unique_ptr<handle>> requests;
};

TEST_F(InternetHandles, ClosingTwiceOrClosingGarbageFailsWithInvalidHandle) {
    HINTERNET const s = session.release();
    EXPECT_TRUE(InternetCloseHandle(s));
    SetLastError(0);
    EXPECT_FALSE(InternetCloseHandle(s));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    int local = 0;
    for (HINTERNET garbage :
         {static_cast<HINTERNET>(nullptr), reinterpret_cast<HINTERNET>(1),
          reinterpret_cast<HINTERNET>(~std::uintptr_t{0}), static_cast<HINTERNET>(&local)}) {
        SetLastError(0);
        EXPECT_FALSE(InternetCloseHandle(garbage));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    }
    EXPECT_EQ(local, 0);
}

// The calls that take a handle.
enum class call { connect, open_request, send, read, query };
constexpr int call_count = 5;

// Tries `c` on `h`, which must refuse it; answers the last error the call set.
DWORD refusal(call c, HINTERNET h) {
    SetLastError(0);
    bool refused = false;
    switch (c) {
        case call::connect:
            refused = InternetConnectW(h, u"127.0.0.1", 80, nullptr, nullptr, INTERNET_SERVICE_HTTP,
                                       0, 1) == nullptr;
            break;
        case call::open_request:
            refused =
                HttpOpenRequestW(h, u"GET", u"/", u"HTTP/1.0", nullptr, nullptr, 0, 1) == nullptr;
            break;
        case call::send:
            refused = !HttpSendRequestW(h, nullptr, 0, nullptr, 0);
            break;
        case call::read: {
            char buffer[16];
            DWORD count = 77;
            refused = !InternetReadFile(h, buffer, sizeof buffer, &count);
            EXPECT_EQ(count, 0u);
            break;
        }
        case call::query: {
            DWORD status = 0;
            DWORD size = sizeof status;
            refused = !HttpQueryInfoW(h, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                                      &size, nullptr);
            break;
        }
    }
    DWORD const error = GetLastError();
    EXPECT_TRUE(refused);
    return error;
}

TEST_F(InternetHandles, EveryCallRefusesAHandleItCannotUse) {
    ASSERT_NE(open(u"/data"), nullptr);
    HINTERNET const connection = connections.back()->value;
    HINTERNET const request = requests.back()->value;

    HINTERNET const closedSession =
        InternetOpenW(u"AmbivoxSDK", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    HINTERNET const closedConnection = InternetConnectW(
        closedSession, u"127.0.0.1", device.port(), nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 1);
    HINTERNET const closedRequest =
        HttpOpenRequestW(closedConnection, u"GET", u"/data", u"HTTP/1.0", nullptr, nullptr, 0, 1);
    ASSERT_NE(closedRequest, nullptr);
    ASSERT_TRUE(InternetCloseHandle(closedRequest));
    ASSERT_TRUE(InternetCloseHandle(closedConnection));
    ASSERT_TRUE(InternetCloseHandle(closedSession));

    DWORD const invalid = ERROR_INVALID_HANDLE;
    DWORD const wrong = ERROR_INTERNET_INCORRECT_HANDLE_TYPE;
    DWORD const accepted = 0;  // the call takes that handle: not tried here
    int local = 0;
    struct row {
        char const* name;
        HINTERNET handle;
        DWORD error[call_count];  // by call
    };
    row const rows[] = {
        {"closed session", closedSession, {invalid, invalid, invalid, invalid, invalid}},
        {"closed connection", closedConnection, {invalid, invalid, invalid, invalid, invalid}},
        {"closed request", closedRequest, {invalid, invalid, invalid, invalid, invalid}},
        {"null", nullptr, {invalid, invalid, invalid, invalid, invalid}},
        {"small number",
         reinterpret_cast<HINTERNET>(0x10),
         {invalid, invalid, invalid, invalid, invalid}},
        {"address of a local",
         static_cast<HINTERNET>(&local),
         {invalid, invalid, invalid, invalid, invalid}},
        // Only a session connects, only a connection opens requests, only a request sends, reads
        // and answers queries; a request not sent yet has neither a body nor a status.
        {"session", session.value, {accepted, wrong, wrong, wrong, wrong}},
        {"connection", connection, {wrong, accepted, wrong, wrong, wrong}},
        {"unsent request", request, {wrong, wrong, accepted, wrong, ERROR_HTTP_HEADER_NOT_FOUND}},
    };
    for (row const& r : rows) {
        for (int c = 0; c < call_count; ++c) {
            if (r.error[c] == accepted) continue;
            SCOPED_TRACE(::testing::Message() << r.name << ", call " << c);
            EXPECT_EQ(refusal(static_cast<call>(c), r.handle), r.error[c]);
        }
    }
    EXPECT_EQ(local, 0);
    EXPECT_EQ(device.request_count(), 0u);

    // The refusals left every handle working.
    device.serve("/data", "<d/>");
    EXPECT_TRUE(HttpSendRequestW(request, nullptr, 0, nullptr, 0));
    EXPECT_EQ(device.request_count(), 1u);
}

TEST_F(InternetHandles, NothingIsReadAfterASendThatReachedNobody) {
    HINTERNET const refused = open(u"/data", unused_port());
    ASSERT_NE(refused, nullptr);
    SetLastError(0);
    EXPECT_FALSE(HttpSendRequestW(refused, nullptr, 0, nullptr, 0));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_CANNOT_CONNECT);
    char buffer[16];
    DWORD read = 77;
    SetLastError(0);
    EXPECT_FALSE(InternetReadFile(refused, buffer, sizeof buffer, &read));
    EXPECT_EQ(read, 0u);
    EXPECT_NE(GetLastError(), 0u);
}

TEST_F(InternetHandles, StatusIsAnsweredAsNumberOrTextWithinTheCallersBuffer) {
    device.serve("/missing", "gone", 404, "text/plain");
    HINTERNET const request = open(u"/missing");
    ASSERT_NE(request, nullptr);
    ASSERT_TRUE(HttpSendRequestW(request, nullptr, 0, nullptr, 0));

    DWORD const asNumber = HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER;
    DWORD status = 0;
    DWORD size = 2;
    SetLastError(0);
    EXPECT_FALSE(HttpQueryInfoW(request, asNumber, &status, &size, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(size, sizeof(DWORD));
    EXPECT_EQ(status, 0u);
    size = sizeof status;
    ASSERT_TRUE(HttpQueryInfoW(request, asNumber, &status, &size, nullptr));
    EXPECT_EQ(status, 404u);
    EXPECT_EQ(size, sizeof(DWORD));

    // As text: the size asked for counts the terminator, the size answered does not.
    size = 0;
    SetLastError(0);
    EXPECT_FALSE(HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE, nullptr, &size, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(size, 4 * sizeof(char16_t));
    char16_t text[8] = {u'x', u'x', u'x', u'x', u'x', u'x', u'x', u'x'};
    size = 3 * sizeof(char16_t) + 1;
    SetLastError(0);
    EXPECT_FALSE(HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE, text, &size, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(size, 4 * sizeof(char16_t));
    EXPECT_EQ(text[0], u'x');
    size = 4 * sizeof(char16_t);
    ASSERT_TRUE(HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE, text, &size, nullptr));
    EXPECT_EQ(std::u16string(text), u"404");
    EXPECT_EQ(size, 3 * sizeof(char16_t));
    EXPECT_EQ(text[4], u'x');

    // Other headers are not offered; a missing length is refused, not dereferenced.
    size = sizeof status;
    SetLastError(0);
    EXPECT_FALSE(HttpQueryInfoW(request, 1 /* content type */, &status, &size, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_HTTP_INVALID_QUERY_REQUEST);
    SetLastError(0);
    EXPECT_FALSE(HttpQueryInfoW(request, asNumber, &status, nullptr, nullptr));
    EXPECT_NE(GetLastError(), 0u);
}

TEST_F(InternetHandles, BodyIsHandedOutInPiecesThenEndsWithZeroBytes) {
    std::string body(2500, 'b');
    for (std::size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>('a' + i % 26);
    device.serve("/data", body);
    HINTERNET const request = open(u"/data");
    ASSERT_NE(request, nullptr);
    ASSERT_TRUE(HttpSendRequestW(request, nullptr, 0, nullptr, 0));

    std::string received;
    std::vector<DWORD> sizes;
    for (int guard = 0; guard < 10; ++guard) {
        char buffer[1000];
        DWORD read = 77;
        ASSERT_TRUE(InternetReadFile(request, buffer, sizeof buffer, &read));
        sizes.push_back(read);
        if (read == 0) break;
        received.append(buffer, read);
    }
    EXPECT_EQ(received, body);
    EXPECT_EQ(sizes, (std::vector<DWORD>{1000, 1000, 500, 0}));
    // The end stays the end.
    char buffer[8];
    DWORD read = 77;
    EXPECT_TRUE(InternetReadFile(request, buffer, sizeof buffer, &read));
    EXPECT_EQ(read, 0u);

    SetLastError(0);
    EXPECT_FALSE(InternetReadFile(request, buffer, sizeof buffer, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(InternetHandles, ABodyCutShortIsHandedOutUpToTheCutThenReadingFails) {
    struct row {
        fault mode;
        std::size_t cap;
        std::size_t least, most;  // bytes handed out before reading fails
        std::string_view begins;  // how the body starts
    };
    std::string const body(1000, 'c');
    row const rows[] = {
        {fault::cut_off, ambivox::http_limits{}.max_document_bytes, 500, 500, body},
        // Streamed without a length, so only counting finds it over the cap.
        {fault::oversized, 4096, 0, 4096, "<?xml version=\"1.0\"?>\n<data>\n<v>"},
    };
    for (row const& r : rows) {
        SCOPED_TRACE(static_cast<int>(r.mode));
        ambivox::set_http_limits_for_testing({.max_document_bytes = r.cap});
        device.serve("/data", body);
        device.set_fault("/data", r.mode);
        HINTERNET const request = open(u"/data");
        ASSERT_NE(request, nullptr);
        ASSERT_TRUE(HttpSendRequestW(request, nullptr, 0, nullptr, 0));

        std::string received;
        char buffer[4096];
        DWORD read = 0;
        SetLastError(0);
        while (InternetReadFile(request, buffer, sizeof buffer, &read) && read > 0)
            received.append(buffer, read);
        EXPECT_EQ(read, 0u);
        EXPECT_EQ(GetLastError(), ERROR_INTERNET_CONNECTION_ABORTED);
        EXPECT_GE(received.size(), r.least);
        EXPECT_LE(received.size(), r.most);
        std::size_t const common = std::min(received.size(), r.begins.size());
        EXPECT_EQ(received.substr(0, common), r.begins.substr(0, common));
    }
}

TEST_F(InternetHandles, SendNamesWhyNoResponseCame) {
    // A name with a port or an empty label is no host name: nothing is sent anywhere. A fully
    // qualified name's one trailing dot is no empty label, and reaches the device.
    struct row {
        char16_t const* server;
        bool reached;
    };
    row const rows[] = {
        {u"127.0.0.1:80", false},
        {u"localhost:8080", false},
        {u"[::1]:80", false},
        {u"a b", false},
        {u".", false},
        {u"..", false},
        {u"a..b", false},
        {u".localhost", false},
        {u"localhost..", false},
        {u"localhost.", true},
    };
    device.serve("/data", "payload");
    std::size_t reached = 0;
    for (row const& r : rows) {
        handle connection{InternetConnectW(session.value, r.server, r.reached ? device.port() : 80,
                                           nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 1)};
        ASSERT_NE(connection.value, nullptr);
        handle request{HttpOpenRequestW(connection.value, u"GET", u"/data", u"HTTP/1.0", nullptr,
                                        nullptr, 0, 1)};
        ASSERT_NE(request.value, nullptr);
        SetLastError(0);
        EXPECT_EQ(HttpSendRequestW(request.value, nullptr, 0, nullptr, 0), r.reached)
            << ambivox::narrow(r.server, CP_UTF8);
        if (!r.reached) {
            EXPECT_EQ(GetLastError(), ERROR_INTERNET_NAME_NOT_RESOLVED);
        }
        reached += r.reached;
    }
    // A request line carries no white space, controls or fragment.
    ASSERT_NE(open(u"/data"), nullptr);
    for (char16_t const* path : {u"/a b", u"/a\tb", u"/a\r\nHost: x", u"/data#part"}) {
        SetLastError(0);
        EXPECT_EQ(HttpOpenRequestW(connections.back()->value, u"GET", path, u"HTTP/1.0", nullptr,
                                   nullptr, 0, 1),
                  nullptr);
        EXPECT_EQ(GetLastError(), ERROR_INTERNET_INVALID_URL);
    }
    EXPECT_EQ(device.request_count(), reached);
}

TEST_F(InternetHandles, HandlesFromManyThreadsStayApart) {
    device.serve("/data", "payload");
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i) {
                handle s{InternetOpenW(u"AmbivoxSDK", 0, nullptr, nullptr, 0)};
                handle c{InternetConnectW(s.value, u"127.0.0.1", device.port(), nullptr, nullptr,
                                          INTERNET_SERVICE_HTTP, 0, 1)};
                handle r{HttpOpenRequestW(c.value, u"GET", u"/data", u"HTTP/1.0", nullptr, nullptr,
                                          0, 1)};
                if (r.value == nullptr) ++failures[t];
                // Every handle is distinct from the others alive.
                if (s.value == c.value || c.value == r.value || s.value == r.value) ++failures[t];
                HINTERNET const closed = r.release();
                if (!InternetCloseHandle(closed) || InternetCloseHandle(closed)) ++failures[t];
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(failures, (std::vector<int>{0, 0, 0, 0}));
}

// Tests that wait on the clock; ctest labels them "slow".
class InternetHandlesSlow : public InternetHandles {};

TEST_F(InternetHandlesSlow, SilenceEndsTheTransferAsATimeOut) {
    ambivox::set_http_limits_for_testing({.connect_timeout = 300ms, .stall_timeout = 300ms});
    // A listener that never accepts: the connection is made, no answer ever comes.
    int const mute = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    ASSERT_EQ(::bind(mute, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(mute, 4), 0);
    ::getsockname(mute, reinterpret_cast<sockaddr*>(&addr), &length);
    HINTERNET const silent = open(u"/data", ntohs(addr.sin_port));
    ASSERT_NE(silent, nullptr);
    auto started = steady::now();
    SetLastError(0);
    EXPECT_FALSE(HttpSendRequestW(silent, nullptr, 0, nullptr, 0));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
    EXPECT_LT(steady::now() - started, 3s);
    ::close(mute);

    // Silence after the first bytes: those are handed out, then the time-out.
    device.serve("/data", std::string(100, 's'));
    device.set_fault("/data", fault::stall);
    HINTERNET const stalled = open(u"/data");
    ASSERT_NE(stalled, nullptr);
    started = steady::now();
    ASSERT_TRUE(HttpSendRequestW(stalled, nullptr, 0, nullptr, 0));
    EXPECT_GE(steady::now() - started, 250ms);
    EXPECT_LT(steady::now() - started, 3s);
    char buffer[256];
    DWORD read = 0;
    ASSERT_TRUE(InternetReadFile(stalled, buffer, sizeof buffer, &read));
    EXPECT_EQ(std::string(buffer, read), std::string(8, 's'));
    SetLastError(0);
    EXPECT_FALSE(InternetReadFile(stalled, buffer, sizeof buffer, &read));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
}

}  // namespace
