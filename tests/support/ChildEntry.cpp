#include "tests/support/ChildEntry.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

namespace {

const char kOption[] = "--zovrant-child=";

std::map<std::string, TChildEntry>& Entries()
{
    static std::map<std::string, TChildEntry> entries;
    return entries;
}

} // namespace

bool RegisterChildEntry(const char* name, TChildEntry entry)
{
    Entries()[name] = entry;
    return true;
}

QStringList ChildArguments(const char* name)
{
    return {QString::fromLatin1(kOption) + QString::fromLatin1(name)};
}

std::optional<int> RunChildEntry(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], kOption, sizeof kOption - 1) != 0)
            continue;
        const auto found = Entries().find(argv[i] + sizeof kOption - 1);
        if (found == Entries().end()) {
            std::fprintf(stderr, "no child entry %s\n", argv[i] + sizeof kOption - 1);
            return 2;
        }
        return found->second();
    }
    return std::nullopt;
}
