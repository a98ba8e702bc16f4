#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Builds examples/sample.gcp: 《牡丹亭·游园》, 【步步娇】 and 【皂罗袍】.

The lyric is Tang Xianzu's text. The notation is a plausible setting in
小工调 for demonstration (one-board-three-eye metre: a beat mark on every
sung character, a 板 every four beats, each phrase held to a 底板); it is
not a transcription of a historical score.
Run with /usr/bin/python3; writes sample.gcp next to this script.
"""
import os
import random
import struct

LYRIC = """# 牡丹亭·游园
; 汤显祖《牡丹亭》第十出《惊梦》前半。杜丽娘与春香游园。工尺为演示所配，仅供参考。
= 杜丽娘：晓来望断梅关，宿妆残。
> 春香：你侧着宜春髻子恰凭阑。
【步步娇】(小工调)
袅晴丝吹来闲庭院，
摇漾春如线。
停半晌、整花钿，
没揣菱花，偷人半面，
迤逗的彩云偏。
> 春香：今日穿插的好。
= 杜丽娘：好天气也！
@换行符
【皂罗袍】(小工调)
原来姹紫嫣红开遍，
似这般都付与断井颓垣。
良辰美景奈何天，
赏心乐事谁家院！
= 杜丽娘：恁般景致，我老爷和奶奶再不提起。
朝飞暮卷，云霞翠轩；
雨丝风片，烟波画船——
锦屏人忒看的这韶光贱！"""

BLOCK = 31
BASE = 0xF0020
# Pentatonic ladder of the tune, as offsets inside a pitch block:
# 尺低 工低 合 四 上 尺 工 六 五 仩 伬 仜
LADDER = [4, 5, 7, 8, 10, 11, 12, 14, 15, 17, 18, 19]
TOUBAN, TOUYAN, ZHONGYAN, MOYAN = 0xF0000, 0xF0001, 0xF0002, 0xF0001
YAOBAN, DIBAN, HUOQIANG = 0xF0006, 0xF000A, 0xF000C
BEATS = [TOUBAN, TOUYAN, ZHONGYAN, MOYAN]


def pitch(offset, breath=False, small=False):
    block = (1 if breath else 0) + (2 if small else 0)
    return chr(BASE + BLOCK * block + offset)


def is_paired(ch):
    return ch == " " or "\u4e00" <= ch <= "\u9fa5"


def is_markup(line):
    return line[:1] in ("#", ";", ">", "=", "【", "@")


def notation(rng, chars_in_phrase, beat):
    """One notation string per sung character of a phrase that starts on
    `beat` of its tune; returns them and the beat after the phrase.

    一板三眼: a beat mark on every character's first note, 板 on every
    fourth beat from the tune's first. The phrase's last character is held
    through the eyes left in its measure to the 底板 on the next 板, so the
    next phrase starts on the 头眼 after it."""
    out = []
    pos = rng.randint(4, 7)
    for i in range(chars_in_phrase):
        last = i == chars_in_phrase - 1
        notes = 1 if last else rng.choice([1, 2, 2, 3])
        s = ""
        for n in range(notes):
            pos = max(1, min(len(LADDER) - 2, pos + rng.choice([-2, -1, -1, 1, 1, 2])))
            small = n > 0 and notes == 3 and n == 1 and rng.random() < 0.5
            s += pitch(LADDER[pos], breath=last and n == notes - 1, small=small)
            if n == 0:
                mark = BEATS[beat % 4]
                # The melody is drawn from the same generator: this draw
                # stays where it always was so that the pitches do too.
                if i % 4 == 0 and rng.random() < 0.2 and beat % 4 == 0:
                    mark = YAOBAN
                s += chr(mark)
                beat += 1
            elif rng.random() < 0.08:
                s += chr(HUOQIANG)
        if last:
            while beat % 4:
                s += chr(BEATS[beat % 4])
                beat += 1
            s += chr(DIBAN)
            beat += 1
        out.append(s)
    return out, beat


def build():
    rng = random.Random(1598)
    score = []
    beat = 0
    for line in LYRIC.split("\n"):
        if line.startswith("【"):
            beat = 0  # every tune counts its beats afresh
        if is_markup(line):
            continue
        phrase = 0
        for ch in line:
            if is_paired(ch):
                phrase += 1
            elif phrase:
                strings, beat = notation(rng, phrase, beat)
                score += strings
                phrase = 0
        if phrase:
            strings, beat = notation(rng, phrase, beat)
            score += strings
    # A score text built by editing keeps one trailing line of its own.
    return LYRIC, "\n".join(score + [""])


def qstring(text):
    data = text.encode("utf-16-be")
    return struct.pack(">i", len(data) // 2) + struct.pack(">I", len(data)) + data


def main():
    lyric, score = build()
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, "sample.gcp"), "wb") as f:
        f.write(qstring(lyric) + qstring(score))


if __name__ == "__main__":
    main()
