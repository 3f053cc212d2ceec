// Times the registry scan on a machine with many registered classes: the
// class lookup each driver would make on its own, enumerating the class
// registry from the start, against the lookup the scan shares between its
// drivers. Run it in a private Wine prefix (scripts/benchmark-scan.sh): it
// fills HKEY_CLASSES_ROOT\CLSID and HKEY_LOCAL_MACHINE\Software\ASIO.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "driver/classLookup.h"
#include "driver/driverScan.h"
#include "literalClassLookup.h"
#include "testing/win32/registryWriter.h"

namespace {

constexpr int classCount = 20000;
constexpr int runs = 5;

std::string classIdText(std::uint32_t n)
{
    // Multiplying by an odd number scatters the ids through the sorted
    // enumeration order.
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-BE4C-4A11-9E7D-%012X}", static_cast<unsigned>(n * 2654435761u),
                  static_cast<unsigned>(n));
    return text;
}

void setText(platform::RootKey root, const std::string& path, const char* valueName, const std::string& text)
{
    writeRegistryItem({root, path, true, valueName, text + '\0', true});
}

// The class ids in the order the registry enumerates them.
std::vector<std::string> registerClasses()
{
    char server[MAX_PATH];
    GetModuleFileNameA(nullptr, server, sizeof server);
    std::vector<std::string> ids;
    for (int n = 0; n < classCount; ++n) {
        ids.push_back(classIdText(static_cast<std::uint32_t>(n)));
        setText(platform::RootKey::classesRoot, "CLSID\\" + ids.back() + "\\InprocServer32", "", server);
    }
    std::sort(ids.begin(), ids.end());
    std::vector<std::string> order;
    HKEY clsid;
    RegOpenKeyA(HKEY_CLASSES_ROOT, "CLSID", &clsid);
    char name[512];
    for (DWORD i = 0; RegEnumKeyA(clsid, i, name, sizeof name) == ERROR_SUCCESS; ++i)
        if (std::binary_search(ids.begin(), ids.end(), name))
            order.push_back(name);
    RegCloseKey(clsid);
    return order;
}

// Registers count drivers whose classes lie spread through the enumeration
// order, the first at its very end; with stale set, every tenth names a
// class that is not registered.
void registerDrivers(const std::vector<std::string>& order, int count, bool stale)
{
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\ASIO");
    for (int k = 0; k < count; ++k) {
        const std::size_t position = order.size() - 1 - static_cast<std::size_t>(k) * (order.size() / count);
        const bool isStale = stale && k % 10 == 9;
        const std::string id = isStale ? classIdText(classCount + static_cast<std::uint32_t>(k)) : order[position];
        char subkey[64];
        std::snprintf(subkey, sizeof subkey, "Software\\ASIO\\Driver %03d", k);
        setText(platform::RootKey::localMachine, subkey, "CLSID", id);
        setText(platform::RootKey::localMachine, subkey, "Description", subkey + 14);
    }
}

struct Measure {
    double milliseconds;
    std::uint64_t registryCalls;
    int drivers;
};

Measure scanOnce(const ServerLookup& findServerPath)
{
    const std::uint64_t callsBefore = platform::registryCallCount();
    const auto start = std::chrono::steady_clock::now();
    DriverEntry* entries = readInstalledDrivers(findServerPath);
    const auto end = std::chrono::steady_clock::now();
    int drivers = 0;
    while (entries != nullptr) {
        ++drivers;
        delete std::exchange(entries, entries->next);
    }
    return {std::chrono::duration<double, std::milli>(end - start).count(), platform::registryCallCount() - callsBefore,
            drivers};
}

// The median time of several scans, and the calls and drivers of one.
Measure median(const std::function<Measure()>& scan)
{
    std::vector<Measure> measures;
    for (int run = 0; run < runs; ++run)
        measures.push_back(scan());
    std::sort(measures.begin(), measures.end(),
              [](const Measure& a, const Measure& b) { return a.milliseconds < b.milliseconds; });
    return measures[measures.size() / 2];
}

} // namespace

int main()
{
    std::printf("Registering %d classes...\n", classCount);
    const std::vector<std::string> order = registerClasses();
    std::printf("%d classes, median of %d scans\n\n", static_cast<int>(order.size()), runs);
    std::printf("drivers  stale  listed  literal ms  scan ms    ratio  literal calls  scan calls\n");
    for (bool stale : {false, true}) {
        for (int count : {1, 10, 100}) {
            registerDrivers(order, count, stale);
            const Measure literal = median([] { return scanOnce(literalFindServerPath); });
            const Measure shared = median([] {
                ClassLookup classes;
                return scanOnce([&classes](const char* text) { return classes.findServerPath(text); });
            });
            if (literal.drivers != shared.drivers) {
                std::fprintf(stderr, "the two scans listed %d and %d drivers\n", literal.drivers, shared.drivers);
                return 1;
            }
            std::printf("%7d  %5d  %6d  %10.1f  %7.2f  %7.1f  %13llu  %10llu\n", count, stale ? count / 10 : 0,
                        shared.drivers, literal.milliseconds, shared.milliseconds,
                        literal.milliseconds / shared.milliseconds,
                        static_cast<unsigned long long>(literal.registryCalls),
                        static_cast<unsigned long long>(shared.registryCalls));
        }
    }
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\ASIO");
    return 0;
}
