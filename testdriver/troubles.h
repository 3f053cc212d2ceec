// A script's trouble, done for real inside the host: the host must survive
// what a real driver does.
#pragma once

#include "testing/fakeDriver.h"

void makeTrouble(fake::Trouble trouble, std::uint32_t code);
