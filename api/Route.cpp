#include "api/Route.h"

#include <limits>

#include "api/FunctionBinding.h"
#include "api/UrlDecode.h"
#include "binding/FunctionRecord.h"

namespace Kesh {

std::string ParsedRequest::Path() const {
    const std::size_t question = url.find('?');
    if (question == std::string::npos) return url;
    const std::size_t hash = url.find('#', question);
    std::string path = url.substr(0, question);
    if (hash != std::string::npos) path.append(url, hash, std::string::npos);
    return path;
}

std::string_view ParsedRequest::Query() const {
    const std::size_t question = url.find('?');
    if (question == std::string::npos) return {};
    const std::size_t hash = url.find('#', question);
    const std::size_t end = hash == std::string::npos ? url.size() : hash;
    return std::string_view(url).substr(question + 1, end - question - 1);
}

Route Route::Build(const FunctionRecord& function, const FunctionBinding& binding) {
    Route route;
    route.function = &function;
    route.binding = &binding;
    const std::string& text = binding.urlPath.empty() ? function.name : binding.urlPath;
    if (text.find('{') == std::string::npos) {
        route.literalPath = text;
    } else {
        route.hasPattern = true;
        route.compiled = UrlTemplate::Compile(text);
    }
    return route;
}

namespace {

bool AcceptsMethod(const FunctionBinding& binding, const ParsedRequest& request) {
    if (binding.method == HttpMethod::None) return true;
    if (binding.method != request.method) return false;
    return binding.method != HttpMethod::Custom || binding.customMethod == request.customMethod;
}

}  // namespace

bool MatchRoute(ParsedRequest& request, const std::vector<const Route*>& routes) {
    const std::string path = request.Path();
    const Route* chosen = nullptr;
    std::vector<std::string_view> chosenCaptures;
    std::size_t chosenLength = std::numeric_limits<std::size_t>::max();
    std::vector<std::string_view> captures;
    for (const Route* route : routes) {
        if (route == nullptr || route->binding == nullptr) continue;
        if (route->hasPattern) {
            if (!route->compiled.Match(path, captures)) continue;
        } else {
            if (path != route->literalPath) continue;
            captures.clear();
        }
        if (!AcceptsMethod(*route->binding, request)) continue;
        std::size_t length = 0;
        for (const std::string_view capture : captures) length += capture.size();
        if (chosen != nullptr && length >= chosenLength) continue;
        chosen = route;
        chosenLength = length;
        chosenCaptures = captures;
        if (captures.empty()) break;
    }
    if (chosen == nullptr) return false;
    request.function = chosen->function;
    request.binding = chosen->binding;
    request.pathArguments = TextMap();
    const std::vector<PathParameter>& parameters = chosen->compiled.Parameters();
    for (std::size_t i = 0; i < chosenCaptures.size() && i < parameters.size(); ++i) {
        request.pathArguments.Set(parameters[i].name, UrlDecode(chosenCaptures[i]));
    }
    return true;
}

}  // namespace Kesh
