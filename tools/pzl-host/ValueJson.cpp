#include "tools/pzl-host/ValueJson.h"

#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cmath>

namespace Kesh::StandIn {
namespace {

constexpr int kMaxDepth = 200;

template <typename Writer>
void Write(Writer& writer, const BindingProperty& value, int depth) {
    if (depth > kMaxDepth) {
        writer.String("...");
        return;
    }
    switch (value.Kind()) {
    case PropertyKind::Empty: writer.Null(); return;
    case PropertyKind::Bool: writer.Bool(value.ToBool()); return;
    case PropertyKind::Signed: writer.Int64(value.GetSigned()); return;
    case PropertyKind::Unsigned: writer.Uint64(value.GetUnsigned()); return;
    case PropertyKind::Float: {
        const double number = value.GetFloat();
        // JSON has no NaN or infinity: they travel as texts.
        if (std::isfinite(number)) {
            writer.Double(number);
        } else {
            writer.String(std::isnan(number) ? "NaN" : (number > 0 ? "Infinity" : "-Infinity"));
        }
        return;
    }
    case PropertyKind::String: {
        const std::string_view text = value.GetStringView();
        writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
        return;
    }
    case PropertyKind::Blob:
        writer.StartObject();
        writer.Key("blob");
        writer.Uint64(value.GetBlob().size());
        writer.EndObject();
        return;
    case PropertyKind::Enum: writer.Int(value.GetEnumNumber()); return;
    case PropertyKind::Collection:
        writer.StartArray();
        for (const BindingProperty& element : value.Elements()) Write(writer, element, depth + 1);
        writer.EndArray();
        return;
    case PropertyKind::Structure:
        writer.StartObject();
        for (const auto& member : value.Members()) {
            const std::string_view key = member.KeyView();
            writer.Key(key.data(), static_cast<rapidjson::SizeType>(key.size()));
            Write(writer, member.Value(), depth + 1);
        }
        writer.EndObject();
        return;
    }
    writer.Null();
}

bool IsNumber(PropertyKind kind) {
    return kind == PropertyKind::Signed || kind == PropertyKind::Unsigned || kind == PropertyKind::Float;
}

}  // namespace

std::string ToJson(const BindingProperty& value, int indent) {
    rapidjson::StringBuffer buffer;
    if (indent > 0) {
        rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(buffer);
        writer.SetIndent(' ', static_cast<unsigned>(indent));
        Write(writer, value, 0);
    } else {
        rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
        Write(writer, value, 0);
    }
    return std::string(buffer.GetString(), buffer.GetSize());
}

bool ValuesEqual(const BindingProperty& left, const BindingProperty& right) {
    const PropertyKind a = left.Kind();
    const PropertyKind b = right.Kind();
    if (IsNumber(a) && IsNumber(b)) {
        if (a == PropertyKind::Float || b == PropertyKind::Float) return left.ToDouble() == right.ToDouble();
        if (a == b) return a == PropertyKind::Signed ? left.GetSigned() == right.GetSigned()
                                                     : left.GetUnsigned() == right.GetUnsigned();
        const std::int64_t signedValue = a == PropertyKind::Signed ? left.GetSigned() : right.GetSigned();
        const std::uint64_t unsignedValue = a == PropertyKind::Unsigned ? left.GetUnsigned() : right.GetUnsigned();
        return signedValue >= 0 && static_cast<std::uint64_t>(signedValue) == unsignedValue;
    }
    if (a != b) return false;
    switch (a) {
    case PropertyKind::Empty: return true;
    case PropertyKind::Bool: return left.ToBool() == right.ToBool();
    case PropertyKind::String: return left.GetStringView() == right.GetStringView();
    case PropertyKind::Blob: return left.GetBlob() == right.GetBlob();
    case PropertyKind::Enum: return left.GetEnumNumber() == right.GetEnumNumber();
    case PropertyKind::Collection: {
        if (left.Size() != right.Size()) return false;
        for (std::size_t i = 0; i < left.Size(); ++i) {
            if (!ValuesEqual(left.GetElement(i), right.GetElement(i))) return false;
        }
        return true;
    }
    case PropertyKind::Structure: {
        if (left.Size() != right.Size()) return false;
        for (const auto& member : left.Members()) {
            if (!right.HasMember(member.KeyView()) || !ValuesEqual(member.Value(), right.GetMember(member.KeyView())))
                return false;
        }
        return true;
    }
    default: return false;
    }
}

bool MatchesPattern(std::string_view text, std::string_view pattern) {
    // Greedy glob with one backtrack point, linear in practice.
    std::size_t t = 0, p = 0, star = std::string_view::npos, mark = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace Kesh::StandIn
