#include "bench/Corpora.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/BodyWriter.h"
#include "bench/SampleBody.h"
#include "binding/BindingProperty.h"

namespace Kesh::Bench {
namespace {

// A small fixed-seed generator: the corpora must be the same bytes in every run.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }
    unsigned Below(unsigned bound) { return static_cast<unsigned>(Next() % bound); }
    bool OneIn(unsigned odds) { return Below(odds) == 0; }

private:
    std::uint64_t state_;
};

std::size_t CountValues(const BindingProperty& root) {
    std::size_t count = 0;
    std::vector<const BindingProperty*> pending{&root};
    while (!pending.empty()) {
        const BindingProperty* value = pending.back();
        pending.pop_back();
        ++count;
        for (const BindingProperty& element : value->Elements()) pending.push_back(&element);
        for (const MemberNode& member : value->Members()) pending.push_back(&member.Value());
    }
    return count;
}

Corpus Encode(const char* name, const BindingProperty& tree) {
    Corpus corpus;
    corpus.name = name;
    corpus.json = WriteJson(tree);
    corpus.messagePack = WriteMessagePack(tree);
    corpus.yamlBlock = WriteYaml(tree);
    corpus.yamlFlow = WriteYamlFlow(tree);
    corpus.valueCount = CountValues(tree);
    return corpus;
}

std::string Decimal(std::uint64_t number) { return std::to_string(number); }

// Words of several scripts, two to four bytes a character in UTF-8, some outside the
// basic plane.
constexpr const char* kWords[] = {
    "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e",           // three CJK characters
    "\xe3\x81\x93\xe3\x82\x93\xe3\x81\xab\xe3\x81\xa1\xe3\x81\xaf",  // five kana
    "\xe3\x83\x86\xe3\x82\xb9\xe3\x83\x88",
    "\xe6\x9d\xb1\xe4\xba\xac",
    "\xf0\x9f\x98\x80",                                // an emoji
    "\xf0\x9f\x8e\xae\xf0\x9f\x94\xa5",
    "caf\xc3\xa9",
    "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82",  // Cyrillic
    "\xc3\xbc" "ber",
    "match",
    "ranked",
    "tonight",
    "#gg",
    "\"quoted\"",
    "back\\slash",
    "\xe4\xb8\xad\xe6\x96\x87",
};

std::string Sentence(Random& random, unsigned minWords, unsigned spread) {
    std::string text;
    const unsigned words = minWords + random.Below(spread);
    for (unsigned i = 0; i < words; ++i) {
        if (i != 0) text += ' ';
        text += kWords[random.Below(sizeof kWords / sizeof kWords[0])];
    }
    return text;
}

std::string Hex(Random& random, unsigned digits) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (unsigned i = 0; i < digits; ++i) text += kDigits[random.Below(16)];
    return text;
}

void AddUser(BindingProperty& user, Random& random) {
    const std::uint64_t id = 1000000000ull + random.Below(1000000000u);
    user["id"] = id;
    user["id_str"] = Decimal(id);
    user["name"] = Sentence(random, 1, 2);
    user["screen_name"] = "user_" + Hex(random, 8);
    user["location"] = Sentence(random, 1, 2);
    user["description"] = Sentence(random, 6, 10);
    user["url"].Clear();
    user["entities"]["description"]["urls"].MakeCollection();
    user["protected"] = false;
    user["followers_count"] = static_cast<std::uint64_t>(random.Below(200000));
    user["friends_count"] = static_cast<std::uint64_t>(random.Below(5000));
    user["listed_count"] = static_cast<std::uint64_t>(random.Below(300));
    user["created_at"] = "Sun Jul 29 11:47:53 +0000 2012";
    user["favourites_count"] = static_cast<std::uint64_t>(random.Below(40000));
    user["utc_offset"].Clear();
    user["time_zone"].Clear();
    user["geo_enabled"] = random.OneIn(3);
    user["verified"] = random.OneIn(20);
    user["statuses_count"] = static_cast<std::uint64_t>(random.Below(90000));
    user["lang"] = "ja";
    user["profile_background_color"] = "C0DEED";
    user["profile_image_url"] = "http://pbs.example.net/profile_images/" + Hex(random, 18) + "/normal.jpeg";
    user["profile_image_url_https"] = "https://pbs.example.net/profile_images/" + Hex(random, 18) + "/normal.jpeg";
    user["profile_link_color"] = "0084B4";
    user["profile_sidebar_border_color"] = "C0DEED";
    user["profile_text_color"] = "333333";
    user["profile_use_background_image"] = true;
    user["default_profile"] = random.OneIn(2);
    user["default_profile_image"] = false;
    user["following"] = false;
    user["follow_request_sent"] = false;
    user["notifications"] = false;
}

BindingProperty MakeTwitter() {
    Random random(0x7717u);
    BindingProperty root;
    BindingProperty& statuses = root["statuses"];
    statuses.MakeCollection();
    constexpr unsigned kStatuses = 190;
    statuses.Reserve(kStatuses);
    for (unsigned i = 0; i < kStatuses; ++i) {
        BindingProperty& status = statuses.Append();
        const std::uint64_t id = 505874924095815681ull + random.Below(1u << 30);
        status["created_at"] = "Sun Aug 31 00:29:15 +0000 2014";
        status["id"] = id;
        status["id_str"] = Decimal(id);
        status["text"] = Sentence(random, 8, 16);
        status["source"] = "<a href=\"http://example.net/download/phone\" rel=\"nofollow\">Phone client</a>";
        status["truncated"] = false;
        status["in_reply_to_status_id"].Clear();
        status["in_reply_to_screen_name"].Clear();
        AddUser(status["user"], random);
        status["geo"].Clear();
        status["coordinates"].Clear();
        status["place"].Clear();
        status["contributors"].Clear();
        status["retweet_count"] = static_cast<std::uint64_t>(random.Below(1000));
        status["favorite_count"] = static_cast<std::uint64_t>(random.Below(1000));
        BindingProperty& entities = status["entities"];
        BindingProperty& hashtags = entities["hashtags"];
        hashtags.MakeCollection();
        for (unsigned h = random.Below(3); h > 0; --h) {
            BindingProperty& tag = hashtags.Append();
            tag["text"] = Sentence(random, 1, 1);
            tag["indices"].Append() = static_cast<std::uint64_t>(h * 10);
            tag["indices"].Append() = static_cast<std::uint64_t>(h * 10 + 7);
        }
        entities["symbols"].MakeCollection();
        entities["urls"].MakeCollection();
        BindingProperty& mentions = entities["user_mentions"];
        mentions.MakeCollection();
        for (unsigned m = random.Below(3); m > 0; --m) {
            BindingProperty& mention = mentions.Append();
            const std::uint64_t user = 100000000ull + random.Below(900000000u);
            mention["screen_name"] = "user_" + Hex(random, 8);
            mention["name"] = Sentence(random, 1, 2);
            mention["id"] = user;
            mention["id_str"] = Decimal(user);
            mention["indices"].Append() = static_cast<std::uint64_t>(3);
            mention["indices"].Append() = static_cast<std::uint64_t>(15);
        }
        status["favorited"] = false;
        status["retweeted"] = false;
        status["lang"] = "ja";
        status["metadata"]["result_type"] = "recent";
        status["metadata"]["iso_language_code"] = "ja";
    }
    BindingProperty& metadata = root["search_metadata"];
    metadata["completed_in"] = 0.087;
    metadata["max_id"] = static_cast<std::uint64_t>(505874924095815681ull);
    metadata["query"] = "%E4%B8%80";
    metadata["count"] = static_cast<std::uint64_t>(kStatuses);
    return root;
}

BindingProperty MakeCitm() {
    Random random(0xC17Au);
    BindingProperty root;
    std::vector<std::uint64_t> areas;
    BindingProperty& areaNames = root["areaNames"];
    for (unsigned i = 0; i < 17; ++i) {
        areas.push_back(205705993ull + i * 6);
        areaNames[Decimal(areas.back())] = "Arri\xc3\xa8re-sc\xc3\xa8ne " + std::to_string(i);
    }
    root["audienceSubCategoryNames"]["337100890"] = "Abonn\xc3\xa9";
    root["blockNames"].MakeStructure();
    std::vector<std::uint64_t> seatCategories;
    BindingProperty& seatCategoryNames = root["seatCategoryNames"];
    for (unsigned i = 0; i < 64; ++i) {
        seatCategories.push_back(338937235ull + i * 60);
        seatCategoryNames[Decimal(seatCategories.back())] = "Cat\xc3\xa9gorie " + std::to_string(i + 1);
    }
    BindingProperty& events = root["events"];
    std::vector<std::uint64_t> eventIds;
    for (unsigned i = 0; i < 184; ++i) {
        const std::uint64_t id = 138586341ull + i * 4;
        eventIds.push_back(id);
        BindingProperty& event = events[Decimal(id)];
        event["description"].Clear();
        event["id"] = id;
        if (random.OneIn(3)) {
            event["logo"] = "/images/UE0AAAAACEKo6QAAAAZDSVRN";
        } else {
            event["logo"].Clear();
        }
        event["name"] = "Concert " + std::to_string(i);
        BindingProperty& subTopics = event["subTopicIds"];
        for (unsigned s = 0; s < 2 + random.Below(4); ++s) {
            subTopics.Append() = static_cast<std::uint64_t>(337184262ull + random.Below(30));
        }
        event["subjectCode"].Clear();
        event["subtitle"].Clear();
        BindingProperty& topics = event["topicIds"];
        for (unsigned t = 0; t < 1 + random.Below(3); ++t) {
            topics.Append() = static_cast<std::uint64_t>(107888604ull + random.Below(20));
        }
    }
    BindingProperty& performances = root["performances"];
    performances.MakeCollection();
    constexpr unsigned kPerformances = 620;
    performances.Reserve(kPerformances);
    for (unsigned i = 0; i < kPerformances; ++i) {
        BindingProperty& performance = performances.Append();
        performance["eventId"] = eventIds[random.Below(static_cast<unsigned>(eventIds.size()))];
        performance["id"] = static_cast<std::uint64_t>(339887544ull + i * 3);
        performance["logo"].Clear();
        performance["name"].Clear();
        const unsigned categories = 2 + random.Below(4);
        BindingProperty& prices = performance["prices"];
        BindingProperty& seats = performance["seatCategories"];
        for (unsigned c = 0; c < categories; ++c) {
            const std::uint64_t category = seatCategories[random.Below(64)];
            BindingProperty& price = prices.Append();
            price["amount"] = static_cast<std::uint64_t>(9000 + random.Below(200) * 250);
            price["audienceSubCategoryId"] = static_cast<std::uint64_t>(337100890);
            price["seatCategoryId"] = category;
            BindingProperty& seat = seats.Append();
            BindingProperty& seatAreas = seat["areas"];
            for (unsigned a = 0; a < 3 + random.Below(8); ++a) {
                BindingProperty& area = seatAreas.Append();
                area["areaId"] = areas[random.Below(17)];
                area["blockIds"].MakeCollection();
            }
            seat["seatCategoryId"] = category;
        }
        performance["seatMapImage"].Clear();
        performance["start"] = static_cast<std::uint64_t>(1372701600000ull + i * 86400000ull);
        performance["venueCode"] = "PLEYEL_PLEYEL";
    }
    root["subTopicNames"]["337184262"] = "Musique amplifi\xc3\xa9" "e";
    root["subjectNames"].MakeStructure();
    root["topicNames"]["107888604"] = "Activit\xc3\xa9";
    BindingProperty& topicSubTopics = root["topicSubTopics"];
    for (unsigned t = 0; t < 20; ++t) {
        BindingProperty& list = topicSubTopics[Decimal(107888604ull + t)];
        for (unsigned s = 0; s < 3; ++s) list.Append() = static_cast<std::uint64_t>(337184262ull + t + s);
    }
    root["venueNames"]["PLEYEL_PLEYEL"] = "Salle Pleyel";
    return root;
}

// Coordinates with 15 significant digits, as a projection writes them.
double Coordinate(double value) { return std::round(value * 1e13) / 1e13; }

BindingProperty MakeCanada() {
    Random random(0xCA7Au);
    BindingProperty root;
    root["type"] = "FeatureCollection";
    BindingProperty& feature = root["features"].Append();
    feature["type"] = "Feature";
    feature["properties"]["name"] = "Canada";
    BindingProperty& geometry = feature["geometry"];
    geometry["type"] = "Polygon";
    BindingProperty& rings = geometry["coordinates"];
    rings.MakeCollection();
    constexpr unsigned kRings = 480;
    rings.Reserve(kRings);
    for (unsigned r = 0; r < kRings; ++r) {
        BindingProperty& ring = rings.Append();
        ring.MakeCollection();
        double x = -141.0 + random.Below(8900) / 100.0;
        double y = 41.0 + random.Below(4200) / 100.0;
        const unsigned points = 20 + random.Below(110);
        ring.Reserve(points);
        for (unsigned p = 0; p < points; ++p) {
            x += (static_cast<double>(random.Below(20001)) - 10000.0) / 1.37e6;
            y += (static_cast<double>(random.Below(20001)) - 10000.0) / 1.91e6;
            BindingProperty& point = ring.Append();
            point.Append() = Coordinate(x);
            point.Append() = Coordinate(y);
        }
    }
    return root;
}

}  // namespace

const std::vector<Corpus>& Corpora() {
    static const std::vector<Corpus> corpora = [] {
        std::vector<Corpus> all;
        all.push_back(Encode("twitter", MakeTwitter()));
        all.push_back(Encode("citm", MakeCitm()));
        all.push_back(Encode("canada", MakeCanada()));
        all.push_back(Encode("event", EventBody().Tree()));
        return all;
    }();
    return corpora;
}

}  // namespace Kesh::Bench
