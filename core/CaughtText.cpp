#include "core/CaughtText.h"

#include <exception>

QString CaughtText()
{
    // Outside a handler a rethrow would end the program.
    if (!std::current_exception())
        return QStringLiteral("no exception");
    try {
        throw;
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("an exception of unknown type");
    }
}
