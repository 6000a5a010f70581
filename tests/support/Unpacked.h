#pragma once

namespace Kesh::Testing {

// The host's records are packed, so their fields may sit at any address. GoogleTest's
// comparisons take their arguments by reference, and binding a reference to a
// misaligned field is undefined behaviour (the sanitizers stop on it). Passing the
// field by value copies it with an unaligned load instead, without a reference:
//   EXPECT_EQ(Unpacked(reply.statusCode), 200u);
template <class T>
constexpr T Unpacked(T field) noexcept {
    return field;
}

}  // namespace Kesh::Testing
