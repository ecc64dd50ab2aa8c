// route.exe of the network simulator.
#include "tools/netsim/netsim_program.h"

int main() {
    return netsim::RunToolProgram(L"route", netsim::RunRoute, true);
}
