#pragma once

// Shown in the status bar and printed by --version.
inline constexpr const char *PelmorVersionText = "Ver0.208a";
