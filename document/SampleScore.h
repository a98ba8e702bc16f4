// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "document/LayoutItem.h"

#include <QString>

// The bundled sample score (《牡丹亭·游园》) and the user's own copy of it.
namespace SampleScore {

// The sample as compiled into the program.
QString resourcePath(); // ":/examples/sample.gcp"

// The user's copy in the data folder: written from the bundled sample the
// first time, then left as the user edited it. Empty when it can be neither
// found nor written (a read-only data folder, a folder in its place).
QString userCopy();

// The bundled sample's lines as the editor reads them; empty should the
// resource be missing or damaged.
LayoutItems layoutItems();

} // namespace SampleScore
