#include "formats/MessagePackReader.h"

#include <bit>
#include <cstring>
#include <string_view>

#include "binding/InternTable.h"
#include "binding/MemberCollector.h"
#include "binding/PropertyContext.h"
#include "binding/TreeBuilding.h"
#include "formats/MessagePackInput.h"
#include "formats/NestingLimit.h"

namespace Kesh {
namespace {

constexpr const char* kInvalidData = "Invalid MessagePack data at position %1.";
constexpr const char* kInvalidKey = "Invalid MessagePack data at position %1. Map keys must be strings.";
constexpr const char* kTooDeep = "Invalid MessagePack data at position %1. Nesting deeper than 100000 levels.";
static_assert(kMaxNestingDepth == 100000, "kTooDeep names the bound");

// Guides: where a value read before shows what comes next. Bodies repeat one shape of
// structure element after element, so each structure, array and text is first compared
// with the one in the same place of the element before (or of that element's own guide).
// A key that matches its guide's is taken over without hashing or searching; it is new to
// its structure and sorts after its keys so far, since those matched the guide's keys
// before it, one for one (MemberTree::NextInOrder steps through them). A text that
// matches its guide's takes the same entry.

// One open container that still expects items: a Collection's elements, or a
// Structure's entries (each a key and its value, read together).
struct Frame {
    BindingProperty* target;
    // Counts are at most 32 bits wide in MessagePack; a frame fits in 32 bytes.
    std::uint32_t remaining;
    // A merged Collection's next element, overwritten if there; an appending one's
    // count, which tells which element is read from what remains.
    std::uint32_t next;
    // A Structure's guide to its next key (see Guides above), null once a key
    // differed from it; a Collection's guide, the earlier Collection whose first element
    // guides its first (each other element is guided by the one before it).
    union {
        const MemberNode* member;
        const BindingProperty* collection;
    } guide;
    bool structure;
    // A Collection made by this header: its elements are always appended.
    bool appending;
    bool guided;  // a Collection whose elements are guided
};

// The open containers form an explicit stack instead of recursion, so nesting costs
// heap, never call stack; scalars are written where they are read, without a frame, and
// a container that announces no items gets none. Container headers are never trusted
// for reservations: memory grows only with the items actually read. A map's members are
// collected and linked into its tree when it ends (MemberCollector); texts are found
// again through a per-read index (InternIndex), or through the value in the same place of
// the element before (its guide).
class MessagePackReader {
public:
    MessagePackReader(const std::uint8_t* bytes, std::size_t length, ConversionResult& result)
        : input_(bytes, length, result, members_), result_(result) {}

    std::size_t Run();
    // Links what is still open and lets go of the text index.
    void Finish() noexcept {
        members_.LinkAll();
        index_.Detach();
    }

private:
    // The value a container's next item goes to, or null when the key before it could
    // not be read or the input ends before the value.
    BindingProperty* NextTarget(Frame& frame);
    bool ReadKey(std::string_view& key);
    // The member under key of frame's structure, the guide's key where it matches.
    BindingProperty& Member(Frame& frame, std::string_view key);
    // Guides are no longer followed: a value is about to be written over. Guides only
    // name earlier values that are closed, which reading never touches, but writing a
    // value over is the one way a read frees anything, so they are let go then rather
    // than trusted.
    void StopGuiding() noexcept;
    // The earlier value that target, the value about to be read, is expected to resemble,
    // or null. Only texts and containers ask, so numbers pay nothing for guides.
    const BindingProperty* GuideOf(const BindingProperty& target) const noexcept {
        const Frame* frame = top_;
        if (frame == nullptr) return nullptr;
        if (frame->structure) return valueGuide_;
        if (!frame->guided) return nullptr;
        if (frame->next - frame->remaining != 1) return &target - 1;
        return frame->guide.collection != nullptr ? TreeBuilding::FirstElement(*frame->guide.collection) : nullptr;
    }
    void ReadValue(BindingProperty& target);
    void ReadText(BindingProperty& target, std::uint64_t length);
    template <unsigned LengthSize>
    void ReadSizedText(BindingProperty& target);
    template <unsigned LengthSize>
    void ReadBlob(BindingProperty& target);
    void BeginContainer(BindingProperty& target, bool structure, std::uint64_t count);
    template <unsigned CountSize>
    void BeginSizedContainer(BindingProperty& target, bool structure);
    // Attaches the text index to the tree's table. The table's buckets are not sized
    // here: the texts new to the read wait unhashed, and get their buckets all at once
    // when they are first needed, which a body read and dropped never does.
    void IndexTexts(PropertyContext& context) { index_.Attach(context.Strings()); }
    // Closes the innermost container.
    void Close() noexcept {
        if (top_->structure) members_.Close();
        frames_.Pop();
        top_ = frames_.Empty() ? nullptr : &frames_.Back();
    }

    MemberCollector members_;  // before input_, which refers to it
    InternIndex index_;
    MessagePackInput input_;
    ConversionResult& result_;
    // The first levels live inside the reader: an event-sized body allocates nothing for
    // them.
    InlineStack<Frame, 32> frames_;
    Frame* top_ = nullptr;  // the innermost, or null
    // The guide of the value of the member read last, or null.
    const BindingProperty* valueGuide_ = nullptr;
    bool guiding_ = true;
};

std::size_t MessagePackReader::Run() {
    if (input_.AtEnd()) return input_.Position();
    // One call site for ReadValue, so that it is inlined into the loop.
    BindingProperty* target = &result_.Value();
    for (;;) {
        ReadValue(*target);
        if (!result_.Ok()) break;
        // A container stays open while its last item is read, so that the items inside
        // that one count towards the depth.
        while (top_ != nullptr && top_->remaining == 0) Close();
        if (top_ == nullptr || input_.AtEnd()) break;
        target = NextTarget(*top_);
        if (target == nullptr) break;
    }
    return input_.Position();
}

BindingProperty* MessagePackReader::NextTarget(Frame& frame) {
    if (!frame.structure) {
        --frame.remaining;
        if (frame.appending) return &TreeBuilding::AppendGrowing(*frame.target);
        // A repeated key's array goes over the elements the earlier one left.
        StopGuiding();
        return &TreeBuilding::Element(*frame.target, static_cast<std::size_t>(frame.next++));
    }
    std::string_view key;
    if (!ReadKey(key) || input_.AtEnd()) return nullptr;
    --frame.remaining;
    return &Member(frame, key);
}

BindingProperty& MessagePackReader::Member(Frame& frame, std::string_view key) {
    if (const MemberNode* guide = frame.guide.member; guide != nullptr) {
        if (!key.empty() && SameText(*guide->key, key)) {
            frame.guide.member = MemberTree::NextInOrder(guide);
            valueGuide_ = &guide->value;
            return members_.AppendAbove(guide->key);
        }
        frame.guide.member = nullptr;
    }
    valueGuide_ = nullptr;
    BindingProperty& member = members_.Member(key);
    if (member.Kind() != PropertyKind::Empty) StopGuiding();
    return member;
}

void MessagePackReader::StopGuiding() noexcept {
    if (!guiding_) return;
    // Once per read, so walking every open container costs no more than opening them.
    guiding_ = false;
    valueGuide_ = nullptr;
    for (std::size_t i = 0; i < frames_.Size(); ++i) {
        frames_[i].guide.member = nullptr;
        frames_[i].guided = false;
    }
}

bool MessagePackReader::ReadKey(std::string_view& key) {
    const std::uint8_t format = input_.TakeByte();
    std::uint64_t length = 0;
    if (format >= 0xA0 && format <= 0xBF) {
        length = format & 0x1Fu;
    } else if (format == 0xD9) {
        if (!input_.ReadUnsigned<1>(length)) return false;
    } else if (format == 0xDA) {
        if (!input_.ReadUnsigned<2>(length)) return false;
    } else if (format == 0xDB) {
        if (!input_.ReadUnsigned<4>(length)) return false;
    } else {
        input_.Fail(kInvalidKey);
        return false;
    }
    const char* text = nullptr;
    if (!input_.ReadString(length, text)) return false;
    key = std::string_view(text, static_cast<std::size_t>(length));
    return true;
}

void MessagePackReader::ReadText(BindingProperty& target, std::uint64_t length) {
    const char* text = nullptr;
    if (!input_.ReadString(length, text)) return;
    const std::string_view view(text, static_cast<std::size_t>(length));
    if (const BindingProperty* guide = GuideOf(target); guide != nullptr && length != 0) {
        const InternedString* entry = TreeBuilding::StringEntry(*guide);
        if (entry != nullptr && SameText(*entry, view)) return TreeBuilding::SetInterned(target, entry);
    }
    TreeBuilding::SetString(target, view);
}

template <unsigned LengthSize>
void MessagePackReader::ReadSizedText(BindingProperty& target) {
    std::uint64_t length = 0;
    if (input_.ReadUnsigned<LengthSize>(length)) ReadText(target, length);
}

template <unsigned LengthSize>
void MessagePackReader::ReadBlob(BindingProperty& target) {
    std::uint64_t length = 0;
    if (!input_.ReadUnsigned<LengthSize>(length)) return;
    const std::uint8_t* raw = nullptr;
    if (!input_.ReadRaw(length, raw)) return;
    target.AssignBlob(raw, static_cast<std::size_t>(length));
}

void MessagePackReader::BeginContainer(BindingProperty& target, bool structure, std::uint64_t count) {
    if (frames_.Size() >= kMaxNestingDepth) {
        input_.Fail(kTooDeep);
        return;
    }
    const BindingProperty* guide = GuideOf(target);
    const auto items = static_cast<std::uint32_t>(count);  // read from at most 4 bytes
    const bool appending = !structure && target.Kind() != PropertyKind::Collection;
    if (structure) {
        TreeBuilding::MakeStructure(target);
    } else {
        TreeBuilding::MakeCollection(target);
    }
    if (!index_.IsAttached()) IndexTexts(*target.Context());
    if (items == 0) return;
    if (structure) members_.Open(target);
    // The frame is written field by field where it goes: built aside and copied in whole,
    // its copy waited on the narrow stores just made to it (several stores cannot be
    // forwarded to one wide load), which made reading canada a third slower.
    frames_.Reserve();
    frames_.Resize(frames_.Size() + 1);
    Frame& frame = frames_.Back();
    frame.target = &target;
    frame.remaining = items;
    frame.next = appending ? items : 0;
    if (structure) {
        frame.guide.member = guide != nullptr ? TreeBuilding::FirstMember(*guide) : nullptr;
    } else {
        frame.guide.collection = guide;
    }
    frame.structure = structure;
    frame.appending = appending;
    frame.guided = appending && guiding_;
    top_ = &frame;
}

template <unsigned CountSize>
void MessagePackReader::BeginSizedContainer(BindingProperty& target, bool structure) {
    std::uint64_t count = 0;
    if (input_.ReadUnsigned<CountSize>(count)) BeginContainer(target, structure, count);
}

void MessagePackReader::ReadValue(BindingProperty& target) {
    const std::uint8_t format = input_.TakeByte();
    std::uint64_t unsignedValue = 0;
    std::int64_t signedValue = 0;

    if (format <= 0x7F || format >= 0xE0) {
        TreeBuilding::SetSigned(target, static_cast<std::int8_t>(format));
        return;
    }
    if (format <= 0x8F) return BeginContainer(target, true, format & 0x0Fu);
    if (format <= 0x9F) return BeginContainer(target, false, format & 0x0Fu);
    if (format <= 0xBF) return ReadText(target, format & 0x1Fu);

    switch (format) {
        case 0xC0:
            return;
        case 0xC2:
        case 0xC3:
            TreeBuilding::SetBool(target, format == 0xC3);
            return;
        case 0xC4: return ReadBlob<1>(target);
        case 0xC5: return ReadBlob<2>(target);
        case 0xC6: return ReadBlob<4>(target);
        case 0xCA:
            if (!input_.ReadUnsigned<4>(unsignedValue)) return;
            TreeBuilding::SetFloat(target, static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(unsignedValue))));
            return;
        case 0xCB:
            if (!input_.ReadUnsigned<8>(unsignedValue)) return;
            TreeBuilding::SetFloat(target, std::bit_cast<double>(unsignedValue));
            return;
        case 0xCC:
            if (!input_.ReadUnsigned<1>(unsignedValue)) return;
            TreeBuilding::SetUnsigned(target, unsignedValue);
            return;
        case 0xCD:
            if (!input_.ReadUnsigned<2>(unsignedValue)) return;
            TreeBuilding::SetUnsigned(target, unsignedValue);
            return;
        case 0xCE:
            if (!input_.ReadUnsigned<4>(unsignedValue)) return;
            TreeBuilding::SetUnsigned(target, unsignedValue);
            return;
        case 0xCF:
            if (!input_.ReadUnsigned<8>(unsignedValue)) return;
            TreeBuilding::SetUnsigned(target, unsignedValue);
            return;
        case 0xD0:
            if (!input_.ReadSigned<1>(signedValue)) return;
            TreeBuilding::SetSigned(target, signedValue);
            return;
        case 0xD1:
            if (!input_.ReadSigned<2>(signedValue)) return;
            TreeBuilding::SetSigned(target, signedValue);
            return;
        case 0xD2:
            if (!input_.ReadSigned<4>(signedValue)) return;
            TreeBuilding::SetSigned(target, signedValue);
            return;
        case 0xD3:
            if (!input_.ReadSigned<8>(signedValue)) return;
            TreeBuilding::SetSigned(target, signedValue);
            return;
        case 0xD9: return ReadSizedText<1>(target);
        case 0xDA: return ReadSizedText<2>(target);
        case 0xDB: return ReadSizedText<4>(target);
        case 0xDC: return BeginSizedContainer<2>(target, false);
        case 0xDD: return BeginSizedContainer<4>(target, false);
        case 0xDE: return BeginSizedContainer<2>(target, true);
        case 0xDF: return BeginSizedContainer<4>(target, true);
        default:
            // 0xC1 is never used; 0xC7-0xC9 and 0xD4-0xD8 are extension types.
            input_.Fail(kInvalidData);
            return;
    }
}

}  // namespace

ConversionResult ReadMessagePack(const std::uint8_t* bytes, std::size_t length, std::size_t* consumed) {
    ConversionResult result;
    std::size_t position = 0;
    if (bytes != nullptr) {
        MessagePackReader reader(bytes, length, result);
        position = reader.Run();
        reader.Finish();
    }
    if (consumed != nullptr) *consumed = position;
    return result;
}

}  // namespace Kesh
