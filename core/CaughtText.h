#pragma once

#include <QString>

// What the exception being handled says, for a diagnostic line: its what() text, or a note that it
// was no std::exception. Only to be called inside a catch block.
QString CaughtText();
