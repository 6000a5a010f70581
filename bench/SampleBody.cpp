#include "bench/SampleBody.h"

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "bench/BodyWriter.h"
#include "binding/ConversionResult.h"
#include "formats/JsonReader.h"

namespace Kesh::Bench {
namespace {

std::size_t CountValues(const BindingProperty& root) {
    std::size_t count = 0;
    std::vector<const BindingProperty*> pending{&root};
    while (!pending.empty()) {
        const BindingProperty* value = pending.back();
        pending.pop_back();
        ++count;
        for (const BindingProperty& element : value->Elements()) {
            pending.push_back(&element);
        }
        for (const MemberNode& member : value->Members()) {
            pending.push_back(&member.Value());
        }
    }
    return count;
}

SampleBody Encode(const BindingProperty& tree) {
    SampleBody body;
    body.json = WriteJson(tree);
    body.messagePack = WriteMessagePack(tree);
    body.yaml = WriteYaml(tree);
    body.valueCount = CountValues(tree);
    return body;
}

std::string Numbered(const char* prefix, unsigned number) {
    char text[64];
    std::snprintf(text, sizeof text, "%s%u", prefix, number);
    return text;
}

// A 36-character identifier like the ones hosts hand out for accounts and items.
std::string Identifier(unsigned seed) {
    char text[40];
    const unsigned a = seed * 2654435761u;
    const unsigned b = a ^ (seed << 7);
    std::snprintf(text, sizeof text, "%08x-%04x-%04x-%04x-%08x%04x", a, b & 0xFFFF, (a >> 16) & 0xFFFF,
                  (b >> 16) & 0xFFFF, b, a & 0xFFFF);
    return text;
}

BindingProperty MakeEntry(unsigned i) {
    BindingProperty entry;
    entry["id"] = static_cast<std::uint64_t>(4000000000ull + i * 7919u);
    entry["accountId"] = Identifier(i + 1);
    entry["displayName"] = Numbered("Player #", i);
    entry["note"] = i % 5 == 0 ? std::string("likes \"quoted\" words and caf\xc3\xa9s") : Numbered("note ", i % 17);
    entry["level"] = static_cast<std::uint64_t>(30 + i % 470);
    entry["rating"] = 1000.125 + i * 3.25;
    entry["trend"] = -static_cast<std::int64_t>(i % 41) * 3;
    entry["online"] = i % 3 == 0;
    entry["available"] = i % 4 != 1;
    BindingProperty& tags = entry["tags"];
    tags.MakeCollection();
    for (unsigned t = 0; t < 1 + i % 4; ++t) {
        tags.Append() = Numbered("tag-", (i + t) % 23);
    }
    BindingProperty& position = entry["position"];
    position["x"] = (i % 100) * 0.5 + 0.25;
    position["y"] = -0.125 - (i % 37) * 1.25;
    position["region"] = Numbered("region-", i % 9);
    BindingProperty& recent = entry["recentScores"];
    for (unsigned r = 0; r < 6; ++r) {
        recent.Append() = static_cast<std::uint64_t>((i * 31 + r * 17) % 1000);
    }
    return entry;
}

BindingProperty MakeLargeTree() {
    BindingProperty root;
    BindingProperty& entries = root["entries"];
    entries.MakeCollection();
    constexpr unsigned kEntries = 320;
    entries.Reserve(kEntries);
    for (unsigned i = 0; i < kEntries; ++i) {
        entries.Append() = MakeEntry(i);
    }
    root["count"] = static_cast<std::uint64_t>(kEntries);
    root["nextPage"] = "/list/v2/entries?page=2&size=320";
    root["complete"] = false;
    return root;
}

BindingProperty MakeEventTree() {
    BindingProperty root;
    root["uri"] = "/session/v1/state";
    root["eventType"] = "Update";
    BindingProperty& data = root["data"];
    data["phase"] = "InProgress";
    data["gameId"] = static_cast<std::uint64_t>(6124359871ull);
    data["elapsedSeconds"] = 812.5;
    BindingProperty& client = data["client"];
    client["running"] = true;
    client["visible"] = false;
    client["serverAddress"] = "192.0.2.10";
    client["serverPort"] = static_cast<std::uint64_t>(7100);
    BindingProperty& map = data["map"];
    map["id"] = static_cast<std::uint64_t>(11);
    map["name"] = "Valley";
    map["mode"] = "CLASSIC";
    BindingProperty& queue = data["queue"];
    queue["id"] = static_cast<std::uint64_t>(420);
    queue["ranked"] = true;
    queue["description"] = "Ranked solo queue";
    BindingProperty& players = data["players"];
    for (unsigned i = 0; i < 5; ++i) {
        BindingProperty& player = players.Append();
        player["accountId"] = Identifier(1000 + i);
        player["team"] = static_cast<std::uint64_t>(100 + (i % 2) * 100);
        player["slot"] = static_cast<std::int64_t>(i) - 2;
        player["ready"] = i != 3;
    }
    return root;
}

}  // namespace

BindingProperty SampleBody::Tree() const {
    ConversionResult result = ParseJson(json);
    return std::move(result.Value());
}

const SampleBody& LargeBody() {
    static const SampleBody body = Encode(MakeLargeTree());
    return body;
}

const SampleBody& EventBody() {
    static const SampleBody body = Encode(MakeEventTree());
    return body;
}

}  // namespace Kesh::Bench
