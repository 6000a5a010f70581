// The library next to the libraries a plugin author would pick instead, in one process
// on the same bytes. Names are path/corpus/contender; scripts/bench turns the figures into
// ratios against "ours". Every contender's result is checked equal to ours (written the
// same canonical way, keys in byte order) before it is timed: a reader that loses or
// changes content would make its figure meaningless.
#include <benchmark/benchmark.h>

#include <yaml.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <rapidjson/document.h>
#include <rapidjson/reader.h>

#include "bench/AllocationCounter.h"
#include "bench/BodyWriter.h"
#include "bench/Corpora.h"
#include "bench/ResidentTree.h"
#include "binding/BlockAllocator.h"
#include "binding/ConversionResult.h"
#include "formats/JsonReader.h"
#include "formats/MessagePackReader.h"
#include "formats/YamlReader.h"
#include "log/FormatPositional.h"
#include "log/Log.h"
#include "log/LogManager.h"
#include "platform/Allocator.h"

#if defined(PZL_PEER_NLOHMANN)
#include <nlohmann/json.hpp>
#endif
#if defined(PZL_PEER_MSGPACK)
#include <msgpack.hpp>
#endif
#if defined(PZL_PEER_YAMLCPP)
#include <yaml-cpp/yaml.h>
#endif
#if defined(PZL_PEER_SPDLOG)
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>
#endif

namespace Kesh::Bench {
namespace {

// ---- canonical text of each library's tree (the text WriteJson gives for ours) ----

// An object's members sorted by key (stable, so repeated keys keep their order), each
// written by text(out, value).
template <typename Members, typename WriteValue>
void AppendSortedObject(std::string& out, Members& members, WriteValue text) {
    std::stable_sort(members.begin(), members.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    out += '{';
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (i != 0) out += ',';
        AppendQuoted(out, members[i].first);
        out += ':';
        text(out, members[i].second);
    }
    out += '}';
}

using JsonValue = rapidjson::Value;

void RapidJsonText(std::string& out, const JsonValue& value) {
    using Value = JsonValue;
    if (value.IsObject()) {
        std::vector<std::pair<std::string_view, const Value*>> members;
        for (auto it = value.MemberBegin(); it != value.MemberEnd(); ++it) {
            members.emplace_back(std::string_view(it->name.GetString(), it->name.GetStringLength()), &it->value);
        }
        AppendSortedObject(out, members, [](std::string& o, const auto* v) { RapidJsonText(o, *v); });
    } else if (value.IsArray()) {
        out += '[';
        for (rapidjson::SizeType i = 0; i < value.Size(); ++i) {
            if (i != 0) out += ',';
            RapidJsonText(out, value[i]);
        }
        out += ']';
    } else if (value.IsString()) {
        AppendQuoted(out, std::string_view(value.GetString(), value.GetStringLength()));
    } else if (value.IsBool()) {
        out += value.GetBool() ? "true" : "false";
    } else if (value.IsUint64()) {
        out += std::to_string(value.GetUint64());
    } else if (value.IsInt64()) {
        out += std::to_string(value.GetInt64());
    } else if (value.IsDouble()) {
        out += FloatText(value.GetDouble());
    } else {
        out += "null";
    }
}

#if defined(PZL_PEER_NLOHMANN)
void NlohmannText(std::string& out, const nlohmann::json& value) {
    switch (value.type()) {
        case nlohmann::json::value_t::object: {
            out += '{';
            const char* separator = "";
            for (const auto& [key, member] : value.items()) {  // std::map: byte order
                out += separator;
                AppendQuoted(out, key);
                out += ':';
                NlohmannText(out, member);
                separator = ",";
            }
            out += '}';
            break;
        }
        case nlohmann::json::value_t::array: {
            out += '[';
            const char* separator = "";
            for (const auto& element : value) {
                out += separator;
                NlohmannText(out, element);
                separator = ",";
            }
            out += ']';
            break;
        }
        case nlohmann::json::value_t::string:
            AppendQuoted(out, value.get_ref<const std::string&>());
            break;
        case nlohmann::json::value_t::boolean:
            out += value.get<bool>() ? "true" : "false";
            break;
        case nlohmann::json::value_t::number_unsigned:
            out += std::to_string(value.get<std::uint64_t>());
            break;
        case nlohmann::json::value_t::number_integer:
            out += std::to_string(value.get<std::int64_t>());
            break;
        case nlohmann::json::value_t::number_float:
            out += FloatText(value.get<double>());
            break;
        default:
            out += "null";
            break;
    }
}
#endif

#if defined(PZL_PEER_MSGPACK)
void MessagePackText(std::string& out, const msgpack::object& value) {
    switch (value.type) {
        case msgpack::type::MAP: {
            std::vector<std::pair<std::string_view, const msgpack::object*>> members;
            for (std::uint32_t i = 0; i < value.via.map.size; ++i) {
                const msgpack::object_kv& kv = value.via.map.ptr[i];
                members.emplace_back(std::string_view(kv.key.via.str.ptr, kv.key.via.str.size), &kv.val);
            }
            AppendSortedObject(out, members, [](std::string& o, const auto* v) { MessagePackText(o, *v); });
            break;
        }
        case msgpack::type::ARRAY:
            out += '[';
            for (std::uint32_t i = 0; i < value.via.array.size; ++i) {
                if (i != 0) out += ',';
                MessagePackText(out, value.via.array.ptr[i]);
            }
            out += ']';
            break;
        case msgpack::type::STR:
            AppendQuoted(out, std::string_view(value.via.str.ptr, value.via.str.size));
            break;
        case msgpack::type::BOOLEAN:
            out += value.via.boolean ? "true" : "false";
            break;
        case msgpack::type::POSITIVE_INTEGER:
            out += std::to_string(value.via.u64);
            break;
        case msgpack::type::NEGATIVE_INTEGER:
            out += std::to_string(value.via.i64);
            break;
        case msgpack::type::FLOAT64:
        case msgpack::type::FLOAT32:
            out += FloatText(value.via.f64);
            break;
        default:
            out += "null";
            break;
    }
}
#endif

#if defined(PZL_PEER_YAMLCPP)
// yaml-cpp leaves scalars untyped: a plain scalar is written as it stands (numbers and
// booleans read back as the same text), a quoted one as a string.
void YamlCppText(std::string& out, const YAML::Node& value) {
    switch (value.Type()) {
        case YAML::NodeType::Map: {
            // Sorting moves the members, and assigning one YAML::Node to another writes
            // through to the node it refers to: the nodes stay put, the sort moves indices.
            std::vector<YAML::Node> nodes;
            std::vector<std::pair<std::string, std::size_t>> members;
            nodes.reserve(value.size());
            for (const auto& member : value) {
                members.emplace_back(member.first.Scalar(), nodes.size());
                nodes.push_back(member.second);
            }
            AppendSortedObject(out, members, [&nodes](std::string& o, std::size_t v) { YamlCppText(o, nodes[v]); });
            break;
        }
        case YAML::NodeType::Sequence: {
            out += '[';
            const char* separator = "";
            for (const auto& element : value) {
                out += separator;
                YamlCppText(out, element);
                separator = ",";
            }
            out += ']';
            break;
        }
        case YAML::NodeType::Scalar:
            if (value.Tag() == "!") {
                AppendQuoted(out, value.Scalar());
            } else if (value.Scalar() == "~" || value.Scalar() == "null") {
                out += "null";
            } else {
                out += value.Scalar();
            }
            break;
        default:
            out += "null";
            break;
    }
}
#endif

std::size_t YamlEvents(const std::string& text, bool& ok) {
    yaml_parser_t parser;
    yaml_parser_initialize(&parser);
    yaml_parser_set_input_string(&parser, reinterpret_cast<const unsigned char*>(text.data()), text.size());
    std::size_t nodes = 0;
    ok = false;
    for (;;) {
        yaml_event_t event;
        if (!yaml_parser_parse(&parser, &event)) break;
        const yaml_event_type_t type = event.type;
        nodes += type == YAML_SCALAR_EVENT || type == YAML_MAPPING_START_EVENT || type == YAML_SEQUENCE_START_EVENT;
        yaml_event_delete(&event);
        if (type == YAML_STREAM_END_EVENT) {
            ok = true;
            break;
        }
    }
    yaml_parser_delete(&parser);
    return nodes;
}

// Values plus member keys: the nodes an event reader sees.
std::size_t NodesWithKeys(const BindingProperty& root) {
    std::size_t count = 0;
    std::vector<const BindingProperty*> pending{&root};
    while (!pending.empty()) {
        const BindingProperty* value = pending.back();
        pending.pop_back();
        ++count;
        for (const BindingProperty& element : value->Elements()) pending.push_back(&element);
        for (const MemberNode& member : value->Members()) {
            ++count;
            pending.push_back(&member.Value());
        }
    }
    return count;
}

// ---- registration ----

bool Checked(benchmark::State& state, bool equal, const char* what) {
    if (!equal) state.SkipWithError(what);
    return equal;
}

void SetThroughput(benchmark::State& state, std::size_t bytes, std::size_t values) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * values));
}

using Body = const std::string& (*)(const Corpus&);
const std::string& YamlBlockOf(const Corpus& c) { return c.yamlBlock; }
const std::string& YamlFlowOf(const Corpus& c) { return c.yamlFlow; }

void OursJson(benchmark::State& state, const Corpus& corpus, bool alone) {
    {
        const ConversionResult first = ParseJson(corpus.json);
        if (!Checked(state, first.Ok() && WriteJson(first.Value()) == corpus.json, "our tree differs")) return;
    }
    std::optional<ResidentTree> resident;
    if (!alone) {
        resident.emplace();
    } else if (BlockAllocator::Instance().ReadCounts().blocksInUse != 0) {
        state.SkipWithError("a value tree is alive elsewhere");
        return;
    }
    const AllocationCounter allocations;
    for (auto _ : state) {
        ConversionResult result = ParseJson(corpus.json);
        benchmark::DoNotOptimize(result);
    }
    allocations.Report(state);
    SetThroughput(state, corpus.json.size(), corpus.valueCount);
}

void RapidJsonDocument(benchmark::State& state, const Corpus& corpus) {
    rapidjson::Document check;
    check.Parse(corpus.json.c_str());
    std::string text;
    RapidJsonText(text, check);
    if (!Checked(state, !check.HasParseError() && text == corpus.json, "RapidJSON's tree differs")) return;
    for (auto _ : state) {
        rapidjson::Document document;
        document.Parse(corpus.json.c_str());
        benchmark::DoNotOptimize(document);
    }
    SetThroughput(state, corpus.json.size(), corpus.valueCount);
}

template <unsigned Flags>
void RapidJsonReader(benchmark::State& state, const Corpus& corpus) {
    rapidjson::BaseReaderHandler<> handler;
    for (auto _ : state) {
        rapidjson::Reader reader;
        rapidjson::StringStream stream(corpus.json.c_str());
        const rapidjson::ParseResult result = reader.Parse<Flags>(stream, handler);
        if (result.IsError()) {
            state.SkipWithError("RapidJSON's reader failed");
            return;
        }
    }
    SetThroughput(state, corpus.json.size(), corpus.valueCount);
}

#if defined(PZL_PEER_NLOHMANN)
void NlohmannJson(benchmark::State& state, const Corpus& corpus) {
    std::string text;
    NlohmannText(text, nlohmann::json::parse(corpus.json));
    if (!Checked(state, text == corpus.json, "nlohmann::json's tree differs")) return;
    for (auto _ : state) {
        nlohmann::json document = nlohmann::json::parse(corpus.json);
        benchmark::DoNotOptimize(document);
    }
    SetThroughput(state, corpus.json.size(), corpus.valueCount);
}
#endif

void OursMessagePack(benchmark::State& state, const Corpus& corpus) {
    const std::vector<std::uint8_t>& bytes = corpus.messagePack;
    const ConversionResult first = ReadMessagePack(bytes.data(), bytes.size());
    if (!Checked(state, first.Ok() && WriteJson(first.Value()) == corpus.json, "our tree differs")) return;
    const ResidentTree resident;
    const AllocationCounter allocations;
    for (auto _ : state) {
        ConversionResult result = ReadMessagePack(bytes.data(), bytes.size());
        benchmark::DoNotOptimize(result);
    }
    allocations.Report(state);
    SetThroughput(state, bytes.size(), corpus.valueCount);
}

#if defined(PZL_PEER_MSGPACK)
void MsgpackUnpack(benchmark::State& state, const Corpus& corpus) {
    const auto* data = reinterpret_cast<const char*>(corpus.messagePack.data());
    const std::size_t size = corpus.messagePack.size();
    std::string text;
    MessagePackText(text, msgpack::unpack(data, size).get());
    if (!Checked(state, text == corpus.json, "msgpack-c++'s tree differs")) return;
    for (auto _ : state) {
        msgpack::object_handle handle = msgpack::unpack(data, size);
        benchmark::DoNotOptimize(handle);
    }
    SetThroughput(state, size, corpus.valueCount);
}
#endif

void OursYaml(benchmark::State& state, const Corpus& corpus, Body body) {
    const std::string& yaml = body(corpus);
    const ConversionResult first = ReadYaml(yaml);
    if (!Checked(state, first.Ok() && WriteJson(first.Value()) == corpus.json, "our tree differs")) return;
    const ResidentTree resident;
    const AllocationCounter allocations;
    for (auto _ : state) {
        ConversionResult result = ReadYaml(yaml);
        benchmark::DoNotOptimize(result);
    }
    allocations.Report(state);
    SetThroughput(state, yaml.size(), corpus.valueCount);
}

void LibYamlEvents(benchmark::State& state, const Corpus& corpus, Body body) {
    const std::string& yaml = body(corpus);
    bool ok = false;
    const std::size_t nodes = YamlEvents(yaml, ok);
    const ConversionResult ours = ParseJson(corpus.json);
    if (!Checked(state, ok && nodes == NodesWithKeys(ours.Value()), "libyaml's events differ from our tree")) return;
    for (auto _ : state) {
        benchmark::DoNotOptimize(YamlEvents(yaml, ok));
    }
    SetThroughput(state, yaml.size(), corpus.valueCount);
}

#if defined(PZL_PEER_YAMLCPP)
void YamlCppLoad(benchmark::State& state, const Corpus& corpus, Body body) {
    const std::string& yaml = body(corpus);
    std::string text;
    YamlCppText(text, YAML::Load(yaml));
    if (!Checked(state, text == corpus.json, "yaml-cpp's tree differs")) return;
    for (auto _ : state) {
        YAML::Node node = YAML::Load(yaml);
        benchmark::DoNotOptimize(node);
    }
    SetThroughput(state, yaml.size(), corpus.valueCount);
}
#endif

void OursCopy(benchmark::State& state, const Corpus& corpus) {
    const ConversionResult source = ParseJson(corpus.json);
    const BindingProperty first(source.Value());
    if (!Checked(state, WriteJson(first) == corpus.json, "the copy differs")) return;
    const ResidentTree resident;
    const AllocationCounter allocations;
    for (auto _ : state) {
        BindingProperty copy(source.Value());
        benchmark::DoNotOptimize(copy);
    }
    allocations.Report(state);
    SetThroughput(state, 0, corpus.valueCount);
}

void RapidJsonCopy(benchmark::State& state, const Corpus& corpus) {
    rapidjson::Document source;
    source.Parse(corpus.json.c_str());
    for (auto _ : state) {
        rapidjson::Document copy;
        copy.CopyFrom(source, copy.GetAllocator());
        benchmark::DoNotOptimize(copy);
    }
    SetThroughput(state, 0, corpus.valueCount);
}

// This thread's processor time: on a shared machine, wall time would count other work.
double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Destroying trees read from the body; "ns_per_node" is the figure the target is set in.
void OursDestroy(benchmark::State& state, const Corpus& corpus) {
    const ResidentTree resident;
    // Small trees in batches of hundreds: reading a thread's processor time is a system
    // call that costs about a microsecond on a virtual machine, part of which falls inside
    // the timed span (eight event trees were a third clock). Large ones alone, as a plugin
    // reads and drops them.
    const int kBatch = corpus.valueCount < 1000 ? 256 : 1;
    double seconds = 0;
    std::size_t nodes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<ConversionResult> trees;
        for (int i = 0; i < kBatch; ++i) trees.push_back(ParseJson(corpus.json));
        state.ResumeTiming();
        const double start = ThreadSeconds();
        trees.clear();
        seconds += ThreadSeconds() - start;
        nodes += kBatch * corpus.valueCount;
    }
    state.counters["ns_per_node"] = nodes != 0 ? seconds * 1e9 / static_cast<double>(nodes) : 0;
}

// ---- FormatPositional against snprintf, on the same output ----

constexpr const char* kOurTemplate = "Player %1$s joined queue %2$d after %3$u s, slot %4$s";
constexpr const char* kPrintfTemplate = "Player %s joined queue %d after %u s, slot %s";

void OursFormat(benchmark::State& state) {
    char ours[256];
    char theirs[256];
    const FormatArgument arguments[] = {"Somebody", 420, 812u, "top"};
    FormatPositional(ours, sizeof ours, kOurTemplate, arguments, 4);
    std::snprintf(theirs, sizeof theirs, kPrintfTemplate, "Somebody", 420, 812u, "top");
    if (!Checked(state, std::string_view(ours) == theirs, "FormatPositional's output differs")) return;
    int i = 0;
    for (auto _ : state) {
        const FormatArgument args[] = {"Somebody", ++i, 812u, "top"};
        benchmark::DoNotOptimize(FormatPositional(ours, sizeof ours, kOurTemplate, args, 4));
    }
}

void Snprintf(benchmark::State& state) {
    char out[256];
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::snprintf(out, sizeof out, kPrintfTemplate, "Somebody", ++i, 812u, "top"));
    }
}

// ---- a log call filtered out by level ----

void OursLogFiltered(benchmark::State& state) {
    if (state.thread_index() == 0) {
        LogManager::AddReference();
        for (LogTargetInterface* console :
             {LogManager::StdErrTarget(), LogManager::StdOutTarget(), LogManager::DebuggerTarget()}) {
            console->detach(console);
        }
    }
    int i = 0;
    for (auto _ : state) {
        Log(0, 0x100, "filtered %d of %s", ++i, "many");
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    if (state.thread_index() == 0) LogManager::ReleaseReference();
}

#if defined(PZL_PEER_SPDLOG)
void SpdlogFiltered(benchmark::State& state) {
    static const std::shared_ptr<spdlog::logger> logger = [] {
        auto made = std::make_shared<spdlog::logger>("bench", std::make_shared<spdlog::sinks::null_sink_mt>());
        made->set_level(spdlog::level::info);
        return made;
    }();
    int i = 0;
    for (auto _ : state) {
        logger->debug("filtered {} of {}", ++i, "many");
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
#endif

// ---- a 32-byte allocation through the counting allocator ----

void OursAllocate(benchmark::State& state) {
    for (auto _ : state) {
        void* block = Memory::Allocate(32);
        benchmark::DoNotOptimize(block);
        Memory::Free(block);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

void Malloc(benchmark::State& state) {
    for (auto _ : state) {
        void* block = std::malloc(32);
        benchmark::DoNotOptimize(block);
        std::free(block);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

template <typename Function, typename... Arguments>
void Add(const std::string& name, Function function, Arguments... arguments) {
    benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& state) { function(state, arguments...); });
}

int RegisterAll() {
    for (const Corpus& corpus : Corpora()) {
        const std::string c = corpus.name;
        const Corpus* p = &corpus;
        Add("json/" + c + "/ours", [](benchmark::State& s, const Corpus* k) { OursJson(s, *k, false); }, p);
        Add("json/" + c + "/rapidjson", [](benchmark::State& s, const Corpus* k) { RapidJsonDocument(s, *k); }, p);
        Add("json/" + c + "/rapidjson_reader",
            [](benchmark::State& s, const Corpus* k) { RapidJsonReader<rapidjson::kParseDefaultFlags>(s, *k); }, p);
        Add("json/" + c + "/rapidjson_reader_iterative",
            [](benchmark::State& s, const Corpus* k) { RapidJsonReader<rapidjson::kParseIterativeFlag>(s, *k); }, p);
#if defined(PZL_PEER_NLOHMANN)
        Add("json/" + c + "/nlohmann", [](benchmark::State& s, const Corpus* k) { NlohmannJson(s, *k); }, p);
#endif
        Add("msgpack/" + c + "/ours", [](benchmark::State& s, const Corpus* k) { OursMessagePack(s, *k); }, p);
#if defined(PZL_PEER_MSGPACK)
        Add("msgpack/" + c + "/msgpack", [](benchmark::State& s, const Corpus* k) { MsgpackUnpack(s, *k); }, p);
#endif
        for (const auto& [style, body] : {std::pair<const char*, Body>{"yaml_block", &YamlBlockOf},
                                          std::pair<const char*, Body>{"yaml_flow", &YamlFlowOf}}) {
            const std::string path = std::string(style) + "/" + c;
            Add(path + "/ours", [](benchmark::State& s, const Corpus* k, Body b) { OursYaml(s, *k, b); }, p, body);
            Add(path + "/libyaml_events",
                [](benchmark::State& s, const Corpus* k, Body b) { LibYamlEvents(s, *k, b); }, p, body);
#if defined(PZL_PEER_YAMLCPP)
            Add(path + "/yaml_cpp", [](benchmark::State& s, const Corpus* k, Body b) { YamlCppLoad(s, *k, b); }, p,
                body);
#endif
        }
        Add("copy/" + c + "/ours", [](benchmark::State& s, const Corpus* k) { OursCopy(s, *k); }, p);
        Add("copy/" + c + "/rapidjson", [](benchmark::State& s, const Corpus* k) { RapidJsonCopy(s, *k); }, p);
        Add("destroy/" + c + "/ours", [](benchmark::State& s, const Corpus* k) { OursDestroy(s, *k); }, p);
        if (c == "event") {
            Add("json/event_alone/ours", [](benchmark::State& s, const Corpus* k) { OursJson(s, *k, true); }, p);
        }
    }
    benchmark::RegisterBenchmark("format/4_arguments/ours", OursFormat);
    benchmark::RegisterBenchmark("format/4_arguments/snprintf", Snprintf);
    benchmark::RegisterBenchmark("log_filtered/call/ours", OursLogFiltered)->Threads(1)->Threads(2)->UseRealTime();
#if defined(PZL_PEER_SPDLOG)
    benchmark::RegisterBenchmark("log_filtered/call/spdlog", SpdlogFiltered)->Threads(1)->Threads(2)->UseRealTime();
#endif
    benchmark::RegisterBenchmark("alloc32/new_delete/ours", OursAllocate)->Threads(1)->Threads(2)->UseRealTime();
    benchmark::RegisterBenchmark("alloc32/new_delete/malloc", Malloc)->Threads(1)->Threads(2)->UseRealTime();
    return 0;
}

const int registered = RegisterAll();

}  // namespace
}  // namespace Kesh::Bench
