#include "testing/registryText.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <utility>

namespace {

// A quoted text from at (its opening quote) up to its closing quote, with
// \\ and \" unescaped; at moves past it.
std::string quoted(const std::string& line, std::size_t& at)
{
    std::string text;
    for (++at; at < line.size() && line[at] != '"'; ++at) {
        if (line[at] == '\\' && at + 1 < line.size())
            ++at;
        text += line[at];
    }
    at = std::min(at + 1, line.size());
    return text;
}

std::string hexBytes(const std::string& list)
{
    std::string bytes;
    std::istringstream items(list);
    for (std::string item; std::getline(items, item, ',');)
        bytes += static_cast<char>(std::strtoul(item.c_str(), nullptr, 16));
    return bytes;
}

} // namespace

std::vector<RegistryItem> readRegistryText(const std::string& text, const std::string& server)
{
    std::vector<RegistryItem> items;
    std::istringstream lines(text);
    bool inKey = false;
    RegistryItem key{};
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind('[', 0) == 0) {
            const std::string name = line.substr(1, line.rfind(']') - 1);
            const std::string root = name.substr(0, name.find('\\'));
            inKey =
                name.find('\\') != std::string::npos && (root == "HKEY_LOCAL_MACHINE" || root == "HKEY_CLASSES_ROOT");
            key = RegistryItem{};
            key.root = root == "HKEY_CLASSES_ROOT" ? platform::RootKey::classesRoot : platform::RootKey::localMachine;
            key.path = inKey ? name.substr(root.size() + 1) : "";
            if (inKey)
                items.push_back(key);
            continue;
        }
        if (!inKey || line.empty() || (line[0] != '"' && line[0] != '@'))
            continue;
        std::size_t at = 0;
        RegistryItem value = key;
        value.isValue = true;
        value.name = line[0] == '@' ? (++at, std::string()) : quoted(line, at);
        if (line.compare(at, 2, "=\"") == 0) {
            ++at;
            value.data = quoted(line, at) + '\0';
            for (std::size_t found = 0;
                 !server.empty() && (found = value.data.find("@SERVER@", found)) != std::string::npos;
                 found += server.size())
                value.data.replace(found, 8, server);
            value.isText = true;
        } else if (line.compare(at, 5, "=hex:") == 0) {
            value.data = hexBytes(line.substr(at + 5));
        } else {
            continue;
        }
        items.push_back(std::move(value));
    }
    return items;
}
