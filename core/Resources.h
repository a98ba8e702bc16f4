// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Registers the compiled-in resources (icons, notation font, dictionary).
// The resource code sits in a static library, so it has to be referenced
// explicitly; safe to call more than once.
void initResources();
