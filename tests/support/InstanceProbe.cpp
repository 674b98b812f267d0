// A further start of the program, for the single-instance tests: InstanceProbe [--crash] SERVER [ARGUMENT].
// Exits 0 when it would go on starting, 3 when it would end; --crash leaves without cleaning up.
#include "core/TSingleInstance.h"

#include <QCoreApplication>

#include <cstdlib>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    const bool crash = args.removeOne(QStringLiteral("--crash"));
    if (args.size() < 2)
        return 2;
    TSingleInstance instance(args[1]);
    const bool goesOn = instance.Claim(args.size() > 2);
    if (crash)
        std::_Exit(0);
    return goesOn ? 0 : 3;
}
