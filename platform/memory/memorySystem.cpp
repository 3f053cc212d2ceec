// The stand-in's COM, guard and console, and the reset of all its state.
#include <iostream>

#include "platform/memory/standInState.h"

namespace memory::standIn {

State& state()
{
    static State instance;
    return instance;
}

} // namespace memory::standIn

using memory::standIn::state;

namespace platform {

void startCom()
{
    ++state().comDepth;
}

void endCom()
{
    --state().comDepth;
}

HRESULT createInstance(const CLSID& clsid, const IID& iid, void** object)
{
    *object = nullptr;
    if (state().comDepth <= 0)
        return CO_E_NOTINITIALIZED;
    for (const auto& [registered, factory] : state().classes)
        if (sameGuid(registered, clsid))
            return factory(iid, object);
    return REGDB_E_CLASSNOTREG;
}

bool runGuarded(void (*call)(void* context), void* context, std::uint32_t* faultCode)
{
    try {
        call(context);
        return true;
    } catch (const memory::DriverFault& fault) {
        *faultCode = fault.code;
        return false;
    }
}

void takeConsole()
{
    state().consoleTaken = true;
    state().codePagesSet.push_back(65001);
}

void releaseConsole()
{
    if (!state().consoleTaken)
        return;
    state().consoleTaken = false;
    state().codePagesSet.push_back(437);
}

void* consoleWindow()
{
    return state().consoleWindow;
}

void waitForKey()
{
    if (state().consoleInput)
        ++state().consoleKeysRead;
    else
        std::cin.get();
}

} // namespace platform

namespace memory {

void reset()
{
    standIn::State& s = standIn::state();
    for (platform::RegKey key : s.openKeys)
        delete key;
    s = standIn::State{};
}

void registerClass(const CLSID& clsid, ClassFactory factory)
{
    standIn::state().classes.emplace_back(clsid, std::move(factory));
}

void setConsoleWindow(void* window)
{
    standIn::state().consoleWindow = window;
}

int comDepth()
{
    return standIn::state().comDepth;
}

std::vector<unsigned> consoleCodePagesSet()
{
    return standIn::state().codePagesSet;
}

void setConsoleInput(bool console)
{
    standIn::state().consoleInput = console;
}

int consoleKeysRead()
{
    return standIn::state().consoleKeysRead;
}

} // namespace memory
