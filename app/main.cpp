#include "app/programRun.h"
#include "platform/platform.h"

int main()
{
    const int status = runProgram();
    platform::endIfThreadsLeft(status);
    return status;
}
