#pragma once

// Shows the utility rules' "except" box in the GUI, whichever thread the rule ran on.
namespace TGuardMessageBox {
void Install();
}
