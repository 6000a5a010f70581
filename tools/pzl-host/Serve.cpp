#include "tools/pzl-host/Serve.h"

#include <csignal>
#include <cstring>
#include <random>

#include <pthread.h>
#include <unistd.h>

#include "api/UrlTemplate.h"
#include "binding/Base64.h"
#include "binding/HostValueConversion.h"
#include "formats/JsonReader.h"
#include "runtime/ApiTable.h"
#include "runtime/HostReply.h"
#include "runtime/HostRequest.h"
#include "runtime/HttpMethod.h"
#include "tools/pzl-host/FunctionCall.h"
#include "tools/pzl-host/OpenApi.h"
#include "tools/pzl-host/PluginLibrary.h"
#include "tools/pzl-host/PluginSession.h"
#include "tools/pzl-host/SafeMemory.h"
#include "tools/pzl-host/Scenario.h"
#include "tools/pzl-host/ServeHttp.h"
#include "tools/pzl-host/ServePage.h"
#include "tools/pzl-host/ValueJson.h"

namespace Kesh::StandIn {
namespace {

// What this thread is doing inside the plugin, for the crash message. Points at text
// that lives as long as the server.
thread_local const char* tInsidePlugin = nullptr;

class InsidePlugin {
public:
    explicit InsidePlugin(const char* what) : previous_(tInsidePlugin) { tInsidePlugin = what; }
    ~InsidePlugin() { tInsidePlugin = previous_; }
    InsidePlugin(const InsidePlugin&) = delete;
    InsidePlugin& operator=(const InsidePlugin&) = delete;

private:
    const char* previous_;
};

void WriteAll(const char* text) {
    std::size_t length = std::strlen(text);
    while (length > 0) {
        const ssize_t written = ::write(2, text, length);
        if (written <= 0) return;
        text += written;
        length -= static_cast<std::size_t>(written);
    }
}

// Only async-signal-safe calls: the message, then the signal's default action, so that
// the process ends as crashed and every open connection is cut (no reply completes).
void OnCrashSignal(int signal) {
    char number[8];
    int n = signal;
    int i = sizeof number - 1;
    number[i] = '\0';
    do {
        number[--i] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n > 0 && i > 0);
    const char* what = tInsidePlugin;
    WriteAll("pzl-host: the plugin crashed (signal ");
    WriteAll(number + i);
    if (what != nullptr) {
        WriteAll(") in ");
        WriteAll(what);
    } else {
        WriteAll(") outside any call into it");
    }
    WriteAll("; the server stops, as the host would go down with it\n");
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

void InstallCrashHandlers() {
    struct sigaction action {};
    action.sa_handler = OnCrashSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) sigaction(signal, &action, nullptr);
}

std::string JsonText(std::string_view text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string ErrorJson(const std::string& message, int status) {
    return "{\"message\":" + JsonText(message) + ",\"status\":" + std::to_string(status) + "}";
}

void SendError(httplib::Response& res, int status, const std::string& message) {
    res.status = status;
    res.set_content(ErrorJson(message, status), "application/json");
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    }
    return true;
}

// Time independent of where the texts differ.
bool SameToken(std::string_view given, std::string_view token) {
    unsigned char difference = given.size() == token.size() ? 0 : 1;
    for (std::size_t i = 0; i < token.size(); ++i) {
        difference |= static_cast<unsigned char>(token[i] ^ (i < given.size() ? given[i] : 0));
    }
    return difference == 0 && !token.empty();
}

// The headers the server itself writes; a plugin's copy of them would corrupt the reply.
bool ReservedReplyHeader(std::string_view name) {
    static constexpr const char* kReserved[] = {"content-length", "transfer-encoding", "connection", "content-type",
                                                "keep-alive", "set-cookie", "upgrade"};
    for (const char* reserved : kReserved) {
        if (EqualsIgnoringCase(name, reserved)) return true;
    }
    // No cross-origin access, whatever the plugin says.
    return name.size() >= 15 && EqualsIgnoringCase(name.substr(0, 15), "access-control-");
}

bool CleanHeaderText(std::string_view text) {
    if (text.size() > 8192) return false;
    for (unsigned char c : text) {
        if (c == '\r' || c == '\n' || c == '\0') return false;
    }
    return true;
}

struct Function {
    const ApiFunctionRecord* record = nullptr;
    std::string name;
    std::string what;  // "function NAME", for the crash message
    std::uint32_t method = 0;
    std::string customMethod;
    // The plugin's URLs start without a slash when its template does.
    bool slashless = false;
    UrlTemplate route;
    bool threadSafe = true;
};

// A streamed reply still owned by the plugin until the last piece is sent.
struct OpenStream {
    HostReply raw{};
    const char* what = nullptr;
    ~OpenStream() {
        InsidePlugin inside(what);
        if (raw.releaseBody != nullptr) raw.releaseBody(raw.bodyOwner);
        if (raw.release != nullptr) raw.release(&raw);
    }
};

struct StoreChange {
    std::string path;
    std::string eventType;
    BindingProperty data;
};

std::string MethodName(std::uint32_t number, const std::string& custom) {
    if (number == 0) return "ANY";
    if (number == 8) return custom;
    return HttpMethodName(static_cast<HttpMethod>(number));
}

}  // namespace

// ---------------------------------------------------------------------------------------

void Timeline::Add(const std::string& kind, const std::string& text, const std::string& extra) {
    const auto now = static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count());
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (startNanoseconds_ == 0) startNanoseconds_ = now;
        ++last_;
        char milliseconds[32];
        std::snprintf(milliseconds, sizeof milliseconds, "%.1f", static_cast<double>(now - startNanoseconds_) / 1e6);
        std::string entry = "{\"seq\":" + std::to_string(last_) + ",\"ms\":" + milliseconds + ",\"kind\":" + JsonText(kind) +
                            ",\"text\":" + JsonText(text);
        if (!extra.empty()) entry += "," + extra;
        entry += "}";
        entries_.push_back(std::move(entry));
        if (entries_.size() > kMaxEntries) entries_.pop_front();
    }
    changed_.notify_all();
}

std::vector<std::string> Timeline::Since(std::uint64_t after, int timeoutMilliseconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(timeoutMilliseconds), [&] { return closed_ || last_ > after; });
    std::vector<std::string> found;
    if (last_ <= after) return found;
    const std::uint64_t available = std::min<std::uint64_t>(last_ - after, entries_.size());
    for (std::size_t i = entries_.size() - static_cast<std::size_t>(available); i < entries_.size(); ++i) found.push_back(entries_[i]);
    return found;
}

std::uint64_t Timeline::Last() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return last_;
}

void Timeline::Close() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}

bool Timeline::Closed() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return closed_;
}

// ---------------------------------------------------------------------------------------

struct PluginServer::Impl {
    Impl(PluginServer& owner, FakeHost& host, const HostRegistration& record, ServeSettings settings)
        : owner(owner), host(host), record(record), settings(std::move(settings)) {}

    PluginServer& owner;
    FakeHost& host;
    const HostRegistration& record;
    ServeSettings settings;
    ServeHttp http;
    std::string document;
    std::vector<Function> functions;
    // Functions that are not thread-safe are called one at a time.
    std::mutex unsafeCalls;

    std::mutex changesMutex;
    std::condition_variable changesWake;
    std::deque<StoreChange> changes;
    std::size_t seenCalls = 0;

    std::atomic<bool> stopping{false};
    std::atomic<bool> running{false};

    void Setup();
    httplib::Server::HandlerResponse Guard(const httplib::Request& req, httplib::Response& res);
    bool HostAllowed(const httplib::Request& req) const;
    bool Authorised(const httplib::Request& req) const;
    void Dispatch(const httplib::Request& req, httplib::Response& res);
    void Resources(const httplib::Request& req, httplib::Response& res);
    void EventStream(const httplib::Request& req, httplib::Response& res);
    void Poll();
    void DeliverChanges();
    std::string Describe(const HostCall& call, const FakeHost& records, std::string& kind, std::string& extra) const;
};

bool PluginServer::Impl::HostAllowed(const httplib::Request& req) const {
    if (req.get_header_value_count("Host") != 1) return false;
    const std::string value = req.get_header_value("Host");
    const std::string port = ":" + std::to_string(owner.port_);
    if (value.size() <= port.size() || value.compare(value.size() - port.size(), port.size(), port) != 0) return false;
    const std::string_view name(value.data(), value.size() - port.size());
    return name == "127.0.0.1" || EqualsIgnoringCase(name, "localhost");
}

bool PluginServer::Impl::Authorised(const httplib::Request& req) const {
    const std::string& token = settings.token;
    const std::string authorization = req.get_header_value("Authorization");
    if (authorization.size() > 7 && EqualsIgnoringCase(std::string_view(authorization).substr(0, 7), "Bearer ")) {
        return SameToken(std::string_view(authorization).substr(7), token);
    }
    if (authorization.size() > 6 && EqualsIgnoringCase(std::string_view(authorization).substr(0, 6), "Basic ")) {
        const std::vector<std::uint8_t> decoded = DecodeBase64(std::string_view(authorization).substr(6));
        const std::string pair(decoded.begin(), decoded.end());
        const std::size_t colon = pair.find(':');
        return colon != std::string::npos && SameToken(std::string_view(pair).substr(colon + 1), token);
    }
    if (!authorization.empty()) return false;
    const std::string cookies = req.get_header_value("Cookie");
    const std::string key = std::string(kTokenCookie) + "=";
    std::size_t start = 0;
    while (start < cookies.size()) {
        std::size_t end = cookies.find(';', start);
        if (end == std::string::npos) end = cookies.size();
        std::string_view cookie(cookies.data() + start, end - start);
        while (!cookie.empty() && cookie.front() == ' ') cookie.remove_prefix(1);
        if (cookie.substr(0, key.size()) == key) return SameToken(cookie.substr(key.size()), token);
        start = end + 1;
    }
    return false;
}

httplib::Server::HandlerResponse PluginServer::Impl::Guard(const httplib::Request& req, httplib::Response& res) {
    using Handled = httplib::Server::HandlerResponse;
    // DNS rebinding: a page of another site that resolves its name to 127.0.0.1 sends
    // its own name.
    if (!HostAllowed(req)) {
        res.status = 421;
        res.set_content("Misdirected request: use 127.0.0.1 or localhost with the port.\n", "text/plain");
        return Handled::Handled;
    }
    std::size_t headerBytes = 0;
    for (const auto& [name, value] : req.headers) headerBytes += name.size() + value.size() + 4;
    if (req.headers.size() > settings.maxHeaderCount || headerBytes > settings.maxHeaderBytes) {
        res.status = 431;
        return Handled::Handled;
    }
    const std::size_t query = req.target.find('?');
    if ((query == std::string::npos ? req.target.size() : query) > settings.maxPathBytes) {
        res.status = 414;
        return Handled::Handled;
    }
    if (req.path == "/start" && req.method == "GET") {
        if (!SameToken(req.get_param_value("token"), settings.token)) {
            res.status = 401;
            return Handled::Handled;
        }
        // The page's own requests carry the token from here on; scripts never see it.
        res.set_header("Set-Cookie",
                       std::string(kTokenCookie) + "=" + settings.token + "; Path=/; HttpOnly; SameSite=Strict");
        res.set_header("Location", "/");
        res.status = 303;
        return Handled::Handled;
    }
    if (!Authorised(req)) {
        res.status = 401;
        res.set_header("WWW-Authenticate", "Basic realm=\"pzl-host\", charset=\"UTF-8\"");
        return Handled::Handled;
    }
    return Handled::Unhandled;
}

void PluginServer::Impl::Setup() {
    document = OpenApiDocument(record);
    const ApiTable* table = record.apiTable;
    if (table != nullptr && Readable(table, sizeof(ApiTable)) && table->functions != nullptr && table->functionCount < 100000 &&
        Readable(table->functions, sizeof(ApiFunctionRecord) * table->functionCount)) {
        for (std::uint32_t i = 0; i < table->functionCount; ++i) {
            const ApiFunctionRecord& source = table->functions[i];
            Function function;
            function.record = &source;
            function.name = ReadText(source.name).value_or("");
            if (function.name.empty() || source.handler == nullptr) continue;
            function.what = "function " + function.name;
            function.method = source.method;
            function.customMethod = ReadText(source.customMethod).value_or("");
            std::string urlTemplate = ReadText(source.urlTemplate).value_or("");
            if (urlTemplate.empty()) urlTemplate = function.name;
            function.slashless = urlTemplate[0] != '/';
            function.route = UrlTemplate::Compile(urlTemplate);
            function.threadSafe = source.threadSafe != 0;
            functions.push_back(std::move(function));
        }
    }

    http.new_task_queue = [threads = settings.threads] { return new httplib::ThreadPool(threads); };
    http.set_payload_max_length(settings.maxBodyBytes);
    http.set_read_timeout(settings.stallSeconds, 0);
    http.set_write_timeout(settings.stallSeconds, 0);
    http.set_keep_alive_timeout(settings.stallSeconds);
    http.set_keep_alive_max_count(100000);
    http.set_tcp_nodelay(true);
    http.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) { return Guard(req, res); });
    http.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        SendError(res, 500, "pzl-host failed to handle the request");
    });

    http.Get("/", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(kServePage, "text/html; charset=utf-8");
        res.set_header("Content-Security-Policy",
                       "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; connect-src 'self'; img-src data:");
        res.set_header("X-Frame-Options", "DENY");
    });
    http.Get("/openapi.json", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(document, "application/json");
    });
    http.Get("/_pzl/events", [this](const httplib::Request& req, httplib::Response& res) { EventStream(req, res); });
    auto resources = [this](const httplib::Request& req, httplib::Response& res) { Resources(req, res); };
    http.Get("/_pzl/resources(/.*)?", resources);
    http.Put("/_pzl/resources(/.*)?", resources);
    http.Delete("/_pzl/resources(/.*)?", resources);
    auto reserved = [](const httplib::Request& req, httplib::Response& res) {
        SendError(res, 404, "Nothing at " + req.path);
    };
    // The patterns are matched against paths of at most maxPathBytes (checked before).
    const std::string reservedPattern = "/_pzl/.*";
    http.Get(reservedPattern, reserved);
    http.Post(reservedPattern, reserved);
    http.Put(reservedPattern, reserved);
    http.Delete(reservedPattern, reserved);
    http.Patch(reservedPattern, reserved);
    http.Options(reservedPattern, reserved);
    auto dispatch = [this](const httplib::Request& req, httplib::Response& res) { Dispatch(req, res); };
    http.Get(".*", dispatch);
    http.Post(".*", dispatch);
    http.Put(".*", dispatch);
    http.Delete(".*", dispatch);
    http.Patch(".*", dispatch);
    http.Options(".*", dispatch);
}

void PluginServer::Impl::Dispatch(const httplib::Request& req, httplib::Response& res) {
    const std::size_t queryStart = req.target.find('?');
    const std::string_view path = std::string_view(req.target).substr(0, queryStart);
    const std::string_view query = queryStart == std::string::npos ? std::string_view() : std::string_view(req.target).substr(queryStart);
    const std::uint32_t method = MethodNumber(req.method);

    const Function* chosen = nullptr;
    bool pathMatched = false;
    std::size_t shortest = 0;
    std::vector<std::string_view> captures;
    for (const Function& function : functions) {
        const std::string_view candidate = function.slashless && !path.empty() ? path.substr(1) : path;
        if (!function.route.Match(candidate, captures)) continue;
        pathMatched = true;
        const bool methodOk = function.method == 0 || function.method == method ||
                              (function.method == 8 && function.customMethod == req.method);
        if (!methodOk) continue;
        std::size_t length = 0;
        for (std::string_view capture : captures) length += capture.size();
        if (chosen == nullptr || length < shortest) {
            chosen = &function;
            shortest = length;
        }
    }
    if (chosen == nullptr) {
        const int status = pathMatched ? 405 : 404;
        SendError(res, status, (pathMatched ? "No function takes " : "No function matches ") + req.method + " " + std::string(path));
        owner.timeline_.Add("call", req.method + " " + std::string(path) + " -> " + std::to_string(status),
                            "\"status\":" + std::to_string(status));
        return;
    }

    // The request as the host hands it: URL as sent, headers (less the server's own
    // credentials), raw body and content type, the record's user data, a client id.
    const std::string url = std::string(chosen->slashless ? path.substr(1) : path) + std::string(query);
    std::vector<std::pair<std::string, std::string>> headerTexts;
    for (const auto& [name, value] : req.headers) {
        if (EqualsIgnoringCase(name, "authorization") || EqualsIgnoringCase(name, "cookie")) continue;
        // Names go lower-case, as the host hands them.
        std::string lower = name;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        headerTexts.emplace_back(std::move(lower), value);
    }
    std::vector<HostHeader> headers(headerTexts.size());
    for (std::size_t i = 0; i < headerTexts.size(); ++i) {
        headers[i].name = headerTexts[i].first.c_str();
        headers[i].value = headerTexts[i].second.c_str();
    }
    const std::string contentType = req.get_header_value("Content-Type");
    HostRequest request{};
    request.method = method;
    request.url = url.c_str();
    request.userData = chosen->record->userData;
    request.headers = headers.empty() ? nullptr : headers.data();
    request.headerCount = static_cast<std::uint32_t>(headers.size());
    request.contentType = contentType.empty() ? nullptr : contentType.c_str();
    const bool hasBody = !req.body.empty() || !contentType.empty();
    request.body = hasBody ? reinterpret_cast<const std::uint8_t*>(req.body.data()) : nullptr;
    request.bodyLength = static_cast<std::uint32_t>(req.body.size());
    request.clientId = host.ClientId();
    if (method == 8) request.customMethod = req.method.c_str();

    auto stream = std::make_shared<OpenStream>();
    stream->what = chosen->what.c_str();
    HostReply& raw = stream->raw;
    {
        std::unique_lock<std::mutex> oneAtATime(unsafeCalls, std::defer_lock);
        if (!chosen->threadSafe) oneAtATime.lock();
        InsidePlugin inside(chosen->what.c_str());
        chosen->record->handler(&raw, &request);
    }
    const char* what = chosen->what.c_str();
    InsidePlugin inside(what);
    const bool error = raw.result.hasError != 0;
    int status = static_cast<int>(raw.statusCode);
    if (status < 100 || status > 599) status = error ? 400 : 200;
    std::string replyType = ReadText(raw.contentType, 4096).value_or("");
    if (!CleanHeaderText(replyType)) replyType.clear();
    if (raw.headers != nullptr && raw.headerCount < 1000 && Readable(raw.headers, sizeof(HostHeader) * raw.headerCount)) {
        for (std::uint32_t i = 0; i < raw.headerCount; ++i) {
            const std::string name = ReadText(raw.headers[i].name, 1024).value_or("");
            const std::string value = ReadText(raw.headers[i].value, 8192).value_or("");
            if (name.empty() || !CleanHeaderText(name) || !CleanHeaderText(value) || ReservedReplyHeader(name)) continue;
            res.set_header(name, value);
        }
    }
    const std::string line = req.method + " " + std::string(path) + (query.size() > 200 ? "?..." : std::string(query));
    if (error) {
        const std::string message = ReadText(raw.result.errorText, 1 << 20).value_or("<unreadable error text>");
        SendError(res, status, message);
        owner.timeline_.Add("call", chosen->name + " " + line + " -> " + std::to_string(status),
                            "\"status\":" + std::to_string(status) + ",\"function\":" + JsonText(chosen->name) +
                                ",\"reply\":" + ErrorJson(message, status));
        return;
    }
    res.status = status;
    if (raw.readBody != nullptr) {
        // Sent as the plugin produces it; a read that fails cuts the connection, so the
        // client never sees a complete (terminated) body.
        res.set_chunked_content_provider(
            replyType.empty() ? "application/octet-stream" : replyType,
            [stream, what, sent = std::uint64_t{0}](std::size_t, httplib::DataSink& sink) mutable {
                InsidePlugin reading(what);
                char buffer[16384];
                std::uint32_t length = sizeof buffer;
                std::uint8_t more = 0;
                if (stream->raw.readBody(stream->raw.bodyOwner, buffer, &length, &more) == 0) return false;
                if (length > sizeof buffer) return false;
                sent += length;
                if (length > 0 && !sink.write(buffer, length)) return false;
                if (more == 0) sink.done();
                return true;
            });
        owner.timeline_.Add("call", chosen->name + " " + line + " -> " + std::to_string(status) + " (streamed)",
                            "\"status\":" + std::to_string(status) + ",\"function\":" + JsonText(chosen->name));
        return;
    }
    BindingProperty value;
    HostResultHead head{};
    std::string json;
    if (FromHostValue(raw.result.value, value, "<result>", head)) {
        json = ToJson(value);
    } else {
        status = 500;
        res.status = status;
        json = ErrorJson(head.errorText != nullptr ? head.errorText : "unreadable result value", status);
    }
    head.Release();
    res.set_content(json, replyType.empty() ? "application/json" : replyType);
    owner.timeline_.Add("call", chosen->name + " " + line + " -> " + std::to_string(status),
                        "\"status\":" + std::to_string(status) + ",\"function\":" + JsonText(chosen->name) +
                            ",\"reply\":" + (json.size() > 4096 ? JsonText(json.substr(0, 4096) + "...") : json));
}

void PluginServer::Impl::Resources(const httplib::Request& req, httplib::Response& res) {
    const std::string prefix = "/_pzl/resources";
    const std::string path = req.path.size() > prefix.size() ? req.path.substr(prefix.size()) : "";
    if (path.empty() || path == "/") {
        if (req.method != "GET") return SendError(res, 405, "Only GET lists the resources");
        std::string json = "{";
        for (const std::string& stored : host.ResourcePaths()) {
            if (json.size() > 1) json += ",";
            json += JsonText(stored) + ":" + ToJson(host.Store(stored));
        }
        res.set_content(json + "}", "application/json");
        return;
    }
    if (req.method == "GET") {
        if (!host.HasResource(path)) return SendError(res, 404, "Not found");
        res.set_content(ToJson(host.Store(path)), "application/json");
        return;
    }
    StoreChange change;
    change.path = path;
    const bool existed = host.HasResource(path);
    if (req.method == "PUT") {
        ConversionResult parsed = ParseJson(req.body);
        if (!parsed.Ok()) return SendError(res, 400, std::string("The body is not JSON: ") + parsed.ErrorMessage());
        change.data = parsed.Value();
        change.eventType = existed ? "Update" : "Create";
        host.SetResource(path, change.data);
    } else {
        if (!existed) return SendError(res, 404, "Not found");
        host.RemoveResource(path);
        change.eventType = "Delete";
    }
    owner.timeline_.Add("store", req.method + " " + path, "\"eventType\":" + JsonText(change.eventType));
    res.set_content("{\"path\":" + JsonText(path) + ",\"eventType\":" + JsonText(change.eventType) + "}", "application/json");
    {
        std::lock_guard<std::mutex> guard(changesMutex);
        changes.push_back(std::move(change));
    }
    changesWake.notify_one();
}

void PluginServer::Impl::EventStream(const httplib::Request& req, httplib::Response& res) {
    std::uint64_t after = 0;
    const std::string last = req.has_header("Last-Event-ID") ? req.get_header_value("Last-Event-ID") : req.get_param_value("after");
    if (!last.empty() && last.size() < 20 && last.find_first_not_of("0123456789") == std::string::npos) after = std::stoull(last);
    res.set_header("Cache-Control", "no-store");
    res.set_chunked_content_provider("text/event-stream", [this, after](std::size_t, httplib::DataSink& sink) mutable {
        const std::vector<std::string> entries = owner.timeline_.Since(after, 1000);
        if (stopping || owner.timeline_.Closed()) return false;
        if (entries.empty()) {
            // A comment line now and then finds a client that went away.
            const char* ping = ": ping\n\n";
            return sink.write(ping, std::strlen(ping));
        }
        std::string text;
        for (const std::string& entry : entries) {
            const std::size_t comma = entry.find(',');
            after = std::stoull(entry.substr(7, comma - 7));
            text += "id: " + std::to_string(after) + "\ndata: " + entry + "\n\n";
        }
        return sink.write(text.data(), text.size());
    });
}

std::string PluginServer::Impl::Describe(const HostCall& call, const FakeHost& records, std::string& kind,
                                         std::string& extra) const {
    switch (call.kind) {
    case HostCallKind::Request: {
        const RecordedRequest& request = records.Requests()[call.index];
        kind = "request";
        std::string text = MethodName(request.method, request.customMethod) + " " + request.url + " -> " +
                           std::to_string(request.status == 0 ? 200 : request.status);
        if (request.answeredWithError) text += " (error)";
        if (!request.arguments.empty()) extra = "\"body\":" + ToJson(request.Body());
        return text;
    }
    case HostCallKind::Event: {
        const DeliveredEvent& event = records.Events()[call.index];
        kind = "event";
        std::string text = event.eventName;
        if (event.resourceEvent) {
            text += " " + event.eventType + " " + event.uri;
            extra = "\"data\":" + ToJson(event.data);
        }
        return text + " (" + std::to_string(event.receivers) + " receivers)";
    }
    case HostCallKind::Log: {
        const LogLine& line = records.LogLines()[call.index];
        kind = "log";
        extra = "\"level\":" + std::to_string(line.level);
        return line.message;
    }
    case HostCallKind::Subscribe:
        kind = "subscribe";
        return records.Subscriptions()[call.index].eventName;
    case HostCallKind::Unsubscribe:
        kind = "unsubscribe";
        return records.Unsubscriptions()[call.index].eventName;
    case HostCallKind::Fault:
        kind = "fault";
        return records.Faults()[call.index];
    case HostCallKind::Wait:
        kind = "wait";
        return records.WaitCalls()[call.index].label;
    case HostCallKind::Other: kind = "other"; return "entry " + std::to_string(records.OtherCalls()[call.index].entry);
    }
    return "";
}

void PluginServer::Impl::Poll() {
    struct Noted {
        std::string kind, text, extra;
    };
    std::vector<Noted> noted;
    host.ReadRecords([&](const FakeHost& records) {
        const std::vector<HostCall>& calls = records.Calls();
        for (; seenCalls < calls.size(); ++seenCalls) {
            Noted entry;
            entry.text = Describe(calls[seenCalls], records, entry.kind, entry.extra);
            noted.push_back(std::move(entry));
        }
    });
    for (const Noted& entry : noted) owner.timeline_.Add(entry.kind, entry.text, entry.extra);
}

void PluginServer::Impl::DeliverChanges() {
    for (;;) {
        StoreChange change;
        {
            std::lock_guard<std::mutex> guard(changesMutex);
            if (changes.empty()) break;
            change = std::move(changes.front());
            changes.pop_front();
        }
        const std::string what = "the event of " + change.path;
        InsidePlugin inside(what.c_str());
        host.DeliverResourceEvent(change.path, change.eventType, change.data);
        // What the plugin changed in the store while handling it, in order.
        host.DeliverPending(1000);
        Poll();
    }
    {
        InsidePlugin inside("event delivery");
        host.DeliverPending(1000);
    }
    Poll();
}

// ---------------------------------------------------------------------------------------

PluginServer::PluginServer(FakeHost& host, const HostRegistration& record, ServeSettings settings)
    : impl_(std::make_unique<Impl>(*this, host, record, std::move(settings))) {
    impl_->Setup();
}

PluginServer::~PluginServer() { Stop(); }

httplib::Server& PluginServer::Http() { return impl_->http; }

bool PluginServer::Bind(std::string& error) {
    // The loopback only: every program and page on this machine can reach it already.
    if (impl_->settings.port == 0) {
        port_ = impl_->http.bind_to_any_port("127.0.0.1");
    } else {
        port_ = impl_->http.bind_to_port("127.0.0.1", impl_->settings.port) ? impl_->settings.port : -1;
    }
    if (port_ <= 0) {
        error = "cannot listen on 127.0.0.1:" + std::to_string(impl_->settings.port);
        return false;
    }
    return true;
}

void PluginServer::Pump() { impl_->DeliverChanges(); }

void PluginServer::Run() {
    Impl& impl = *impl_;
    impl.running = true;
    std::thread driver([&impl] {
        impl.host.SetDriverThread(std::this_thread::get_id());
        while (!impl.stopping) {
            impl.DeliverChanges();
            std::unique_lock<std::mutex> lock(impl.changesMutex);
            impl.changesWake.wait_for(lock, std::chrono::milliseconds(20), [&] { return impl.stopping || !impl.changes.empty(); });
        }
    });
    if (!impl.stopping) impl.http.listen_after_bind();
    impl.stopping = true;
    impl.changesWake.notify_all();
    driver.join();
    impl.running = false;
}

void PluginServer::Stop() {
    Impl& impl = *impl_;
    impl.stopping = true;
    timeline_.Close();
    impl.changesWake.notify_all();
    // Run may be between its start and the library's loop: wait for the loop to stop it.
    for (int i = 0; i < 2000 && impl.running && !impl.http.is_running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    impl.http.stop();
}

std::string RandomToken() {
    std::random_device device;
    std::string token;
    char hex[4];
    for (int i = 0; i < 4; ++i) {
        const std::uint32_t word = device();
        for (int b = 0; b < 4; ++b) {
            std::snprintf(hex, sizeof hex, "%02x", (word >> (8 * b)) & 0xffu);
            token += hex;
        }
    }
    return token;
}

int ServeCommand(const ServeOptions& options, std::FILE* out) {
    std::string token = options.token.empty() ? RandomToken() : options.token;
    if (token.size() > 256 || token.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~") !=
                                  std::string::npos) {
        std::fprintf(stderr, "pzl-host: a token is 1 to 256 letters, digits, '-', '.', '_' or '~'\n");
        return 2;
    }
    Scenario scenario;
    std::string error;
    if (!options.scenario.empty() && !ReadScenario(options.scenario, scenario, error)) {
        std::fprintf(stderr, "pzl-host: %s\n", error.c_str());
        return 2;
    }
    PluginLibrary library;
    if (!library.Open(options.plugin)) {
        std::fprintf(stderr, "pzl-host: %s\n", library.Error().c_str());
        return 2;
    }
    // The process ends after serving: nothing is gained by unmapping the plugin's code.
    library.KeepLoaded();
    // Interrupts are taken by one thread; every thread started from here on blocks them.
    sigset_t interrupts;
    sigemptyset(&interrupts);
    sigaddset(&interrupts, SIGINT);
    sigaddset(&interrupts, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &interrupts, nullptr);
    InstallCrashHandlers();

    FakeHost host;
    host.SetLiveStore(true);
    for (const auto& [path, value] : scenario.resources) host.SetResource(path, value);
    for (const PathFailure& failure : scenario.failures) {
        for (std::uint32_t number = 1; number <= 7; ++number) {
            const auto method = static_cast<HttpMethod>(number);
            if (!failure.method.empty() && failure.method != HttpMethodName(method)) continue;
            host.ReplyWithError(method, failure.path, failure.message, failure.status);
        }
    }
    PluginSession session(library, host);
    if (!session.Load(error)) {
        std::fprintf(stderr, "pzl-host: %s\n", error.c_str());
        return 2;
    }
    {
        InsidePlugin inside("init");
        if (!session.Init()) {
            std::fprintf(stderr, "pzl-host: the plugin's init answered false\n");
            return 2;
        }
    }
    ServeSettings settings;
    settings.token = token;
    settings.port = options.port;
    PluginServer server(host, session.Record(), settings);
    if (!server.Bind(error)) {
        std::fprintf(stderr, "pzl-host: %s\n", error.c_str());
        return 2;
    }
    const std::string base = "http://127.0.0.1:" + std::to_string(server.Port());
    std::fprintf(out, "pzl-host: serving %s on %s/\npzl-host: token %s\npzl-host: open %s/start?token=%s\n",
                 options.plugin.c_str(), base.c_str(), token.c_str(), base.c_str(), token.c_str());
    std::fflush(out);
    std::thread interrupter([&server, interrupts] {
        int signal = 0;
        sigwait(&interrupts, &signal);
        server.Stop();
    });
    interrupter.detach();
    server.Run();
    {
        InsidePlugin inside("unload");
        session.Unload();
    }
    // What goes wrong from here on is no longer the plugin's.
    for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) ::signal(signal, SIG_DFL);
    std::fprintf(out, "pzl-host: stopped\n");
    return 0;
}

}  // namespace Kesh::StandIn
