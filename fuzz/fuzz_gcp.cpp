// SPDX-License-Identifier: GPL-3.0-or-later
// .gcp decoding: any bytes decode or are refused without harm, and what
// decodes survives an encode/decode round trip unchanged.

#include "FuzzSupport.h"

#include "document/ScoreFile.h"

KELVO_FUZZ_TARGET(gcp)
{
    const ScoreFile::Decoded decoded = ScoreFile::decode(Fuzz::bytes(data, size));
    if (!decoded.ok()) {
        // A refused file must not hand half its texts to the editor.
        FUZZ_CHECK(decoded.lyric.isEmpty() && decoded.score.isEmpty(), QString());
        return 0;
    }
    const QByteArray encoded = ScoreFile::encode(decoded.lyric, decoded.score);
    const ScoreFile::Decoded again = ScoreFile::decode(encoded);
    FUZZ_CHECK(again.ok(), QString());
    FUZZ_CHECK(again.lyric == decoded.lyric, QString());
    FUZZ_CHECK(again.score == decoded.score, QString());
    FUZZ_CHECK(ScoreFile::encode(again.lyric, again.score) == encoded, QString());
    return 0;
}
