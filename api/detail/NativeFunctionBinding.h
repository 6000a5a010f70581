#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "api/ApiResult.h"
#include "api/ArgumentLocation.h"
#include "api/CallResult.h"
#include "api/FunctionBinding.h"
#include "api/RequestContext.h"
#include "binding/FunctionRecord.h"
#include "binding/NativeAssign.h"
#include "binding/NativeToValue.h"
#include "binding/NativeTraits.h"
#include "binding/TypeIdentifier.h"

// How ExposeFunction turns a native signature into a function binding. Plugin code uses
// ExposeFunction, not this.
namespace Kesh {

struct FunctionInfo;

namespace Detail {

struct ArgumentDeclaration {
    std::string name;
    ArgumentLocation location;
    std::string description;
    bool optional;
};

// A binding whose types come from a native signature.
class NativeBindingBase : public FunctionBinding {
public:
    // Parameter names for conversion messages and optional flags, in order.
    std::vector<std::string> names;
    std::vector<bool> optional;

    // The kinds and records of the parameters and the result.
    virtual void DescribeTypes(FunctionRecord& record, const TypeRegistry& registry) const = 0;
};

const FunctionRecord* Expose(TypeRegistry& registry, const FunctionInfo& info,
                             std::unique_ptr<NativeBindingBase> binding, std::vector<ArgumentDeclaration> arguments);

template <typename T>
struct IsApiResult : std::false_type {
    using Value = T;
};
template <typename T>
struct IsApiResult<ApiResult<T>> : std::true_type {
    using Value = T;
};

template <typename T>
TypeIdentifier IdentifierOf(const TypeRegistry& registry) {
    using Bare = std::remove_cvref_t<T>;
    if constexpr (std::is_void_v<Bare> || std::is_same_v<Bare, StreamReply>) {
        return {};
    } else {
        using Traits = NativeTraits<Bare>;
        return TypeIdentifier{Traits::kKind, Traits::kElementKind, LookupRecord<Bare>(&registry)};
    }
}

template <typename T>
void WriteResult(CallResult& call, T& value, const TypeRegistry* registry) {
    using Bare = std::remove_cvref_t<T>;
    if constexpr (IsApiResult<Bare>::value) {
        if (value.Failed()) {
            call.Fail(value.Error().message, value.Error().status);
            return;
        }
        WriteResult(call, value.Value(), registry);
        if (!call.Ok()) return;
        if (value.StatusCode() != 0) call.statusCode = value.StatusCode();
        if (!value.ContentTypeText().empty()) call.contentType = value.ContentTypeText();
        for (const auto& [name, text] : value.Headers()) call.headers.Set(name, text);
    } else if constexpr (std::is_same_v<Bare, StreamReply>) {
        call.result.SetSuccess();
        call.body = std::move(value.stream);
        call.contentType = value.contentType;
        call.statusCode = value.status;
    } else {
        static_assert(ConvertibleNative<Bare>, "an exposed function returns a type the registry can convert");
        ToValue(call.result, value, registry);
    }
}

template <bool kTakesContext, typename Function, typename Result, typename... Params>
class NativeFunctionBinding final : public NativeBindingBase {
    static_assert((ConvertibleNative<std::remove_cvref_t<Params>> && ...),
                  "every parameter of an exposed function is a type the registry can convert");

public:
    static constexpr std::size_t kParameterCount = sizeof...(Params);

    explicit NativeFunctionBinding(Function function) : function_(std::move(function)) {}

    bool TakesContext() const override { return kTakesContext; }

    void DescribeTypes(FunctionRecord& record, const TypeRegistry& registry) const override {
        std::size_t i = 0;
        (Describe<Params>(record.arguments[i++], registry), ...);
        static_cast<void>(i);
        record.returns = IdentifierOf<typename IsApiResult<std::remove_cvref_t<Result>>::Value>(registry);
    }

    void Invoke(CallResult& call, std::span<const BindingProperty> arguments, const RequestContext* context,
                const TypeRegistry* registry) const override {
        InvokeWith(call, arguments, context, registry, std::index_sequence_for<Params...>{});
    }

private:
    template <typename P>
    static void Describe(FunctionArgument& argument, const TypeRegistry& registry) {
        argument.type = IdentifierOf<P>(registry);
        argument.optional = argument.optional || NativeTraits<std::remove_cvref_t<P>>::kOptional;
    }

    template <std::size_t... I>
    void InvokeWith(CallResult& call, [[maybe_unused]] std::span<const BindingProperty> arguments, const RequestContext* context,
                    [[maybe_unused]] const TypeRegistry* registry, std::index_sequence<I...>) const {
        std::tuple<std::remove_cvref_t<Params>...> natives{};
        if (!(Convert<I>(call, std::get<I>(natives), arguments, registry) && ...)) return;
        if constexpr (std::is_void_v<Result>) {
            Call(context, std::get<I>(natives)...);
            call.result.SetSuccess();
        } else {
            auto value = Call(context, std::get<I>(natives)...);
            WriteResult(call, value, registry);
        }
    }

    template <std::size_t I, typename T>
    bool Convert(CallResult& call, T& native, std::span<const BindingProperty> arguments,
                 const TypeRegistry* registry) const {
        const BindingProperty& input = I < arguments.size() ? arguments[I] : BindingProperty::SharedEmpty();
        // A left-out optional argument keeps its default.
        if (input.IsEmpty() && (NativeTraits<T>::kOptional || (I < optional.size() && optional[I]))) return true;
        return AssignNative(call.result, native, input, names[I].c_str(), registry);
    }

    template <typename... Args>
    decltype(auto) Call(const RequestContext* context, Args&... args) const {
        if constexpr (kTakesContext) {
            return function_(*context, args...);
        } else {
            static_cast<void>(context);
            return function_(args...);
        }
    }

    Function function_;
};

// The signature of a function pointer or of a lambda's call operator, and whether it
// begins with a RequestContext.
template <typename Function, typename Result, typename... Args>
struct BindingFor {
    using Type = NativeFunctionBinding<false, Function, Result, Args...>;
};
template <typename Function, typename Result, typename First, typename... Args>
    requires std::is_same_v<std::remove_cvref_t<First>, RequestContext>
struct BindingFor<Function, Result, First, Args...> {
    using Type = NativeFunctionBinding<true, Function, Result, Args...>;
};

template <typename Function, typename Signature>
struct SignatureOf;
template <typename Function, typename Result, typename... Args>
struct SignatureOf<Function, Result (*)(Args...)> : BindingFor<Function, Result, Args...> {};
template <typename Function, typename Result, typename... Args>
struct SignatureOf<Function, Result (*)(Args...) noexcept> : BindingFor<Function, Result, Args...> {};
template <typename Function, typename Class, typename Result, typename... Args>
struct SignatureOf<Function, Result (Class::*)(Args...) const> : BindingFor<Function, Result, Args...> {};
template <typename Function, typename Class, typename Result, typename... Args>
struct SignatureOf<Function, Result (Class::*)(Args...) const noexcept> : BindingFor<Function, Result, Args...> {};

template <typename Function>
struct CallableSignature {
    using Type = typename SignatureOf<Function, decltype(&Function::operator())>::Type;
};
template <typename Result, typename... Args>
struct CallableSignature<Result (*)(Args...)> {
    using Type = typename SignatureOf<Result (*)(Args...), Result (*)(Args...)>::Type;
};
template <typename Result, typename... Args>
struct CallableSignature<Result (*)(Args...) noexcept> {
    using Type = typename SignatureOf<Result (*)(Args...) noexcept, Result (*)(Args...) noexcept>::Type;
};

template <typename Function>
using NativeFunctionBindingOf = typename CallableSignature<std::decay_t<Function>>::Type;

// A member function bound to its object: a callable with the member's own parameter
// list, so the binding sees the same signature as for a free function.
template <typename Object, typename Member, typename Result, typename... Args>
struct BoundMember {
    Object* object;
    Member member;
    Result operator()(Args... args) const { return (object->*member)(std::forward<Args>(args)...); }
};

template <typename Object, typename Member>
struct MemberBinder;
#define PZL_MEMBER_BINDER(qualifiers)                                                                  \
    template <typename Object, typename Class, typename Result, typename... Args>                      \
    struct MemberBinder<Object, Result (Class::*)(Args...) qualifiers> {                               \
        static_assert(std::is_base_of_v<Class, Object>, "the member function belongs to the plugin's class"); \
        using Type = BoundMember<Object, Result (Class::*)(Args...) qualifiers, Result, Args...>;      \
    };
PZL_MEMBER_BINDER()
PZL_MEMBER_BINDER(const)
PZL_MEMBER_BINDER(noexcept)
PZL_MEMBER_BINDER(const noexcept)
#undef PZL_MEMBER_BINDER

template <typename Object, typename Member>
auto BindMember(Object& object, Member member) {
    return typename MemberBinder<Object, Member>::Type{&object, member};
}

}  // namespace Detail
}  // namespace Kesh
