#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "binding/ConversionDepth.h"
#include "binding/EnumDeclaration.h"
#include "binding/NativeAssign.h"
#include "binding/StructAssign.h"
#include "binding/StructDeclaration.h"
#include "binding/StructToValue.h"
#include "tests/support/SmallStackThread.h"

namespace Kesh {
namespace {

enum class Mood : std::int16_t { Calm = 1, Angry = 2 };

struct Inner {
    std::int32_t count = 0;
    std::string label;
};

struct Outer {
    std::string name;
    Inner inner;
    std::uint8_t small = 0;
    Mood mood = Mood::Calm;
    std::vector<std::int32_t> numbers;
    std::vector<bool> bits;
    std::vector<Inner> inners;
    std::unordered_map<std::string, double> weights;
    std::unordered_map<std::string, Inner> named;
};

struct Node {
    std::string name;
    std::vector<Node> children;
};

struct Unregistered {
    int value = 0;
};

class AssignStructTest : public ::testing::Test {
protected:
    AssignStructTest() {
        EnumDeclaration<Mood>(registry, "Mood").Value("Calm", Mood::Calm).Value("Angry", Mood::Angry);
        StructDeclaration<Inner>(registry, "Inner")
            .Field("count", &Inner::count, FieldOptions{.flags = kFieldRequired})
            .Field("label", &Inner::label);
        StructDeclaration<Outer>(registry, "Outer")
            .Field("name", &Outer::name, FieldOptions{.flags = kFieldRequired})
            .Field("inner", &Outer::inner)
            .Field("small", &Outer::small)
            .Field("mood", &Outer::mood)
            .Field("numbers", &Outer::numbers)
            .Field("bits", &Outer::bits)
            .Field("inners", &Outer::inners)
            .Field("weights", &Outer::weights)
            .Field("named", &Outer::named);
        StructDeclaration<Node>(registry, "Node").Field("name", &Node::name).Field("children", &Node::children);
    }

    template <typename T>
    std::string Assign(T& out, const BindingProperty& input) {
        ConversionResult result;
        AssignNative(result, out, input, "arg", &registry);
        return result.ErrorMessage();
    }

    TypeRegistry registry;
};

TEST_F(AssignStructTest, FieldsRequiredFieldsAndNestedNames) {
    BindingProperty input;
    input["name"] = "top";
    input["inner"]["count"] = "0x10";
    input["inner"]["label"] = "in";
    input["small"] = 200;
    input["mood"] = "Angry";
    input["unknown"] = 1;
    Outer outer;
    outer.small = 7;
    ASSERT_EQ(Assign(outer, input), "");
    EXPECT_EQ(outer.name, "top");
    EXPECT_EQ(outer.inner.count, 16);
    EXPECT_EQ(outer.inner.label, "in");
    EXPECT_EQ(outer.small, 200);
    EXPECT_EQ(outer.mood, Mood::Angry);

    // A missing or Empty member leaves the field as it was unless it is required.
    BindingProperty partial;
    partial["name"] = "again";
    partial["small"] = BindingProperty();
    ASSERT_EQ(Assign(outer, partial), "");
    EXPECT_EQ(outer.small, 200);
    EXPECT_EQ(outer.inner.label, "in");

    BindingProperty noName;
    noName["small"] = 1;
    EXPECT_EQ(Assign(outer, noName),
              "Couldn't assign value to 'arg' of type Outer because the input structure doesn't have required field 'name'.");
    EXPECT_EQ(outer.small, 200);  // the fields after the missing one are not reached

    // Inside a struct only the inner names appear.
    BindingProperty nested;
    nested["name"] = "x";
    nested["inner"]["label"] = "no count";
    EXPECT_EQ(Assign(outer, nested),
              "Couldn't assign value to 'inner' of type Inner because the input structure doesn't have required field 'count'.");
    nested["inner"] = 5;
    EXPECT_EQ(Assign(outer, nested), "Couldn't assign value to 'inner' of type Inner because the input not a structure.");

    EXPECT_EQ(Assign(outer, BindingProperty()), "A value for 'arg' is required.");
    EXPECT_EQ(Assign(outer, BindingProperty("text")),
              "Couldn't assign value to 'arg' of type Outer because the input not a structure.");
    Unregistered unregistered;
    BindingProperty structure;
    structure.MakeStructure();
    EXPECT_EQ(Assign(unregistered, structure),
              "Couldn't assign value to 'arg' because the input is an unregistered structure or not a structure at all.");
}

TEST_F(AssignStructTest, StopsAtTheFirstFailure) {
    Outer outer;
    outer.name = "before";
    outer.small = 9;
    BindingProperty input;
    input["name"] = "after";
    input["inner"]["count"] = 1;
    input["small"] = 300;  // fails
    input["mood"] = "Calm";
    input["numbers"][0] = 1;
    outer.mood = Mood::Angry;
    outer.numbers = {5};
    EXPECT_EQ(Assign(outer, input), "Value 300 for 'small' of type uint8 is out of range");
    EXPECT_EQ(outer.name, "after");
    EXPECT_EQ(outer.small, 0);
    EXPECT_EQ(outer.mood, Mood::Angry);  // not reached
    EXPECT_EQ(outer.numbers, std::vector<std::int32_t>{5});
}

TEST_F(AssignStructTest, VectorsAndMaps) {
    BindingProperty input;
    input["name"] = "v";
    input["numbers"][0] = 1;
    input["numbers"][2] = "3";  // element 1 stays Empty
    input["bits"][0] = true;
    input["bits"][1] = "0";
    input["bits"][2] = "1";
    input["inners"][1]["count"] = 4;
    input["weights"]["b"] = 2;
    input["weights"]["a"] = "0.5";
    input["weights"]["skipped"] = BindingProperty();
    input["named"]["x"]["count"] = 8;
    Outer outer;
    outer.weights["stale"] = 1;
    ASSERT_EQ(Assign(outer, input), "");
    EXPECT_EQ(outer.numbers, (std::vector<std::int32_t>{1, 0, 3}));
    EXPECT_EQ(outer.bits, (std::vector<bool>{true, false, true}));
    ASSERT_EQ(outer.inners.size(), 2u);
    EXPECT_EQ(outer.inners[1].count, 4);
    EXPECT_EQ(outer.weights, (std::unordered_map<std::string, double>{{"a", 0.5}, {"b", 2.0}}));
    EXPECT_EQ(outer.named.at("x").count, 8);

    // Elements use the vector's own name; a failing element empties the vector.
    input["numbers"][1] = "x";
    EXPECT_EQ(Assign(outer, input), "Value x for 'numbers' of type int32 is in an incorrect format");
    EXPECT_TRUE(outer.numbers.empty());
    input["numbers"] = 5;
    EXPECT_EQ(Assign(outer, input),
              "Couldn't assign value to 'numbers' of type vector because the input not a collection.");
    input["numbers"].MakeCollection();
    input["inners"][0]["count"] = BindingProperty();
    input["inners"][0]["label"] = "no count";
    EXPECT_EQ(Assign(outer, input),
              "Couldn't assign value to 'inners' of type Inner because the input structure doesn't have required field 'count'.");
    input["inners"].MakeCollection();
    input["inners"] = BindingProperty();
    input["weights"].MakeCollection();
    EXPECT_EQ(Assign(outer, input), "Couldn't assign value to 'weights' of type map because the input not a structure.");

    // At the top level only a vector of bool asks for a value when given Empty.
    std::vector<bool> bits{true};
    std::vector<std::string> texts{"x"};
    EXPECT_EQ(Assign(bits, BindingProperty()), "A value for 'arg' is required.");
    EXPECT_EQ(Assign(texts, BindingProperty()),
              "Couldn't assign value to 'arg' of type vector because the input not a collection.");
    EXPECT_TRUE(texts.empty());
    std::unordered_map<std::string, std::int8_t> map{{"k", 1}};
    EXPECT_EQ(Assign(map, BindingProperty()),
              "Couldn't assign value to 'arg' of type map because the input not a structure.");
    EXPECT_TRUE(map.empty());
}

TEST_F(AssignStructTest, DeepInputIsRefusedWithoutExhaustingASmallStack) {
    auto nest = [](std::size_t depth) {
        BindingProperty root;
        BindingProperty* node = &root;
        for (std::size_t i = 0; i < depth; ++i) {
            (*node)["name"] = "n";
            node = &(*node)["children"][0];
        }
        (*node)["name"] = "leaf";
        return root;
    };
    Testing::RunOnSmallStack([&] {
        const BindingProperty deep = nest(100000);
        Node node;
        EXPECT_EQ(Assign(node, deep), "Couldn't assign value to 'children' because the input is nested more than 256 levels deep.");

        // At the limit it still converts.
        const BindingProperty fits = nest(ConversionDepth::kMaxDepth - 1);
        Node tree;
        ASSERT_EQ(Assign(tree, fits), "");
        std::size_t depth = 0;
        for (const Node* at = &tree; !at->children.empty(); at = &at->children[0]) {
            ++depth;
        }
        EXPECT_EQ(depth, ConversionDepth::kMaxDepth - 1);
    });
}

// An enum field without a descriptor is converted by the built-in rule only when its
// type has the size of a native enum (1, 2, 4 or 8 bytes); any other goes to the field's
// descriptor, which it lacks. Both ways, with the registry's records alone.
TEST(EnumFieldSizes, OnlyNativeEnumSizesTakeTheBuiltInRule) {
    TypeRegistry registry;
    const TypeRecord* sized = registry.DeclareType("Sized", 4, NoStaticType(), true).AddEnumerator("Green", 1, "").Record();
    const TypeRecord* odd = registry.DeclareType("Odd", 3, NoStaticType(), true).AddEnumerator("Green", 1, "").Record();
    const auto holder = [&](const char* name, const TypeRecord* type, std::uint32_t flags) {
        return registry.DeclareType(name, 4, NoStaticType(), false)
            .AddField("e", "", 0, StaticTypeOf<std::int32_t>(), {TypeKind::Enum, TypeKind::None, type}, {}, flags, nullptr, false)
            .Record();
    };
    const TypeRecord* good = holder("Good", sized, 0);
    const TypeRecord* bad = holder("Bad", odd, 0);
    const TypeRecord* badOmitted = holder("BadOmitted", odd, kFieldOmitDefault);
    BindingProperty input;
    input["e"] = "Green";
    std::int32_t native = 0;
    ConversionResult result;
    EXPECT_TRUE(AssignStruct(result, &native, input, "good", good, &registry)) << result.ErrorMessage();
    EXPECT_EQ(native, 1);
    EXPECT_TRUE(WriteStruct(result, result.Value(), &native, good, &registry)) << result.ErrorMessage();
    EXPECT_EQ(result.Value().GetMember("e").GetEnumNumber(), 1);

    ConversionResult assigned;
    EXPECT_FALSE(AssignStruct(assigned, &native, input, "bad", bad, &registry));
    EXPECT_STREQ(assigned.ErrorMessage(),
                 "Couldn't assign value to 'e' of type enum because the input is of an invalid type string.");
    ConversionResult written;
    EXPECT_FALSE(WriteStruct(written, written.Value(), &native, bad, &registry));
    EXPECT_STREQ(written.ErrorMessage(), "Couldn't convert native value because it's an unregistered structure.");
    // Left out when it holds its default: only the descriptor could tell, so it fails alike.
    ConversionResult omitted;
    EXPECT_FALSE(WriteStruct(omitted, omitted.Value(), &native, badOmitted, &registry));
}

}  // namespace
}  // namespace Kesh
