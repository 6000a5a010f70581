#include "SampleApiPlugin.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "SampleTypes.h"

namespace Kesh::Client::SampleApi::Api {
namespace {

constexpr std::uint32_t kMaxBytes = 16u * 1024 * 1024;

SampleItem GetItem(std::int32_t id, bool verbose) { return SampleItem{id, "item-" + std::to_string(id), verbose}; }

SampleFile PutFile(const std::string& path, const BindingProperty& content) { return SampleFile{path, content}; }

BindingProperty Echo(const BindingProperty& value) { return value; }

double Sum(const std::vector<std::int64_t>& values, std::optional<double> scale) {
    double sum = 0;
    for (const std::int64_t value : values) sum += static_cast<double>(value);
    return sum * scale.value_or(1.0);
}

SampleCaller Whoami(const RequestContext& context, const std::string& token) {
    return SampleCaller{context.clientId, HttpMethodName(context.method), context.url, token,
                        std::string(context.Header("user-agent"))};
}

SampleColor Color(const std::string& name) {
    if (name == "red") return SampleColor::Red;
    if (name == "green") return SampleColor::Green;
    if (name == "blue") return SampleColor::Blue;
    return static_cast<SampleColor>(99);  // a number without an enumerator
}

ApiResult<BindingProperty> Teapot() { return ApiError{"The sample is a teapot.", 418}; }

// size bytes, byte i being i mod 251, made piece by piece as the host reads them.
class PatternStream : public ReplyStream {
public:
    explicit PatternStream(std::uint32_t size) : size_(size) {}

    bool Read(char* buffer, std::uint32_t& length, std::uint8_t& moreData) override {
        const std::uint32_t count = std::min(length, size_ - position_);
        for (std::uint32_t i = 0; i < count; ++i) {
            buffer[i] = static_cast<char>((position_ + i) % 251);
        }
        position_ += count;
        length = count;
        moreData = position_ < size_ ? 1 : 0;
        return true;
    }
    std::uint32_t Size() const override { return size_; }

private:
    std::uint32_t size_;
    std::uint32_t position_ = 0;
};

ApiResult<StreamReply> Bytes(std::uint32_t size) {
    if (size > kMaxBytes) return ApiError{"Too many bytes requested.", 400};
    return StreamReply{std::make_unique<PatternStream>(size), "application/octet-stream", 200};
}

}  // namespace

void SampleApiPlugin::RegisterTypes() {
    TypeRegistry& registry = Registry();
    const std::string& prefix = TypeNamePrefix();

    EnumDeclaration<SampleColor>(registry, prefix + "SampleColor")
        .Tags(TypeTags())
        .Value("Red", SampleColor::Red)
        .Value("Green", SampleColor::Green)
        .Value("Blue", SampleColor::Blue);
    StructDeclaration<SampleItem>(registry, prefix + "SampleItem")
        .Tags(TypeTags())
        .Field("id", &SampleItem::id)
        .Field("name", &SampleItem::name)
        .Field("verbose", &SampleItem::verbose);
    StructDeclaration<SampleFile>(registry, prefix + "SampleFile")
        .Tags(TypeTags())
        .Field("path", &SampleFile::path)
        .Field("content", &SampleFile::content);
    StructDeclaration<SampleCaller>(registry, prefix + "SampleCaller")
        .Tags(TypeTags())
        .Field("clientId", &SampleCaller::clientId)
        .Field("method", &SampleCaller::method)
        .Field("url", &SampleCaller::url)
        .Field("token", &SampleCaller::token)
        .Field("userAgent", &SampleCaller::userAgent);

    ExposeFunction(registry,
                   {.name = "GetItem", .method = HttpMethod::Get, .url = "/sample/v1/items/{id}",
                    .description = "One item by its number.", .tags = TypeTags()},
                   &GetItem, {InPath("id", "The item's number."), InQuery("verbose", "Whether to add details.")});
    ExposeFunction(registry,
                   {.name = "PutFile", .method = HttpMethod::Put, .url = "/sample/v1/files/{+path}",
                    .description = "Stores a file and answers with what it received.", .tags = TypeTags()},
                   &PutFile, {InPath("path", "Where the file goes, slashes included."), InBody("content")});
    ExposeFunction(registry,
                   {.name = "Echo", .description = "Answers with its argument unchanged.", .tags = TypeTags()},
                   &Echo, {Anywhere("value")});
    ExposeFunction(registry,
                   {.name = "Sum", .method = HttpMethod::Post, .url = "/sample/v1/sum",
                    .description = "The sum of the values, times scale.", .tags = TypeTags()},
                   &Sum, {Anywhere("values"), InQuery("scale", "1 when left out.").Optional()});
    ExposeFunction(registry,
                   {.name = "Whoami", .method = HttpMethod::Get, .url = "/sample/v1/whoami",
                    .description = "The caller as the request shows it.", .tags = TypeTags()},
                   &Whoami, {InHeader("token").Optional()});
    ExposeFunction(registry,
                   {.name = "Color", .method = HttpMethod::Get, .url = "/sample/v1/colors/{name}",
                    .description = "The color of a name; unknown names give 99.", .tags = TypeTags()},
                   &Color, {InPath("name")});
    ExposeFunction(registry,
                   {.name = "Teapot", .method = HttpMethod::Get, .url = "/sample/v1/teapot",
                    .description = "Always fails with status 418.", .tags = TypeTags()},
                   &Teapot);
    ExposeFunction(registry,
                   {.name = "Bytes", .method = HttpMethod::Get, .url = "/sample/v1/bytes",
                    .description = "A streamed body of size bytes (at most 16 MiB).", .tags = TypeTags()},
                   &Bytes, {InQuery("size")});
}

}  // namespace Kesh::Client::SampleApi::Api
