// pzl-host serve over real sockets on 127.0.0.1: the plugins run in this process with
// the stand-in host, the server on a free port, requests through the library's client
// or raw sockets for what no well-behaved client sends.
#include <gtest/gtest.h>

#include <httplib.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <mutex>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "formats/JsonReader.h"
#include "tools/pzl-host/PluginLibrary.h"
#include "tools/pzl-host/PluginSession.h"
#include "tools/pzl-host/Scenario.h"
#include "tools/pzl-host/Serve.h"

namespace Kesh::StandIn {
namespace {

constexpr const char* kToken = "test-token-1234";

// One plugin served on a free port for the life of the object.
class Served {
public:
    explicit Served(const std::string& plugin, ServeSettings settings = {}, const std::string& scenario = "") {
        settings.token = kToken;
        if (!scenario.empty()) {
            Scenario read;
            std::string error;
            EXPECT_TRUE(ReadScenario(scenario, read, error)) << error;
            for (const auto& [path, value] : read.resources) host_.SetResource(path, value);
        }
        host_.SetLiveStore(true);
        EXPECT_TRUE(library_.Open(plugin)) << library_.Error();
        library_.KeepLoaded();
        session_ = std::make_unique<PluginSession>(library_, host_);
        std::string error;
        EXPECT_TRUE(session_->Load(error)) << error;
        EXPECT_TRUE(session_->Init());
        server_ = std::make_unique<PluginServer>(host_, session_->Record(), settings);
        EXPECT_TRUE(server_->Bind(error)) << error;
        thread_ = std::thread([this] { server_->Run(); });
    }
    ~Served() {
        server_->Stop();
        thread_.join();
        server_.reset();
        session_->Unload();
    }

    int Port() const { return server_->Port(); }
    std::string HostHeader() const { return "127.0.0.1:" + std::to_string(Port()); }
    httplib::Client Client(bool withToken = true) const {
        httplib::Client client("127.0.0.1", Port());
        client.set_read_timeout(10, 0);
        if (withToken) client.set_bearer_token_auth(kToken);
        return client;
    }

private:
    PluginLibrary library_;
    FakeHost host_;
    std::unique_ptr<PluginSession> session_;
    std::unique_ptr<PluginServer> server_;
    std::thread thread_;
};

// Sends raw bytes on a fresh connection and returns what comes back until the server
// closes or goes quiet for quietMilliseconds.
std::string RawExchange(int port, const std::string& bytes, int quietMilliseconds = 400) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return "<connect failed>";
    }
    ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    std::string answer;
    char buffer[4096];
    for (;;) {
        pollfd watched{fd, POLLIN, 0};
        if (::poll(&watched, 1, quietMilliseconds) <= 0) break;
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        answer.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return answer;
}

TEST(Serve, EverySampleFunctionThroughHttp) {
    Served served(PZL_SAMPLE_PLUGIN);
    httplib::Client client = served.Client();
    struct Case {
        const char* method;
        const char* path;
        httplib::Headers headers;
        std::string body;
        int status;
        std::string reply;  // exact, or a part when it starts with "~"
    };
    const Case cases[] = {
        {"GET", "/sample/v1/items/5?verbose=true", {}, "", 200, R"({"id":5,"name":"item-5","verbose":true})"},
        {"PUT", "/sample/v1/files/a/b%20c.txt", {}, R"({"x":[1,2]})", 200, R"({"content":{"x":[1,2]},"path":"a/b c.txt"})"},
        {"POST", "/Echo?value=%5B1%2C2%5D", {}, "", 200, "[1,2]"},
        {"POST", "/sample/v1/sum?values=%5B1%2C2%2C3%5D&scale=2", {}, "", 200, "12.0"},
        {"GET", "/sample/v1/whoami", {{"Token", "abc"}, {"User-Agent", "served-test"}}, "", 200,
         R"({"clientId":77,"method":"GET","token":"abc","url":"/sample/v1/whoami","userAgent":"served-test"})"},
        {"GET", "/sample/v1/colors/green", {}, "", 200, R"("Green")"},
        // The function's own error keeps its status; a binding failure (status 0) is 400.
        {"GET", "/sample/v1/teapot", {}, "", 418, R"({"message":"The sample is a teapot.","status":418})"},
        {"GET", "/sample/v1/items/abc", {}, "", 400, R"(~"status":400})"},
        {"GET", "/sample/v1/bytes?size=99999999", {}, "", 400, R"({"message":"Too many bytes requested.","status":400})"},
        {"GET", "/nowhere", {}, "", 404, R"({"message":"No function matches GET /nowhere","status":404})"},
        {"DELETE", "/sample/v1/items/5", {}, "", 405, R"(~"status":405})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.path);
        httplib::Result result = client.send([&] {
            httplib::Request request;
            request.method = c.method;
            request.path = c.path;
            request.headers = c.headers;
            request.body = c.body;
            if (!c.body.empty() || c.method == std::string("POST") || c.method == std::string("PUT")) {
                request.set_header("Content-Type", "application/json");
            }
            return request;
        }());
        ASSERT_TRUE(result) << httplib::to_string(result.error());
        EXPECT_EQ(result->status, c.status);
        if (c.reply.rfind("~", 0) == 0) {
            EXPECT_NE(result->body.find(c.reply.substr(1)), std::string::npos) << result->body;
        } else {
            EXPECT_EQ(result->body, c.reply);
        }
        EXPECT_EQ(result->get_header_value("Content-Type"), "application/json");
        EXPECT_FALSE(result->has_header("Access-Control-Allow-Origin"));
    }
}

TEST(Serve, BytesStreamsExactlyThePatternChunked) {
    Served served(PZL_SAMPLE_PLUGIN);
    httplib::Client client = served.Client();
    for (const std::uint32_t size : {0u, 1u, 16384u, (1u << 20) + 7u}) {
        SCOPED_TRACE(size);
        httplib::Result result = client.Get(("/sample/v1/bytes?size=" + std::to_string(size)).c_str());
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, 200);
        EXPECT_EQ(result->get_header_value("Transfer-Encoding"), "chunked");
        EXPECT_EQ(result->get_header_value("Content-Type"), "application/octet-stream");
        ASSERT_EQ(result->body.size(), size);
        std::size_t wrong = 0;
        for (std::uint32_t i = 0; i < size; ++i) wrong += static_cast<unsigned char>(result->body[i]) != i % 251;
        EXPECT_EQ(wrong, 0u);
    }
}

TEST(Serve, TokenHostAndLimits) {
    ServeSettings settings;
    settings.stallSeconds = 1;
    Served served(PZL_SAMPLE_PLUGIN, settings);
    const std::string item = "/sample/v1/items/1";
    struct Case {
        const char* what;
        httplib::Headers headers;
        int status;
    };
    const std::string host = served.HostHeader();
    const std::string localhost = "LocalHost:" + std::to_string(served.Port());
    const Case cases[] = {
        {"no token", {}, 401},
        {"wrong bearer", {{"Authorization", "Bearer test-token-123"}}, 401},
        {"longer bearer", {{"Authorization", std::string("Bearer ") + kToken + "5"}}, 401},
        {"bearer", {{"Authorization", std::string("Bearer ") + kToken}}, 200},
        {"basic password", {httplib::make_basic_authentication_header("anyone", kToken)}, 200},
        {"token as basic user", {httplib::make_basic_authentication_header(kToken, "x")}, 401},
        {"cookie", {{"Cookie", std::string("a=b; ") + kTokenCookie + "=" + kToken}}, 200},
        {"wrong cookie", {{"Cookie", std::string(kTokenCookie) + "=nope"}}, 401},
        {"localhost", {{"Authorization", std::string("Bearer ") + kToken}, {"Host", localhost}}, 200},
        {"foreign host", {{"Authorization", std::string("Bearer ") + kToken}, {"Host", "attacker.example:" + std::to_string(served.Port())}}, 421},
        {"other port", {{"Authorization", std::string("Bearer ") + kToken}, {"Host", "127.0.0.1:1"}}, 421},
        {"bare host", {{"Authorization", std::string("Bearer ") + kToken}, {"Host", "127.0.0.1"}}, 421},
    };
    httplib::Client client = served.Client(false);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        httplib::Result result = client.Get(item.c_str(), c.headers);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, c.status);
        if (c.status == 401) {
            EXPECT_EQ(result->body, "");
            EXPECT_EQ(result->get_header_value("WWW-Authenticate"), R"(Basic realm="pzl-host", charset="UTF-8")");
        }
    }

    // The start URL hands the page its cookie, out of reach of scripts and other sites.
    httplib::Result start = client.Get((std::string("/start?token=") + kToken).c_str());
    ASSERT_TRUE(start);
    EXPECT_EQ(start->status, 303);
    EXPECT_EQ(start->get_header_value("Location"), "/");
    EXPECT_EQ(start->get_header_value("Set-Cookie"),
              std::string(kTokenCookie) + "=" + kToken + "; Path=/; HttpOnly; SameSite=Strict");
    EXPECT_EQ(client.Get("/start?token=wrong")->status, 401);

    // No cross-origin reading, not even a preflight's answer.
    httplib::Client authorised = served.Client();
    httplib::Result preflight = authorised.Options("/sample/v1/items/1", {{"Origin", "http://attacker.example"},
                                                                          {"Access-Control-Request-Method", "GET"}});
    ASSERT_TRUE(preflight);
    for (const auto& [name, value] : preflight->headers) EXPECT_EQ(name.rfind("Access-Control", 0), std::string::npos) << name;

    // Over the limits, each answered and the next request still served.
    std::string big((std::size_t{16} << 20) + 1, 'x');
    httplib::Result tooBig = authorised.Put("/sample/v1/files/big", big, "application/json");
    ASSERT_TRUE(tooBig);
    EXPECT_EQ(tooBig->status, 413);
    httplib::Headers many;
    for (int i = 0; i < 100; ++i) many.emplace("X-Filler-" + std::to_string(i), "1");
    EXPECT_EQ(authorised.Get(item.c_str(), many)->status, 431);
    EXPECT_EQ(authorised.Get(item.c_str(), {{"X-Big", std::string(20000, 'a')}})->status, 400);
    EXPECT_EQ(authorised.Get(("/sample/v1/items/" + std::string(3000, '1')).c_str())->status, 414);
    EXPECT_EQ(authorised.Get(item.c_str())->status, 200);
}

TEST(Serve, MalformedBurstThenAValidRequest) {
    ServeSettings settings;
    settings.stallSeconds = 1;
    Served served(PZL_SAMPLE_PLUGIN, settings);
    const std::string host = "Host: " + served.HostHeader() + "\r\n";
    const std::string inputs[] = {
        "GARBAGE\r\n\r\n",
        "GET\r\n\r\n",
        "GET /sample/v1/items/1 HTTP/9.9\r\n" + host + "\r\n",
        "GET /sample/v1/items/1 HTTP/1.1\r\n" + host + "Content-Length: -5\r\n\r\n",
        "POST /sample/v1/sum HTTP/1.1\r\n" + host + "Transfer-Encoding: chunked\r\n\r\nzz\r\n",
        std::string("\x00\xff\x80\r\n\r\n", 7),
        "GET /sample/v1/items/1 HTTP/1.1\r\nNo colon here\r\n\r\n",
    };
    for (const std::string& input : inputs) {
        const std::string answer = RawExchange(served.Port(), input);
        // An answer, if any, is never a success.
        EXPECT_EQ(answer.find("200 OK"), std::string::npos) << answer;
        if (!answer.empty()) {
            EXPECT_EQ(answer.rfind("HTTP/1.1 4", 0), 0u) << answer;
        }
    }
    // A client that stalls in the middle of its headers is dropped after the timeout.
    const auto start = std::chrono::steady_clock::now();
    const std::string stalled = RawExchange(served.Port(), "GET /sample/v1/items/1 HTTP/1.1\r\nHo", 5000);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    EXPECT_EQ(stalled.find("200 OK"), std::string::npos);

    const std::string valid = RawExchange(served.Port(), "GET /sample/v1/items/3 HTTP/1.1\r\n" + host +
                                                             "Authorization: Bearer " + kToken + "\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(valid.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << valid;
    EXPECT_NE(valid.find(R"({"id":3,"name":"item-3","verbose":false})"), std::string::npos);
}

// Reads the timeline stream until a line holds every text of want, or 10 s pass.
std::string ReadTimelineUntil(httplib::Client& client, const std::vector<std::string>& want) {
    std::string seen;
    std::atomic<bool> found{false};
    std::thread watchdog;
    client.set_read_timeout(10, 0);
    client.Get("/_pzl/events", [&](const char* data, std::size_t length) {
        seen.append(data, length);
        for (std::size_t start = 0; start < seen.size();) {
            std::size_t end = seen.find('\n', start);
            if (end == std::string::npos) break;
            const std::string_view line(seen.data() + start, end - start);
            bool all = true;
            for (const std::string& text : want) all = all && line.find(text) != std::string_view::npos;
            if (all) found = true;
            start = end + 1;
        }
        return !found;
    });
    return found ? seen : "<not found>\n" + seen;
}

TEST(Serve, StoreChangeRaisesThePluginsReactionOnTheTimeline) {
    Served served(PZL_UX_PLUGIN, {}, std::string(PZL_SCENARIOS) + "/whole-game.yaml");
    httplib::Client client = served.Client();
    // Login first, as in a session: the plugin's reaction to the game is the point.
    httplib::Result login = client.Put("/_pzl/resources/qor-login/v1/session", R"({"state":"SUCCEEDED","summonerId":1})",
                                       "application/json");
    ASSERT_TRUE(login);
    EXPECT_EQ(login->status, 200);
    EXPECT_EQ(login->body, R"({"path":"/qor-login/v1/session","eventType":"Create"})");
    httplib::Result phase =
        client.Put("/_pzl/resources/qor-gameflow/v1/session", R"({"phase":"InProgress"})", "application/json");
    ASSERT_TRUE(phase);
    EXPECT_EQ(phase->status, 200);

    httplib::Client watcher = served.Client();
    // The last of the reaction: the "postgame" affinity (the one set at init says "login").
    const std::string stream =
        ReadTimelineUntil(watcher, {R"("kind":"request")", "POST /keshclient/affinity", R"("body":"postgame")"});
    ASSERT_EQ(stream.find("<not found>"), std::string::npos) << stream;
    // In order: the store change, its event, the plugin's requests.
    const std::size_t store = stream.find(R"("text":"PUT /qor-gameflow/v1/session")");
    const std::size_t event = stream.find("Update /qor-gameflow/v1/session");
    const std::size_t kill = stream.find("POST /keshclient/kill-ux", event);
    const std::size_t affinity = stream.find("POST /keshclient/affinity", event);
    EXPECT_LT(store, event);
    EXPECT_LT(event, kill);
    EXPECT_LT(kill, affinity);
    EXPECT_EQ(stream.rfind("id: 1\ndata: {\"seq\":1,", 0), 0u) << stream.substr(0, 200);

    // The store answers what the plugin wrote.
    httplib::Result stored = client.Get("/_pzl/resources/keshclient/affinity");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->body, R"("postgame")");
    EXPECT_EQ(client.Get("/_pzl/resources/none/here")->status, 404);
    EXPECT_EQ(client.Put("/_pzl/resources/x", "{bad", "application/json")->status, 400);
    EXPECT_EQ(client.Delete("/_pzl/resources/keshclient/affinity")->status, 200);
    EXPECT_EQ(client.Get("/_pzl/resources/keshclient/affinity")->status, 404);
}

TEST(Serve, OpenApiDocumentAndPageAreServed) {
    Served served(PZL_SAMPLE_PLUGIN);
    httplib::Client client = served.Client();
    httplib::Result document = client.Get("/openapi.json");
    ASSERT_TRUE(document);
    ConversionResult parsed = ParseJson(document->body);
    ASSERT_TRUE(parsed.Ok()) << parsed.ErrorMessage();
    const BindingProperty& doc = parsed.Value();
    const BindingProperty& paths = doc.GetMember("paths");
    auto parameter = [&](const char* path, const char* method, std::size_t index) -> const BindingProperty& {
        return paths.GetMember(path).GetMember(method).GetMember("parameters").GetElement(index);
    };
    // {+path} is a path parameter that may hold slashes.
    const BindingProperty& rest = parameter("/sample/v1/files/{path}", "put", 0);
    EXPECT_EQ(rest.GetMember("in").GetStringView(), "path");
    EXPECT_TRUE(rest.GetMember("x-pzl-rest").ToBool());
    EXPECT_TRUE(paths.GetMember("/sample/v1/files/{path}").GetMember("put").HasMember("requestBody"));
    // Optional and bool parameters are not required; a vector comes as JSON text.
    EXPECT_TRUE(parameter("/sample/v1/items/{id}", "get", 0).GetMember("required").ToBool());
    EXPECT_FALSE(parameter("/sample/v1/items/{id}", "get", 1).GetMember("required").ToBool());
    EXPECT_TRUE(parameter("/sample/v1/sum", "post", 0).GetMember("required").ToBool());
    EXPECT_EQ(parameter("/sample/v1/sum", "post", 0).GetMember("content").GetMember("application/json")
                  .GetMember("schema").GetMember("type").GetStringView(), "array");
    EXPECT_FALSE(parameter("/sample/v1/sum", "post", 1).GetMember("required").ToBool());
    EXPECT_EQ(parameter("/sample/v1/whoami", "get", 0).GetMember("in").GetStringView(), "header");
    // Any method: every method listed, GET keeps the function's name.
    EXPECT_EQ(paths.GetMember("/Echo").GetMember("get").GetMember("operationId").GetStringView(), "Echo");
    EXPECT_EQ(paths.GetMember("/Echo").GetMember("delete").GetMember("operationId").GetStringView(), "Echo_delete");
    // Streams as binary, errors as the shared error schema, enums with their names.
    EXPECT_TRUE(paths.GetMember("/sample/v1/bytes").GetMember("get").GetMember("responses").GetMember("200")
                    .GetMember("content").HasMember("application/octet-stream"));
    EXPECT_EQ(paths.GetMember("/sample/v1/teapot").GetMember("get").GetMember("responses").GetMember("4XX")
                  .GetMember("content").GetMember("application/json").GetMember("schema").GetMember("$ref").GetStringView(),
              "#/components/schemas/PzlError");
    const BindingProperty& schemas = doc.GetMember("components").GetMember("schemas");
    const BindingProperty& color = schemas.GetMember("SampleApiSampleColor").GetMember("x-pzl-enumerators");
    ASSERT_EQ(color.Size(), 3u);
    EXPECT_EQ(color.GetElement(1).GetMember("name").GetStringView(), "Green");
    EXPECT_EQ(color.GetElement(1).GetMember("number").ToDouble(), 2.0);
    EXPECT_EQ(schemas.GetMember("SampleApiSampleItem").GetMember("required").Size(), 3u);
    httplib::Result page = client.Get("/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
    EXPECT_NE(page->body.find("new EventSource(\"/_pzl/events\")"), std::string::npos);
    // Self-contained: nothing loaded from elsewhere.
    EXPECT_EQ(page->body.find("http://"), std::string::npos);
    EXPECT_EQ(page->body.find("https://"), std::string::npos);
}

TEST(Serve, CrashInsideThePluginEndsTheServerNamingWhereItWas) {
    struct Case {
        const char* plugin;
        const char* method;
        const char* path;
        const char* body;
        const char* said;
    };
    const Case cases[] = {
        // A state without "count": the plugin's event handler dereferences null.
        {"crash", "PUT", "/_pzl/resources/broken/v1/state", R"({"other":1})",
         "pzl-host: the plugin crashed (signal 11) in the event of /broken/v1/state; the server stops"},
        // A valid call: the function itself dereferences null.
        {"crash-call", "POST", "/broken/v1/explode?count=1", "",
         "pzl-host: the plugin crashed (signal 11) in function Explode; the server stops"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.plugin);
        // The whole command in a child (exec: the shell becomes pzl-host, whose end pclose
        // reports): it must die, and say where.
        const std::string command = std::string("exec ") + PZL_HOST_TOOL + " serve " + PZL_BROKEN_PLUGINS +
                                    "/pzl-be-broken-" + c.plugin + ".so --token " + kToken + " 2>&1";
        std::FILE* pipe = ::popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string output;
        char line[1024];
        int port = 0;
        while (port == 0 && std::fgets(line, sizeof line, pipe) != nullptr) {
            output += line;
            if (const char* at = std::strstr(line, "http://127.0.0.1:")) port = std::atoi(at + 17);
        }
        ASSERT_GT(port, 0) << output;
        httplib::Client client("127.0.0.1", port);
        client.set_bearer_token_auth(kToken);
        // An event's store change may be answered before the delivery crashes the
        // process; a call that crashes must never look answered.
        httplib::Result reply = std::string(c.method) == "PUT"
                                    ? client.Put(c.path, c.body, "application/json")
                                    : client.Post(c.path, c.body, "application/json");
        if (std::string(c.method) == "POST") {
            EXPECT_FALSE(reply) << reply->status << " " << reply->body;
        }
        while (std::fgets(line, sizeof line, pipe) != nullptr) output += line;
        const int status = ::pclose(pipe);
        ASSERT_TRUE(WIFSIGNALED(status)) << output;
        EXPECT_EQ(WTERMSIG(status), SIGSEGV);
        EXPECT_NE(output.find(c.said), std::string::npos) << output;
    }
}

// Eight keep-alive clients at once each get their own answers. Not a timed assertion:
// the rate is printed for the reader.
TEST(Serve, LoadEightKeepAliveClients) {
    Served served(PZL_SAMPLE_PLUGIN);
    constexpr int kClients = 8;
    constexpr int kCalls = 2000;
    std::atomic<int> wrong{0};
    std::mutex firstWrongLock;
    std::string firstWrong;  // what the first wrong answer was, for the failure message
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            httplib::Client client = served.Client();
            client.set_keep_alive(true);
            client.set_tcp_nodelay(true);
            for (int i = 0; i < kCalls; ++i) {
                const std::string id = std::to_string(c * kCalls + i);
                httplib::Result result = client.Get(("/sample/v1/items/" + id).c_str());
                if (!result || result->status != 200 ||
                    result->body != R"({"id":)" + id + R"(,"name":"item-)" + id + R"(","verbose":false})") {
                    if (wrong++ == 0) {
                        const std::lock_guard<std::mutex> hold(firstWrongLock);
                        firstWrong = "call " + id + ": " +
                                     (result ? std::to_string(result->status) + " " + result->body
                                             : "no answer (" + httplib::to_string(result.error()) + ")");
                    }
                }
            }
        });
    }
    for (std::thread& client : clients) client.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(wrong.load(), 0) << firstWrong;
    std::printf("serve load: %d clients x %d GetItem calls in %.2f s: %.0f calls/s\n", kClients, kCalls, seconds,
                kClients * kCalls / seconds);
}

}  // namespace
}  // namespace Kesh::StandIn
