#include "app/programRun.h"

int main()
{
    return runProgram();
}
