#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks of the music export with programs that are not ours.

    external_checks.py <check> --exe kelvo-gongche --sample sample.gcp

Each check exports the sample with the built program (headless, in a
temporary folder that also holds its data and settings) and hands the file
to an independent reader, converter or synthesiser. Exit status 0 passed,
1 failed, 77 skipped because a tool is not installed (CTest's
SKIP_RETURN_CODE): a missing tool is said, never passed over silently.
"""

import argparse
import array
import math
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unicodedata
import xml.etree.ElementTree as ElementTree

SKIP = 77
# Debian's General MIDI SoundFonts, best first: fluid-soundfont-gm, then the
# small timgm6mb-soundfont that test.sh installs.
SOUNDFONTS = ["/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/sounds/sf2/TimGM6mb.sf2"]


class Skip(Exception):
    pass


class Failure(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise Failure(message)


# ---- common helpers -----------------------------------------------------------


def need_tool(tool, package):
    if shutil.which(tool) is None:
        raise Skip(f"{tool} not installed (apt-get install {package})")


def need_file(path, package):
    if not os.path.isfile(path):
        raise Skip(f"{path} not installed (apt-get install {package})")


def need_module(module, package):
    try:
        return __import__(module)
    except ImportError:
        raise Skip(f"{module} not installed (apt-get install {package})")


def environment(folder):
    """The program's and the tools' home, settings and data inside folder."""
    env = dict(os.environ)
    for name, sub in (("HOME", "home"), ("XDG_CONFIG_HOME", "config"),
                      ("XDG_DATA_HOME", "share"), ("XDG_CACHE_HOME", "cache"),
                      ("XDG_RUNTIME_DIR", "runtime"), ("KELVO_DATA_DIR", "data")):
        path = os.path.join(folder, sub)
        os.makedirs(path, mode=0o700, exist_ok=True)
        env[name] = path
    env["QT_QPA_PLATFORM"] = "offscreen"
    env["KELVO_OFFLINE"] = "1"
    return env


def run(command, env, timeout=240):
    result = subprocess.run(command, env=env, capture_output=True, text=True,
                            timeout=timeout)
    return result


def export(args, folder, fmt, name, *options, source=None):
    """Exports the sample (or source); returns (path, note count, section count)."""
    target = os.path.join(folder, name)
    result = run([args.exe, "--export", target, "--format", fmt, *options,
                  source or args.sample], environment(folder))
    expect(result.returncode == 0,
           f"export to {fmt} failed ({result.returncode}): {result.stderr.strip()}")
    match = re.search(r"^exported (\d+) note\(s\) in (\d+) section\(s\) to ", result.stderr,
                      re.MULTILINE)
    expect(match, f"no count of the notes exported: {result.stderr.strip()}")
    expect(os.path.isfile(target), f"{target} was not written")
    return target, int(match.group(1)), int(match.group(2))


def sung_characters(sample):
    """Ideographs of the sung lines of a .gcp file, counted independently of
    the program: every lyric line that is not a title (#), comment (;),
    spoken line (= or >), command (@) or tune heading (【)."""
    with open(sample, "rb") as f:
        data = f.read()
    texts, pos = [], 0
    for _ in range(2):  # lyric, score: a count, then a QDataStream QString
        pos += 4
        (size,) = struct.unpack(">I", data[pos:pos + 4])
        pos += 4
        texts.append(data[pos:pos + size].decode("utf-16-be"))
        pos += size
    return sum(1 for line in texts[0].split("\n") if line and line[0] not in "#;=>@【"
               for c in line if unicodedata.category(c) == "Lo")


def first_note(path):
    """(pitch, start seconds, end seconds) of the first note of a MIDI file,
    read without any MIDI library: tempo from the first track, notes from
    the second."""
    with open(path, "rb") as f:
        data = f.read()
    division = struct.unpack(">H", data[12:14])[0]
    tracks, pos = [], 14
    while pos < len(data):
        size = struct.unpack(">I", data[pos + 4:pos + 8])[0]
        tracks.append(data[pos + 8:pos + 8 + size])
        pos += 8 + size

    def events(track):
        at, tick, status = 0, 0, 0
        while at < len(track):
            delta = 0
            while True:
                b = track[at]
                at += 1
                delta = (delta << 7) | (b & 0x7F)
                if not b & 0x80:
                    break
            tick += delta
            if track[at] & 0x80:
                status = track[at]
                at += 1
            if status == 0xFF:
                kind, length = track[at], track[at + 1]
                yield tick, "meta", kind, track[at + 2:at + 2 + length]
                at += 2 + length
            elif status & 0xF0 in (0x80, 0x90):
                yield tick, "on" if status & 0xF0 == 0x90 and track[at + 1] else "off", \
                    track[at], None
                at += 2
            elif status & 0xF0 in (0xC0, 0xD0):
                at += 1
            else:
                at += 2

    tempo = 500000
    for _, kind, code, payload in events(tracks[0]):
        if kind == "meta" and code == 0x51:
            tempo = int.from_bytes(payload, "big")
            break
    seconds = tempo / 1e6 / division
    pitch = start = None
    for tick, kind, note, _ in events(tracks[1]):
        if kind == "on" and pitch is None:
            pitch, start = note, tick
        elif kind == "off" and pitch is not None and note == pitch:
            return pitch, start * seconds, tick * seconds
    raise Failure(f"{path} has no note")


def goertzel(samples, rate, frequency):
    """Power of one frequency in the samples."""
    w = 2 * math.pi * frequency / rate
    coefficient = 2 * math.cos(w)
    s1 = s2 = 0.0
    for x in samples:
        s1, s2 = x + coefficient * s1 - s2, s1
    return s1 * s1 + s2 * s2 - coefficient * s1 * s2


def frequency_of(midi):
    return 440.0 * 2 ** ((midi - 69) / 12)


def sounded_notes(path):
    """Notes that start a sound in a MusicXML file: pitched, not a grace
    note, not a chord member, not the continuation of a tie."""
    try:
        tree = ElementTree.parse(path)
    except ElementTree.ParseError as error:
        raise Failure(f"{os.path.basename(path)} is no well-formed XML: {error}")
    count = 0
    for note in tree.iter():
        if note.tag.rsplit("}", 1)[-1] != "note":
            continue
        children = [child.tag.rsplit("}", 1)[-1] for child in note]
        if "pitch" not in children or "grace" in children or "chord" in children:
            continue
        if any(child.tag.endswith("tie") and child.get("type") == "stop" for child in note):
            continue
        count += 1
    return count


# ---- the checks ---------------------------------------------------------------


def check_mido(args, folder):
    """Read back by python3-mido: format, division, tempo, signatures, the
    instrument, a lyric per sung character, every note exported."""
    mido = need_module("mido", "python3-mido")
    path, count, sections = export(args, folder, "midi", "sample.mid", "--tempo", "30")
    plain, plain_count, _ = export(args, folder, "midi", "plain.mid", "--tempo", "30",
                                   "--no-ornaments")
    expect(count == plain_count, f"note counts differ: {count} and {plain_count}")
    midi = mido.MidiFile(path, charset="utf-8")
    expect(midi.type == 1, f"type {midi.type}, not 1")
    expect(midi.ticks_per_beat == 480, f"{midi.ticks_per_beat} ticks per beat, not 480")
    expect(len(midi.tracks) == 2, f"{len(midi.tracks)} tracks, not 2")
    conductor = list(midi.tracks[0])
    tempos = [m.tempo for m in conductor if m.type == "set_tempo"]
    expect(tempos == [2000000], f"tempos {tempos}, not [2000000] (30 a minute)")
    # One at each section, and one wherever a bar changes its length.
    times = [(m.numerator, m.denominator) for m in conductor if m.type == "time_signature"]
    expect(len(times) >= sections, f"{len(times)} time signatures for {sections} sections")
    expect(times[0] == (4, 4), f"first time signature {times[0]}, not 4/4")
    keys = [m.key for m in conductor if m.type == "key_signature"]
    expect(keys and keys[0] == "D", f"key signatures {keys}: the sample is in 小工调 (D)")
    melody = list(midi.tracks[1])
    programs = [m.program for m in melody if m.type == "program_change"]
    expect(programs == [73], f"programs {programs}, not [73] (flute)")
    lyrics = [m.text for m in melody if m.type == "lyrics"]
    sung = sung_characters(args.sample)
    expect(len(lyrics) == sung, f"{len(lyrics)} lyrics for {sung} sung characters")
    expect(lyrics[0] == "袅", f"first lyric {lyrics[0]!r}")
    ons = [m for m in melody if m.type == "note_on" and m.velocity > 0]
    expect(len(ons) >= count, f"{len(ons)} notes sound, {count} exported")
    plain_ons = [m for m in mido.MidiFile(plain).tracks[1]
                 if m.type == "note_on" and m.velocity > 0]
    expect(len(plain_ons) == count,
           f"without ornaments {len(plain_ons)} notes sound, {count} exported")
    print(f"mido: {count} notes ({len(ons)} sounding with ornaments), {len(lyrics)} lyrics, "
          f"{sections} sections")


def long_score(folder, characters=9000, marks=64):
    """One tune of `characters` sung characters, each a 上 held over
    `marks` beat marks (a 头板, then 头眼): longer than a four-byte MIDI
    delta time counts in ticks."""
    line = "\U000F002A" + "\U000F0000" + "\U000F0001" * (marks - 1)
    return write_score(os.path.join(folder, "long.gcp"), "【步步娇】(小工调)\n" + "天" * characters,
                       "\n".join([line] * characters))


def check_mido_long(args, folder):
    """A piece longer than a delta time of four bytes reaches: mido reads
    every delta within four bytes, both tracks to the same end, every note
    on matched by its note off."""
    mido = need_module("mido", "python3-mido")
    characters, beats = 9000, 64
    path = os.path.join(folder, "long.mid")
    result = run([args.exe, "--export", path, "--format", "midi", long_score(folder, characters, beats)],
                 environment(folder))
    expect(result.returncode == 0,
           f"export to midi failed ({result.returncode}): {result.stderr.strip()}")
    midi = mido.MidiFile(path)
    end = characters * beats * midi.ticks_per_beat
    for number, track in enumerate(midi.tracks):
        longest = max(m.time for m in track)
        expect(longest <= 0x0FFFFFFF, f"track {number}: a delta time of {longest} ticks "
                                      "(more than four bytes)")
        total = sum(m.time for m in track)
        expect(total == end, f"track {number} ends at tick {total}, not {end}")
    sounding = {}
    ons = 0
    for m in midi.tracks[1]:
        if m.type == "note_on" and m.velocity > 0:
            ons += 1
            sounding[m.note] = sounding.get(m.note, 0) + 1
        elif m.type in ("note_off", "note_on"):
            expect(sounding.get(m.note, 0) > 0, f"note off {m.note} without its note on")
            sounding[m.note] -= 1
    expect(ons == characters, f"{ons} notes, not {characters}")
    expect(not any(sounding.values()), "notes left sounding at the end")
    print(f"mido: {ons} notes over {end} ticks, every delta within four bytes")


def check_fluidsynth(args, folder):
    """Listen by proxy: the first note of the sample, synthesised, has its
    loudest frequency at the written pitch (within a quarter tone)."""
    need_tool("fluidsynth", "fluidsynth")
    need_tool("sox", "sox")
    soundfont = next((f for f in SOUNDFONTS if os.path.isfile(f)), None)
    if soundfont is None:
        raise Skip("no General MIDI SoundFont installed "
                   "(apt-get install timgm6mb-soundfont or fluid-soundfont-gm)")
    path, _, _ = export(args, folder, "midi", "phrase.mid", "--tempo", "30", "--no-ornaments")
    pitch, start, end = first_note(path)
    wav = os.path.join(folder, "phrase.wav")
    env = environment(folder)
    result = run(["fluidsynth", "-ni", "-g", "1.0", "-r", "44100", "-F", wav, soundfont, path],
                 env)
    expect(result.returncode == 0 and os.path.isfile(wav),
           f"fluidsynth failed ({result.returncode}): {result.stderr.strip()}")
    # The steady part of the note: past the attack, before the release.
    rate = 44100
    begin = start + 0.1
    length = max(0.1, min(0.5, end - begin - 0.05))
    raw = os.path.join(folder, "first.raw")
    result = run(["sox", wav, "-t", "raw", "-r", str(rate), "-e", "signed-integer", "-b", "16",
                  "-c", "1", raw, "trim", f"{begin:.3f}", f"{length:.3f}"], env)
    expect(result.returncode == 0, f"sox failed: {result.stderr.strip()}")
    samples = array.array("h")
    with open(raw, "rb") as f:
        samples.frombytes(f.read())
    if sys.byteorder == "big":
        samples.byteswap()
    expect(len(samples) > rate // 20, f"only {len(samples)} samples of the first note")
    rms = math.sqrt(sum(x * x for x in samples) / len(samples)) / 32768
    expect(rms > 0.005, f"the first note is silent (RMS {rms:.5f})")
    strongest = max(range(36, 109), key=lambda m: goertzel(samples, rate, frequency_of(m)))
    # The peak to 5 cents around the strongest semitone.
    cents = max(range(-50, 51, 5),
                key=lambda c: goertzel(samples, rate, frequency_of(strongest + c / 100)))
    heard = strongest + cents / 100
    expect(abs(heard - pitch) <= 0.5,
           f"loudest {frequency_of(heard):.1f} Hz (MIDI {heard:.2f}), written {pitch} "
           f"({frequency_of(pitch):.1f} Hz)")
    print(f"fluidsynth: first note written {pitch} ({frequency_of(pitch):.1f} Hz), "
          f"loudest {frequency_of(heard):.1f} Hz, RMS {rms:.3f}")


def write_score(path, lyric, score):
    """A .gcp file of the two texts, written without the program."""
    def field(text):
        data = text.encode("utf-16-be")
        return struct.pack(">i", len(data) // 2) + struct.pack(">I", len(data)) + data
    with open(path, "wb") as f:
        f.write(field(lyric) + field(score))
    return path


def two_note_score(folder):
    """A score of two characters in 小工调, 上 on a 头板 and 尺 on a 头眼:
    D5 for one beat, then E5 for one beat."""
    shang, chi, touban, touyan = "\U000F002A", "\U000F002B", "\U000F0000", "\U000F0001"
    return write_score(os.path.join(folder, "two.gcp"), "天地",
                       shang + touban + "\n" + chi + touyan)


def dense_score(folder):
    """Twelve characters as real arias hold them: ten notes and eight beat
    marks on each (板 and 眼 in turn, with waist marks between)."""
    notes = [chr(0xF0000 + c) for c in (0x2A, 0x2B, 0x2C, 0x2D, 0x2E, 0x2F, 0x2C, 0x2B,
                                         0x2A, 0x28)]
    marks = [chr(0xF0000 + c) for c in (0x0, 0x1, 0x4, 0x2, 0x1, 0x3, 0x1, 0x5)]
    line = "".join(n + (marks[i] if i < len(marks) else "") for i, n in enumerate(notes))
    lyric = "【山坡羊】\n" + "原来姹紫嫣红开遍似这般都"
    return write_score(os.path.join(folder, "dense.gcp"), lyric, "\n".join([line] * 12))


def melisma_score(folder):
    """A tune sung as a transcriber meets it at its densest: up to ten notes
    and eight beat marks on a character, small notes, 气口 on held notes and
    inside beats, a phrase held to its 底板."""
    offsets = {"上": 0x2A, "尺": 0x2B, "工": 0x2C, "六": 0x2E, "五": 0x2F, "四": 0x28, "合": 0x27}
    marks = {"板": 0x0, "眼": 0x1, "中": 0x2, "腰": 0x6, "底": 0xA, "豁": 0xC}

    def glyph(token):
        if token in marks:
            return chr(0xF0000 + marks[token])
        block = ("'" in token) + 2 * ("x" in token)  # breath, small
        return chr(0xF0000 + offsets[token[0]] + 31 * block)

    characters = [
        "上 板 尺 工 六 五 六 工 尺 上 尺'",
        "工 眼 六x 工 尺 中 上 尺x 工 眼 六 五 六'",
        "五 板 六 工 眼 尺 中 上 尺 眼 工 板 六 眼 五 中 六' 眼",
        "六 底 五 六x 工 尺 工 豁 上 尺 四 合'",
        "上 眼 尺x 上 中 四 上 眼 尺 工 六 五 六 工 板 尺 眼 上'",
        "尺 中 工 眼 六 工 尺 上 尺 工 上 尺 板 工'",
        "上 眼 中 眼 底",
    ]
    score = "\n".join("".join(glyph(t) for t in c.split()) for c in characters)
    return write_score(os.path.join(folder, "melisma.gcp"), "【山坡羊】(小工调)\n没乱里春情难遣",
                       score)


def local(tag):
    return tag.rsplit("}", 1)[-1]


def musicxml_sections(path):
    """The MusicXML's notes section by section (a double or final bar ends
    one): each note a dict of its start and length in quarter beats, rest,
    tie stop and start, breath mark and beams {level: kind}, and each
    measure as (number, start, length, length its time signature asks)."""
    root = ElementTree.parse(path).getroot()
    part = next(e for e in root if local(e.tag) == "part")
    sections, notes, measures = [], [], []
    divisions, beats, beat_type, at = 1, 4, 4, 0.0
    for measure in part:
        start, length, closed = at, 0.0, False
        for element in measure:
            kind = local(element.tag)
            if kind == "attributes":
                for child in element.iter():
                    name = local(child.tag)
                    if name == "divisions":
                        divisions = int(child.text)
                    elif name == "beats":
                        beats = int(child.text)
                    elif name == "beat-type":
                        beat_type = int(child.text)
            elif kind == "note":
                children = {local(c.tag): c for c in element}
                duration = int(children["duration"].text) / divisions
                ties = {c.get("type") for c in element if local(c.tag) == "tie"}
                notes.append({
                    "start": at, "length": duration, "rest": "rest" in children,
                    "tie_stop": "stop" in ties, "tie_start": "start" in ties,
                    "breath": any(local(c.tag) == "breath-mark" for c in element.iter()),
                    "beams": {int(c.get("number", "1")): c.text for c in element
                              if local(c.tag) == "beam"},
                    "measure": measure.get("number")})
                at += duration
                length += duration
            elif kind == "barline":
                style = element.find("{*}bar-style")
                if style is None:
                    style = element.find("bar-style")
                closed = style is not None and style.text in ("light-light", "light-heavy")
        measures.append((measure.get("number"), start, length, beats * 4 / beat_type))
        if closed:
            sections.append((notes, measures))
            notes, measures = [], []
    if notes or measures:
        sections.append((notes, measures))
    return sections


def midi_onsets(path):
    """Onsets in beats of the notes of a MIDI file written without ornaments."""
    mido = need_module("mido", "python3-mido")
    midi = mido.MidiFile(path)
    tick, onsets = 0, []
    for message in midi.tracks[1]:
        tick += message.time
        if message.type == "note_on" and message.velocity > 0:
            onsets.append(tick / midi.ticks_per_beat)
    return onsets


def loudest_by_sox(wav, begin, length, env):
    """The frequency of the strongest line in sox's spectrum of a stretch."""
    result = run(["sox", wav, "-n", "trim", f"{begin:.3f}", f"{length:.3f}", "remix", "1",
                  "stat", "-freq"], env)
    expect(result.returncode == 0, f"sox failed: {result.stderr.strip()}")
    lines = []
    for line in result.stderr.splitlines():
        parts = line.split()
        if len(parts) == 2:
            try:
                lines.append((float(parts[1]), float(parts[0])))
            except ValueError:
                pass
    expect(lines, "sox printed no spectrum")
    return max(lines)[1]


def check_wav(args, folder):
    """The program's own WAV export of a two-note phrase: sox hears D5 in
    the first beat and E5 in the second (within a quarter tone), and the
    file lasts its whole 4/4 bar and the one-second release (within 5 %)."""
    need_tool("sox", "sox")
    if not any(os.path.isfile(f) for f in SOUNDFONTS):
        raise Skip("no General MIDI SoundFont installed "
                   "(apt-get install timgm6mb-soundfont or fluid-soundfont-gm)")
    env = environment(folder)
    wav = os.path.join(folder, "two.wav")
    result = run([args.exe, "--export", wav, "--format", "wav", "--tempo", "60",
                  two_note_score(folder)], env)
    expect(result.returncode == 0,
           f"export to wav failed ({result.returncode}): {result.stderr.strip()}")
    result = run(["soxi", "-D", wav], env)
    expect(result.returncode == 0, f"soxi failed: {result.stderr.strip()}")
    seconds = float(result.stdout.strip())
    expect(abs(seconds - 5.0) <= 0.25, f"the file lasts {seconds:.3f} s, not 5 s")
    for begin, midi in ((0.2, 74), (1.2, 76)):
        heard = loudest_by_sox(wav, begin, 0.6, env)
        semitones = 12 * math.log2(heard / frequency_of(midi))
        expect(abs(semitones) <= 0.5,
               f"at {begin} s sox hears {heard:.1f} Hz, written {frequency_of(midi):.1f} Hz")
        print(f"wav: at {begin} s sox hears {heard:.1f} Hz for {frequency_of(midi):.1f} Hz")
    print(f"wav: {seconds:.3f} s")


def check_notation(args, folder):
    """The MusicXML of the sample and of a melisma score as a transcription
    is written: every measure sums to its own time signature; the notes
    start where the program's MIDI of the same reading starts them, each
    lasting until the next (so their lengths are the reading's, a 气口
    cutting nothing from them); a breath mark over every 气口 and no rest
    between notes; beams begin, continue and end on each level inside one
    beat."""
    for name, source in (("sample", None), ("melisma", melisma_score(folder))):
        path, count, _ = export(args, folder, "musicxml", name + ".musicxml", source=source)
        midi, _, _ = export(args, folder, "midi", name + ".mid", "--no-ornaments", source=source)
        onsets = midi_onsets(midi)
        expect(len(onsets) == count, f"{name}: {len(onsets)} MIDI notes for {count}")
        breaths = 0
        with open(source or args.sample, "rb") as f:
            raw = f.read()
        score = raw.decode("utf-16-be", errors="replace")
        # Breath glyphs: the pitch blocks with 气口 (and small), and 疊腔气口.
        glyphs = sum(1 for c in score if 0xF003F <= ord(c) < 0xF005E or 0xF007D <= ord(c) < 0xF009C
                     or ord(c) == 0xF0009)
        next_onset = 0
        for number, (notes, measures) in enumerate(sections := musicxml_sections(path)):
            for measure, _, length, wanted in measures:
                expect(abs(length - wanted) < 1e-9,
                       f"{name}: measure {measure} lasts {length} beats, its time {wanted}")
            sounded = [n for n in notes if not n["rest"] and not n["tie_stop"]]
            pitched = [i for i, n in enumerate(notes) if not n["rest"]]
            if pitched:
                inner = notes[pitched[0]:pitched[-1] + 1]
                rests = [n["measure"] for n in inner if n["rest"]]
                expect(not rests, f"{name}: rests between notes in measures {rests}")
            ours = onsets[next_onset:next_onset + len(sounded)]
            next_onset += len(sounded)
            for k in range(1, len(sounded)):
                written = sounded[k]["start"] - sounded[k - 1]["start"]
                played = ours[k] - ours[k - 1]
                expect(abs(written - played) < 1e-6,
                       f"{name}: section {number + 1}, note {k}: {written} beats after the one "
                       f"before in the MusicXML, {played} in the MIDI")
            breaths += sum(n["breath"] for n in notes)
            open_beams = {}
            for n in notes:
                for level, kind in sorted(n["beams"].items()):
                    where = f"{name}: measure {n['measure']}, beam {level} {kind}"
                    beat = math.floor(n["start"] + 1e-9)
                    if kind == "begin":
                        expect(level not in open_beams, where + " inside an open beam")
                        open_beams[level] = beat
                    elif kind in ("continue", "end"):
                        expect(open_beams.get(level) == beat, where + " without its begin "
                               "in the same beat")
                        if kind == "end":
                            del open_beams[level]
                    else:
                        expect(kind in ("forward hook", "backward hook"), where)
                        expect(1 in open_beams or 1 in n["beams"], where + " outside a group")
                end_beat = math.floor(n["start"] + n["length"] - 1e-9)
                expect(all(b == end_beat for b in open_beams.values()),
                       f"{name}: measure {n['measure']}: a beam crosses a beat")
            expect(not open_beams, f"{name}: beams left open at the end of a section")
        expect(breaths == glyphs and glyphs > 0,
               f"{name}: {breaths} breath marks for {glyphs} 气口")
        beamed = sum(1 for notes, _ in sections for n in notes if n["beams"].get(1) == "begin")
        expect(beamed > 0, f"{name}: no beamed group")
        print(f"notation: {name}: {count} notes in {sum(len(m) for _, m in sections)} whole "
              f"measures, {beamed} beamed groups, {breaths} breath marks, no rest between notes")


def check_musescore(args, folder):
    """MuseScore 3 engraves the MusicXML without an error line, and reads
    back every note that was exported, with its beams."""
    need_tool("mscore3", "musescore3")
    for name, source in (("sample", None), ("melisma", melisma_score(folder))):
        musescore_round_trip(args, folder, name, source)


def musescore_round_trip(args, folder, name, source):
    path, count, _ = export(args, folder, "musicxml", name + ".musicxml", source=source)
    ours = sounded_notes(path)
    expect(ours == count, f"the file holds {ours} notes, the program reported {count}")
    env = environment(folder)
    pdf = os.path.join(folder, name + ".pdf")
    result = run(["mscore3", "-o", pdf, path], env)
    output = result.stdout + result.stderr
    expect(result.returncode == 0, f"MuseScore failed ({result.returncode}): {output.strip()}")
    errors = [line for line in output.splitlines() if "Error" in line]
    expect(not errors, "MuseScore reported:\n" + "\n".join(errors))
    expect(os.path.isfile(pdf) and os.path.getsize(pdf) > 1000, "MuseScore wrote no PDF")
    again = os.path.join(folder, name + "-again.musicxml")
    result = run(["mscore3", "-o", again, path], env)
    expect(result.returncode == 0 and os.path.isfile(again),
           f"MuseScore did not write MusicXML ({result.returncode}): {result.stderr.strip()}")
    theirs = sounded_notes(again)
    expect(theirs == ours, f"{name}: MuseScore read {theirs} notes, the file holds {ours}")

    # Breath marks are not compared: MuseScore 3 drops those after the
    # last note of a tuplet from its own MusicXML, though it shows them.
    def beams(file):
        with open(file, encoding="utf-8") as f:
            return f.read().count("<beam ")
    expect(beams(again) == beams(path),
           f"{name}: MuseScore kept {beams(again)} of {beams(path)} beams")
    print(f"musescore: {name}: all {ours} notes read with their beams, no error")


def check_schema(args, folder):
    """The MusicXML of the sample, a dense and a melisma score, with either
    rhythm, validates against the official MusicXML 4.0 schema (vendored
    beside this script)."""
    need_tool("xmllint", "libxml2-utils")
    schema = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data", "musicxml-4.0",
                          "musicxml.xsd")
    env = environment(folder)
    dense, melisma = dense_score(folder), melisma_score(folder)
    for name, source, notes, rhythm in ((n, s, c, r) for r in ("halving", "proportional")
                                        for n, s, c in (("sample", None, None),
                                                        ("dense", dense, 120),
                                                        ("melisma", melisma, 65))):
        name += "-" + rhythm
        path, count, _ = export(args, folder, "musicxml", name + ".musicxml", "--rhythm", rhythm,
                                source=source)
        expect(count > 0 and count == (notes or count),
               f"{name}: {count} notes exported, {notes or 'some'} written")
        result = run(["xmllint", "--noout", "--nonet", "--schema", schema, path], env)
        expect(result.returncode == 0,
               f"{name}: xmllint rejects the file ({result.returncode}):\n"
               + "\n".join(result.stderr.strip().splitlines()[:20]))
        print(f"schema: {name} ({count} notes) validates")


def check_lilypond(args, folder):
    """musicxml2ly converts the MusicXML and LilyPond engraves it without
    a bar check failing; the beams and breath marks reach the .ly file."""
    need_tool("musicxml2ly", "lilypond")
    need_tool("lilypond", "lilypond")
    env = environment(folder)
    for name, source in (("sample", None), ("melisma", melisma_score(folder))):
        path, count, _ = export(args, folder, "musicxml", name + ".musicxml", source=source)
        ly = os.path.join(folder, name + ".ly")
        result = run(["musicxml2ly", "--output=" + ly, path], env)
        expect(result.returncode == 0 and os.path.isfile(ly),
               f"musicxml2ly failed ({result.returncode}): {result.stderr.strip()}")
        with open(ly, encoding="utf-8") as f:
            text = f.read()
        expect("[" in text and "\\breathe" in text,
               f"{name}: the LilyPond file has no beam or no breath mark")
        result = run(["lilypond", "-o", os.path.join(folder, name), ly], env)
        pdf = os.path.join(folder, name + ".pdf")
        expect(result.returncode == 0 and os.path.isfile(pdf),
               f"LilyPond failed ({result.returncode}): {result.stderr.strip()}")
        bars = [line for line in result.stderr.splitlines() if "barcheck" in line.replace(" ", "")]
        expect(not bars, f"{name}: LilyPond's bar checks fail:\n" + "\n".join(bars[:10]))
        print(f"lilypond: {name}: {count} notes engraved, every bar check passes")


CHECKS = {
    "mido": check_mido,
    "mido_long": check_mido_long,
    "fluidsynth": check_fluidsynth,
    "musescore": check_musescore,
    "notation": check_notation,
    "lilypond": check_lilypond,
    "wav": check_wav,
    "schema": check_schema,
}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("check", choices=sorted(CHECKS))
    parser.add_argument("--exe", required=True, help="the built kelvo-gongche")
    parser.add_argument("--sample", required=True, help="the score to export")
    args = parser.parse_args()
    args.exe = os.path.abspath(args.exe)
    args.sample = os.path.abspath(args.sample)
    try:
        with tempfile.TemporaryDirectory(prefix=f"kelvo-{args.check}-") as folder:
            CHECKS[args.check](args, folder)
    except Skip as skip:
        print(f"SKIP: {skip}")
        return SKIP
    except (Failure, subprocess.TimeoutExpired) as failure:
        print(f"FAIL: {args.check}: {failure}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
