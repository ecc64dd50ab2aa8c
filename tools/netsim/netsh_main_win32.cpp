// netsh.exe of the network simulator.
#include "tools/netsim/netsim_program.h"

int main() {
    return netsim::RunToolProgram(L"netsh", netsim::RunNetsh, true);
}
