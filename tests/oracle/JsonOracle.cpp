// The JSON reader as it was before the builders collected members and indexed texts per parse: the
// oracle that the differential tests and the builders fuzz target compare the product's
// readers with. Compiled into tests and fuzz targets only, never into the library.
#include <cstddef>
#include <cstdint>
#include <vector>
#include <string_view>
#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>

#include "tests/oracle/BuilderOracles.h"
#include "binding/BindingProperty.h"
#include "formats/NestingLimit.h"
#include "formats/JsonAllocator.h"
#include "log/FormatPositional.h"

namespace Kesh::Oracle {

// The event handler behind the JSON reader: writes each value straight into a
// BindingProperty tree while the text is read, with no document in between. It keeps
// only pointers to the containers that are open, innermost last; an open container is
// never written to while a child is open, so its address stays valid.
//
// null writes nothing, so a repeated key keeps the earlier value; a repeated object or
// array key merges into the earlier container.
class JsonValueBuilder {
public:
    explicit JsonValueBuilder(BindingProperty& root) : target_(&root) {}

    // True once an object or array was refused for going deeper than kMaxNestingDepth.
    bool TooDeep() const noexcept { return tooDeep_; }

    bool Null();
    bool Bool(bool value);
    bool Int(int value);
    bool Uint(unsigned value);
    bool Int64(std::int64_t value);
    bool Uint64(std::uint64_t value);
    bool Double(double value);
    bool RawNumber(const char* text, unsigned length, bool copy);
    bool String(const char* text, unsigned length, bool copy);
    bool StartObject();
    bool Key(const char* text, unsigned length, bool copy);
    bool EndObject(unsigned memberCount);
    bool StartArray();
    bool EndArray(unsigned elementCount);

private:
    // The value the next event writes: a new element when an array is open, otherwise
    // the member that the last key chose (or the root).
    BindingProperty& NextTarget();
    bool Open(BindingProperty& container);
    void Close();

    // The containers of the first levels are kept inside the builder: most bodies never
    // need the heap for them.
    static constexpr std::size_t kInlineDepth = 32;

    BindingProperty* target_;
    BindingProperty* top_ = nullptr;  // the innermost open container, or null
    std::size_t depth_ = 0;
    BindingProperty* inlineOpen_[kInlineDepth];
    std::vector<BindingProperty*> deeperOpen_;
    bool tooDeep_ = false;
};

}  // namespace Kesh::Oracle

namespace Kesh::Oracle {

BindingProperty& JsonValueBuilder::NextTarget() {
    if (top_ != nullptr && top_->Kind() == PropertyKind::Collection) target_ = &top_->Append();
    return *target_;
}

bool JsonValueBuilder::Open(BindingProperty& container) {
    if (depth_ >= kMaxNestingDepth) {
        tooDeep_ = true;
        return false;
    }
    if (depth_ < kInlineDepth) {
        inlineOpen_[depth_] = &container;
    } else {
        deeperOpen_.push_back(&container);
    }
    ++depth_;
    top_ = &container;
    return true;
}

void JsonValueBuilder::Close() {
    --depth_;
    if (depth_ >= kInlineDepth) deeperOpen_.pop_back();
    if (depth_ == 0) {
        top_ = nullptr;
    } else {
        top_ = depth_ <= kInlineDepth ? inlineOpen_[depth_ - 1] : deeperOpen_.back();
    }
}

bool JsonValueBuilder::Null() {
    // The element of an array still counts; a member keeps what it holds.
    NextTarget();
    return true;
}

bool JsonValueBuilder::Bool(bool value) {
    NextTarget() = value;
    return true;
}

bool JsonValueBuilder::Int(int value) {
    NextTarget().AssignSigned(value);
    return true;
}

bool JsonValueBuilder::Uint(unsigned value) {
    NextTarget().AssignUnsigned(value);
    return true;
}

bool JsonValueBuilder::Int64(std::int64_t value) {
    NextTarget().AssignSigned(value);
    return true;
}

bool JsonValueBuilder::Uint64(std::uint64_t value) {
    NextTarget().AssignUnsigned(value);
    return true;
}

bool JsonValueBuilder::Double(double value) {
    NextTarget() = value;
    return true;
}

bool JsonValueBuilder::RawNumber(const char* text, unsigned length, bool /*copy*/) {
    // Only reached with the raw-number flag, which the reader does not use.
    NextTarget().AssignString(std::string_view(text, length));
    return true;
}

bool JsonValueBuilder::String(const char* text, unsigned length, bool /*copy*/) {
    NextTarget().AssignString(std::string_view(text, length));
    return true;
}

bool JsonValueBuilder::StartObject() {
    BindingProperty& target = NextTarget();
    target.MakeStructure();
    return Open(target);
}

bool JsonValueBuilder::Key(const char* text, unsigned length, bool /*copy*/) {
    target_ = &top_->Member(std::string_view(text, length));
    return true;
}

bool JsonValueBuilder::EndObject(unsigned /*memberCount*/) {
    Close();
    return true;
}

bool JsonValueBuilder::StartArray() {
    BindingProperty& target = NextTarget();
    target.MakeCollection();
    return Open(target);
}

bool JsonValueBuilder::EndArray(unsigned /*elementCount*/) {
    Close();
    return true;
}

}  // namespace Kesh::Oracle

namespace Kesh::Oracle {
namespace {

using JsonTextReader = rapidjson::GenericReader<rapidjson::UTF8<>, rapidjson::UTF8<>, JsonAllocator>;

// Iterative parsing keeps the call stack flat however deep the text nests; it accepts
// exactly what the default flags accept.
constexpr unsigned kParseFlags = rapidjson::kParseIterativeFlag;

constexpr const char* kTooDeepText = "Nesting deeper than 100000 levels.";
static_assert(kMaxNestingDepth == 100000, "kTooDeepText names the bound");

bool IsJsonWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

ConversionResult ParseJson(const char* text) {
    ConversionResult result;
    if (text == nullptr) return result;

    const char* first = text;
    while (IsJsonWhiteSpace(*first)) ++first;
    if (*first == '\0') return result;

    JsonValueBuilder builder(result.Value());
    JsonTextReader reader;
    rapidjson::StringStream stream(text);
    const rapidjson::ParseResult parsed = reader.Parse<kParseFlags>(stream, builder);
    if (parsed.IsError()) {
        // The iterative reader reports any bad first token as an empty document; the
        // text is not empty (that was handled above), so it is an invalid value.
        const rapidjson::ParseErrorCode code = parsed.Code() == rapidjson::kParseErrorDocumentEmpty
                                                   ? rapidjson::kParseErrorValueInvalid
                                                   : parsed.Code();
        const char* reason = builder.TooDeep() ? kTooDeepText : rapidjson::GetParseError_En(code);
        result.SetError(FormatPositionalString("Error: %1 at offset %2.",
                                               {reason, static_cast<std::uint64_t>(parsed.Offset())}));
    }
    return result;
}


}  // namespace Kesh::Oracle
