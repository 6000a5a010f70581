#pragma once

#include <random>
#include <string>
#include <vector>

#include "runtime/ApiTable.h"
#include "tools/pzl-host/Scenario.h"

namespace Kesh::StandIn {

// A value of the declared type (TypeKind numbers and the referenced type's name, looked
// up in the table's type descriptions), drawn from rng: small numbers inside the kind's
// range, short words, enumerator names, structs with every field, up to three elements.
BindingProperty GenerateValue(const ApiTable& table, std::uint32_t kind, std::uint32_t elementKind,
                              const std::string& typeName, std::mt19937_64& rng, int depth = 0);

// The request the host would send to the function with generated arguments: every
// required one (and the optional ones too when withOptional), placeholders filled,
// query arguments in the query string, the rest typed. False with error when the
// record cannot be read or its template not filled. leaveOut names an argument to
// leave out (a request missing it).
bool BuildValidCall(const ApiTable& table, const ApiFunctionRecord& record, bool withOptional, std::mt19937_64& rng,
                    FunctionCall& call, std::string& error, const std::string& leaveOut = {});

// "METHOD URL" and, when there are any, the typed arguments as JSON, the headers and the
// body.
std::string RequestText(const FunctionCall& call);

// Whether a reply's value is of the declared result kind (Empty only for an object or
// no declared result).
bool ValueHasKind(const BindingProperty& value, std::uint32_t kind);

// What is wrong with value as a value of the declared type, or "" when nothing is: its
// kind, a struct's members against the type's fields (none unknown, every field there
// unless optional or an object), an enumerator name among the type's enumerators, and
// each element of a collection or map against the element kind. No declared type (0)
// takes only Empty: such a function answers with a stream or nothing.
std::string ValueTypeFault(const ApiTable& table, const BindingProperty& value, std::uint32_t kind,
                           std::uint32_t elementKind, const std::string& typeName);

// The text of an argument sent in a URL, a header or a body of text: strings as they
// are, blobs in base64, the rest as JSON.
std::string TextArgument(const BindingProperty& value);

// The placeholders of a URL template in order ({name}, {+name}, {#name} give name);
// false with error for a "{" that is never closed.
bool TemplatePlaceholders(const std::string& urlTemplate, std::vector<std::string>& names, std::string& error);

// The route a template stands for, placeholder names left out ("/a/{}/{+}"), so that two
// templates matching the same URLs compare equal.
std::string TemplateShape(const std::string& urlTemplate);

}  // namespace Kesh::StandIn
