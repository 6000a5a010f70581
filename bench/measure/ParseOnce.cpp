// Parses one body a given number of times, with our reader or the peer's, and prints the
// peak resident memory the parsing added: the figures callgrind (instruction counts) and
// memory comparisons need, without Google Benchmark's repetitions around them. The bodies
// are the benchmark's corpora, written to files first, so that the memory of generating
// them is not in the process that parses.
//
//   pzl-parse-once write <folder>          writes <corpus>.json, .msgpack, .block.yaml, .flow.yaml
//   pzl-parse-once <json|msgpack|yaml> <file> <ours|peer> [times]
//   pzl-parse-once copy <file.json> <ours|peer> [times]   copies (and drops) the read tree and
//                                                         prints the processor time per copy and
//                                                         the peak resident memory the copies added
//
// Under callgrind, --toggle-collect='CopyOnce*' counts the copies alone.
// The peer is RapidJSON's document for JSON, msgpack-c++'s unpack for MessagePack and a
// bare libyaml event loop for YAML.
#include <yaml.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>

#include <rapidjson/document.h>

#include "bench/Corpora.h"
#include "binding/ConversionResult.h"
#include "formats/JsonReader.h"
#include "formats/MessagePackReader.h"
#include "formats/YamlReader.h"

#if defined(PZL_PEER_MSGPACK)
#include <msgpack.hpp>
#endif

namespace {

using Kesh::Bench::Corpus;

// Kilobytes of a "Vm..." line of /proc/self/status.
long StatusKilobytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':') {
            return std::strtol(line.c_str() + length + 1, nullptr, 10);
        }
    }
    return -1;
}

// Forgets the peak so far (writing 5 to clear_refs resets VmHWM to the current size).
void ResetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

bool YamlEvents(const std::string& text) {
    yaml_parser_t parser;
    yaml_parser_initialize(&parser);
    yaml_parser_set_input_string(&parser, reinterpret_cast<const unsigned char*>(text.data()), text.size());
    bool ok = false;
    for (;;) {
        yaml_event_t event;
        if (!yaml_parser_parse(&parser, &event)) break;
        const yaml_event_type_t type = event.type;
        yaml_event_delete(&event);
        if (type == YAML_STREAM_END_EVENT) {
            ok = true;
            break;
        }
    }
    yaml_parser_delete(&parser);
    return ok;
}

// This thread's processor time.
double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// One copy of the tree and its drop, as the copy benchmark times them.
__attribute__((noinline)) bool CopyOnce(const Kesh::BindingProperty& ours, const rapidjson::Document* peer) {
    if (peer == nullptr) {
        const Kesh::BindingProperty copy(ours);
        return !copy.IsEmpty();
    }
    rapidjson::Document copy;
    copy.CopyFrom(*peer, copy.GetAllocator());
    return !copy.IsNull();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "write") == 0) {
        for (const Corpus& corpus : Kesh::Bench::Corpora()) {
            const std::string base = std::string(argv[2]) + "/" + corpus.name;
            std::ofstream(base + ".json", std::ios::binary) << corpus.json;
            std::ofstream(base + ".msgpack", std::ios::binary)
                .write(reinterpret_cast<const char*>(corpus.messagePack.data()),
                       static_cast<std::streamsize>(corpus.messagePack.size()));
            std::ofstream(base + ".block.yaml", std::ios::binary) << corpus.yamlBlock;
            std::ofstream(base + ".flow.yaml", std::ios::binary) << corpus.yamlFlow;
        }
        return 0;
    }
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s write <folder> | %s <json|msgpack|yaml> <file> <ours|peer> [times]\n", argv[0],
                     argv[0]);
        return 2;
    }
    const std::string format = argv[1];
    const bool ours = std::strcmp(argv[3], "ours") == 0;
    const long times = argc > 4 ? std::strtol(argv[4], nullptr, 10) : 1;
    std::ifstream file(argv[2], std::ios::binary);
    const std::string body((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (!file) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 2;
    }

    if (format == "copy") {
        const Kesh::ConversionResult tree = Kesh::ParseJson(body);
        rapidjson::Document document;
        document.Parse(body.c_str());
        bool copied = tree.Ok() && !document.HasParseError();
        ResetPeak();
        const long before = StatusKilobytes("VmRSS");
        const double start = ThreadSeconds();
        for (long i = 0; i < times; ++i) copied = CopyOnce(tree.Value(), ours ? nullptr : &document) && copied;
        const double seconds = ThreadSeconds() - start;
        const long peak = StatusKilobytes("VmHWM");
        std::printf("copy %s %s x%ld: %.0f ns each, peak resident +%ld KiB%s\n", argv[2], argv[3], times,
                    times > 0 ? seconds * 1e9 / static_cast<double>(times) : 0.0, peak - before,
                    copied ? "" : " (failed)");
        return copied ? 0 : 1;
    }

    ResetPeak();
    const long before = StatusKilobytes("VmRSS");
    bool ok = true;
    for (long i = 0; i < times; ++i) {
        if (format == "json") {
            if (ours) {
                ok = Kesh::ParseJson(body).Ok() && ok;
            } else {
                rapidjson::Document document;
                document.Parse(body.c_str());
                ok = !document.HasParseError() && ok;
            }
        } else if (format == "msgpack") {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(body.data());
            if (ours) {
                ok = Kesh::ReadMessagePack(bytes, body.size()).Ok() && ok;
            } else {
#if defined(PZL_PEER_MSGPACK)
                msgpack::object_handle handle = msgpack::unpack(body.data(), body.size());
#else
                std::fprintf(stderr, "built without msgpack-c++\n");
                return 2;
#endif
            }
        } else if (format == "yaml") {
            ok = (ours ? Kesh::ReadYaml(body).Ok() : YamlEvents(body)) && ok;
        } else {
            std::fprintf(stderr, "no format %s\n", format.c_str());
            return 2;
        }
    }
    const long peak = StatusKilobytes("VmHWM");
    std::printf("%s %s %s: peak resident +%ld KiB%s\n", format.c_str(), argv[2], argv[3], peak - before,
                ok ? "" : " (failed)");
    return ok ? 0 : 1;
}
