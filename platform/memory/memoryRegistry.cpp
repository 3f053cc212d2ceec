// The stand-in's registry, its class ids and its file set.
#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/memory/standInState.h"

namespace memory::standIn {

namespace {

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

int compareNames(std::string_view a, std::string_view b)
{
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto ca = static_cast<unsigned char>(lower(a[i]));
        const auto cb = static_cast<unsigned char>(lower(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::vector<Child>::iterator Node::lowerBound(std::string_view name)
{
    return std::lower_bound(children.begin(), children.end(), name, [](const Child& child, std::string_view key) {
        return compareNames(child.first, key) < 0;
    });
}

Node* Node::find(std::string_view name)
{
    auto found = lowerBound(name);
    return found != children.end() && compareNames(found->first, name) == 0 ? found->second.get() : nullptr;
}

Node& Node::findOrAdd(std::string_view name)
{
    auto found = lowerBound(name);
    if (found == children.end() || compareNames(found->first, name) != 0)
        found = children.emplace(found, std::string(name), std::make_unique<Node>());
    return *found->second;
}

} // namespace memory::standIn

namespace {

using memory::standIn::Child;
using memory::standIn::Node;
using memory::standIn::state;

Node& rootNode(platform::RootKey root)
{
    return root == platform::RootKey::localMachine ? state().localMachine : state().classesRoot;
}

// Hands visit each part of a backslash-separated path in turn, empty ones
// included, until it returns false; false when it did. Nothing is copied:
// the registry's every call walks a path.
template <typename Visit>
bool eachPart(std::string_view path, Visit visit)
{
    for (std::size_t start = 0;;) {
        const std::size_t end = path.find('\\', start);
        if (!visit(path.substr(start, end - start)))
            return false;
        if (end == std::string_view::npos)
            return true;
        start = end + 1;
    }
}

// Finds the key at path below from as the registry does: a path may not
// begin with a backslash, doubled and trailing backslashes separate like
// one, and an empty path is from itself.
std::int32_t findNode(Node& from, const char* path, Node** found)
{
    Node* node = &from;
    if (path == nullptr || *path == '\0') {
        *found = node;
        return platform::registryOk;
    }
    if (*path == '\\')
        return platform::errorBadPathname;
    const bool walked = eachPart(path, [&node](std::string_view part) {
        if (!part.empty())
            node = node->find(part);
        return node != nullptr;
    });
    if (!walked)
        return platform::errorFileNotFound;
    *found = node;
    return platform::registryOk;
}

// Paths below the classes root may also begin with one backslash.
std::int32_t findRootNode(platform::RootKey root, const char* path, Node** found)
{
    if (root == platform::RootKey::classesRoot && path != nullptr && *path == '\\')
        ++path;
    return findNode(rootNode(root), path, found);
}

Node& makeNode(platform::RootKey root, const std::string& path)
{
    Node* node = &rootNode(root);
    eachPart(path, [&node, &path](std::string_view part) {
        if (part.empty())
            throw std::invalid_argument("empty key name in " + path);
        node = &node->findOrAdd(part);
        return true;
    });
    return *node;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

Node* nodeOf(platform::RegKey key)
{
    if (state().openKeys.count(key) == 0)
        throw std::logic_error("registry key used after close or never opened");
    return key->node;
}

std::int32_t handOut(std::int32_t status, Node* node, platform::RegKey* key)
{
    if (status != platform::registryOk)
        return status;
    *key = new platform::RegistryKey{node};
    state().openKeys.insert(*key);
    return platform::registryOk;
}

// Reads text of the form {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}.
bool readClassId(const std::string& text, CLSID* clsid)
{
    if (text.size() != 38 || text[0] != '{' || text[37] != '}')
        return false;
    std::uint8_t bytes[16];
    int count = 0;
    for (std::size_t i = 1; i < 37; ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash) {
            if (text[i] != '-')
                return false;
            continue;
        }
        const int high = hexDigit(text[i]);
        const int low = hexDigit(text[i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes[count++] = static_cast<std::uint8_t>(high * 16 + low);
        ++i;
    }
    clsid->Data1 = static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
        static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
    clsid->Data2 = static_cast<std::uint16_t>(bytes[4] << 8 | bytes[5]);
    clsid->Data3 = static_cast<std::uint16_t>(bytes[6] << 8 | bytes[7]);
    std::memcpy(clsid->Data4, bytes + 8, 8);
    return true;
}

// The class a program id names: the text of the default value of its
// CLSID key, or "" when there is none.
std::string programIdClass(const std::string& programId)
{
    Node* node = nullptr;
    if (findRootNode(platform::RootKey::classesRoot, (programId + "\\CLSID").c_str(), &node) != platform::registryOk)
        return {};
    const auto found = node->values.find("");
    return found == node->values.end() ? std::string{} : found->second.substr(0, found->second.find('\0'));
}

} // namespace

namespace platform {

std::int32_t openRootKey(RootKey root, const char* path, RegKey* key)
{
    ++state().registryCalls;
    Node* node = nullptr;
    const std::int32_t status = findRootNode(root, path, &node);
    return handOut(status, node, key);
}

std::int32_t openSubkey(RegKey parent, const char* name, RegKey* key)
{
    ++state().registryCalls;
    Node* node = nullptr;
    const std::int32_t status = findNode(*nodeOf(parent), name, &node);
    return handOut(status, node, key);
}

std::int32_t enumSubkey(RegKey key, std::uint32_t index, char* name, std::uint32_t size)
{
    ++state().registryCalls;
    const auto& children = nodeOf(key)->children;
    if (index >= children.size())
        return errorNoMoreItems;
    const std::string& found = children[index].first;
    if (found.size() + 1 > size)
        return errorMoreData;
    std::memcpy(name, found.c_str(), found.size() + 1);
    return registryOk;
}

std::int32_t maxSubkeyNameSize(RegKey key, std::uint32_t* size)
{
    ++state().registryCalls;
    std::size_t longest = 0;
    for (const Child& child : nodeOf(key)->children)
        longest = std::max(longest, child.first.size());
    *size = static_cast<std::uint32_t>(longest + 1);
    return registryOk;
}

std::int32_t queryValue(RegKey key, const char* valueName, char* buffer, std::uint32_t* size)
{
    ++state().registryCalls;
    const auto& values = nodeOf(key)->values;
    const auto found = values.find(valueName == nullptr ? "" : valueName);
    if (found == values.end())
        return errorFileNotFound;
    const std::string& data = found->second;
    if (data.size() > *size) {
        *size = static_cast<std::uint32_t>(data.size());
        return errorMoreData;
    }
    std::memcpy(buffer, data.data(), data.size());
    // Windows ends a string value stored without its terminator when the
    // buffer has room, without counting the zero.
    if (!data.empty() && data.back() != '\0' && data.size() < *size)
        buffer[data.size()] = '\0';
    *size = static_cast<std::uint32_t>(data.size());
    return registryOk;
}

std::uint64_t registryCallCount()
{
    return state().registryCalls;
}

void closeKey(RegKey key)
{
    nodeOf(key);
    state().openKeys.erase(key);
    delete key;
}

void lowerText(char* text, std::uint32_t length)
{
    for (std::uint32_t i = 0; i < length; ++i)
        if (text[i] >= 'A' && text[i] <= 'Z')
            text[i] = static_cast<char>(text[i] - 'A' + 'a');
}

std::int32_t testFile(const char* path)
{
    return state().files.count(path) != 0 ? 3 : fileError;
}

bool parseClassId(const char* text, CLSID* clsid)
{
    // The text must convert into 100 UTF-16 units with its terminator. Text
    // that is not a class id is looked up as a program id.
    if (std::strlen(text) + 1 > 100)
        return false;
    return readClassId(text, clsid) || readClassId(programIdClass(text), clsid);
}

} // namespace platform

namespace memory {

void addKey(platform::RootKey root, const std::string& path)
{
    makeNode(root, path);
}

void setValue(platform::RootKey root, const std::string& path, const std::string& valueName, const std::string& data)
{
    makeNode(root, path).values[valueName] = data;
}

void setText(platform::RootKey root, const std::string& path, const std::string& valueName, const std::string& text)
{
    setValue(root, path, valueName, text + '\0');
}

void addFile(const std::string& path)
{
    state().files.insert(path);
}

int openKeyCount()
{
    return static_cast<int>(state().openKeys.size());
}

} // namespace memory
