#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "binding/BindingProperty.h"

namespace Kesh::StandIn {

// A reply body that the fake host hands over as a stream of JSON text, so that every
// way of reading one can be driven: short pieces, a separate empty last read, a failing
// read.
struct StreamPlan {
    std::string text;
    // Bytes handed over per read at most (never more than the reader's buffer); 0 means
    // as many as the buffer holds.
    std::uint32_t pieceSize = 4096;
    // Keep the more-data byte set with the last piece and clear it with one more read
    // of 0 bytes, instead of clearing it with the last piece.
    bool extraEmptyRead = false;
    // The read (counted from 1) that fails; 0 for none.
    std::uint32_t failAtRead = 0;
};

// What the fake host answers to a request.
struct ReplyPlan {
    // The result value, unless rawKind is set.
    BindingProperty value;
    // A result record of exactly this kind with a zero payload, for kinds no value can
    // produce (such as numbers above 10).
    std::optional<std::uint32_t> rawKind;
    // Set for an error reply. The value and the stream are still handed over with it.
    std::optional<std::string> errorText;
    std::uint32_t statusCode = 200;
    std::optional<StreamPlan> stream;
    std::string contentType = "application/json";

    static ReplyPlan Value(BindingProperty value, std::uint32_t statusCode = 200) {
        ReplyPlan plan;
        plan.value = std::move(value);
        plan.statusCode = statusCode;
        return plan;
    }
    static ReplyPlan Error(std::string text, std::uint32_t statusCode) {
        ReplyPlan plan;
        plan.errorText = std::move(text);
        plan.statusCode = statusCode;
        return plan;
    }
    static ReplyPlan Stream(StreamPlan stream) {
        ReplyPlan plan;
        plan.stream = std::move(stream);
        return plan;
    }
    static ReplyPlan RawKind(std::uint32_t kind) {
        ReplyPlan plan;
        plan.rawKind = kind;
        return plan;
    }
};

}  // namespace Kesh::StandIn
