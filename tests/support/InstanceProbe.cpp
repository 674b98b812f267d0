// Starts the way a further copy of the program would, for the single-instance tests:
//   InstanceProbe [--crash] SERVER [ARGUMENT]
// Exits 0 when it would go on starting and 3 when it would end; --crash leaves without cleaning up,
// as a crashed copy does.
#include "TSingleInstance.h"

#include <QCoreApplication>

#include <cstdlib>
#include <cstring>

int main(int argc, char **argv)
{
    const bool crash = argc > 1 && std::strcmp(argv[1], "--crash") == 0;
    const int first = crash ? 2 : 1;
    if (argc <= first)
        return 2;
    QCoreApplication app(argc, argv);
    TSingleInstance instance(QString::fromLocal8Bit(argv[first]));
    const bool goesOn = instance.Claim(argc > first + 1);
    if (crash)
        std::_Exit(0);
    return goesOn ? 0 : 3;
}
