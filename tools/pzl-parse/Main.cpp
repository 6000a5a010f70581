// pzl-parse: reads a JSON, MessagePack or YAML body the way the plugin does and prints
// the value tree it becomes, so that a person can see exactly what a body turns into.
//
//   pzl-parse --format json|msgpack|yaml [FILE]
//
// Without FILE it reads standard input. Exit status: 0 when the body was read, 1 when
// the reader rejected it (its message goes to standard error exactly as produced), 2 for
// a usage or file error.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

#include "binding/ConversionResult.h"
#include "formats/JsonReader.h"
#include "formats/MessagePackReader.h"
#include "formats/YamlReader.h"
#include "tools/pzl-parse/ValuePrinter.h"

namespace {

constexpr int kRejected = 1;
constexpr int kUsageError = 2;

int Usage() {
    std::fputs("usage: pzl-parse --format json|msgpack|yaml [FILE]\n", stderr);
    return kUsageError;
}

bool ReadAll(std::FILE* file, std::string& content) {
    char buffer[65536];
    std::size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) content.append(buffer, count);
    return std::ferror(file) == 0;
}

int Run(int argc, char** argv) {
    std::string_view format;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if (argument == "--format" && i + 1 < argc) {
            format = argv[++i];
        } else if (argument.starts_with("--format=")) {
            format = argument.substr(9);
        } else if (path == nullptr && !argument.starts_with("-")) {
            path = argv[i];
        } else {
            return Usage();
        }
    }
    if (format != "json" && format != "msgpack" && format != "yaml") return Usage();

    std::string content;
    if (path == nullptr) {
        if (!ReadAll(stdin, content)) {
            std::fputs("pzl-parse: cannot read standard input\n", stderr);
            return kUsageError;
        }
    } else {
        std::FILE* file = std::fopen(path, "rb");
        if (file == nullptr) {
            std::fprintf(stderr, "pzl-parse: cannot open %s: %s\n", path, std::strerror(errno));
            return kUsageError;
        }
        const bool read = ReadAll(file, content);
        std::fclose(file);
        if (!read) {
            std::fprintf(stderr, "pzl-parse: cannot read %s\n", path);
            return kUsageError;
        }
    }

    Kesh::ConversionResult result;
    std::size_t consumed = content.size();
    if (format == "json") {
        result = Kesh::ParseJson(content);
    } else if (format == "msgpack") {
        result = Kesh::ReadMessagePack(reinterpret_cast<const std::uint8_t*>(content.data()), content.size(), &consumed);
    } else {
        result = Kesh::ReadYaml(content);
    }
    if (!result.Ok()) {
        std::fprintf(stderr, "%s\n", result.ErrorMessage());
        return kRejected;
    }
    const std::string tree = Kesh::Tools::PrintValueTree(result.Value());
    std::fwrite(tree.data(), 1, tree.size(), stdout);
    if (consumed < content.size()) {
        std::fprintf(stderr, "pzl-parse: %llu bytes after the value were not read\n",
                     static_cast<unsigned long long>(content.size() - consumed));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "pzl-parse: %s\n", error.what());
        return kUsageError;
    }
}
