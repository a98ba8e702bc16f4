#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks the music exports of the program with independent programs.

    external_checks.py CHECK --exe PATH/kelvo-gongche --sample SCORE [--keep DIR]

Each CHECK exports the score through the program's command line into a
temporary folder (with HOME, XDG_* and KELVO_DATA_DIR pointing into it, so no
real settings are touched) and hands the file to another program. A tool that
is not installed makes the check exit 77 (skipped) after saying so; it never
passes silently. --keep copies what was made into DIR for a look.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

SKIP = 77
TIMEOUT = 240


class Failure(Exception):
    pass


def need(tool, package):
    if shutil.which(tool) is None:
        print(f"SKIP: {tool} not installed (apt-get install {package})")
        sys.exit(SKIP)


def environment(folder):
    """The environment of every program run: private home and data folders,
    no display, no network."""
    env = dict(os.environ)
    for name, sub in (("HOME", "home"), ("XDG_CONFIG_HOME", "config"),
                      ("XDG_DATA_HOME", "share"), ("XDG_CACHE_HOME", "cache"),
                      ("XDG_RUNTIME_DIR", "runtime"), ("KELVO_DATA_DIR", "kelvo")):
        path = os.path.join(folder, sub)
        os.makedirs(path, mode=0o700, exist_ok=True)
        env[name] = path
    env["QT_QPA_PLATFORM"] = "offscreen"
    env["KELVO_OFFLINE"] = "1"
    return env


class Context:
    def __init__(self, args, folder):
        self.args = args
        self.folder = folder
        self.env = environment(folder)

    def path(self, name):
        return os.path.join(self.folder, name)

    def run(self, command, what):
        """Runs a program in the temporary folder; its output as one text.
        A non-zero exit is a failure that shows the output."""
        try:
            done = subprocess.run(command, cwd=self.folder, env=self.env,
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                  timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            raise Failure(f"{what} did not finish within {TIMEOUT} s")
        except OSError as error:
            raise Failure(f"{what} could not start: {error}")
        output = done.stdout.decode("utf-8", "replace")
        if done.returncode != 0:
            raise Failure(f"{what} exited with {done.returncode}:\n{output}")
        return output

    def export(self, name, fmt, *options):
        """Exports the sample; the file and the note count the program reports."""
        target = self.path(name)
        output = self.run([self.args.exe, "--export", target, "--format", fmt, *options,
                           self.args.sample], f"export to {fmt}")
        found = re.search(r"exported (\d+) note", output)
        if not found:
            raise Failure(f"the export did not report its notes:\n{output}")
        if not os.path.getsize(target):
            raise Failure(f"the export wrote an empty {name}")
        return target, int(found.group(1))

    def keep(self, *names):
        if self.args.keep:
            os.makedirs(self.args.keep, exist_ok=True)
            for name in names:
                shutil.copy(self.path(name), self.args.keep)


def local(tag):
    return tag.rsplit("}", 1)[-1]


def sounded_notes(path):
    """Notes that start a sound in a MusicXML file: pitched, not a grace
    note, not a chord member, not the continuation of a tie."""
    try:
        tree = ElementTree.parse(path)
    except ElementTree.ParseError as error:
        raise Failure(f"{os.path.basename(path)} is no well-formed XML: {error}")
    count = 0
    for note in tree.iter():
        if local(note.tag) != "note":
            continue
        children = {local(child.tag): child for child in note}
        if "pitch" not in children or "grace" in children or "chord" in children:
            continue
        if any(local(c.tag) == "tie" and c.get("type") == "stop" for c in note):
            continue
        count += 1
    return count


def check_musescore(ctx):
    need("mscore3", "musescore3")
    score, notes = ctx.export("s.musicxml", "musicxml")
    ours = sounded_notes(score)
    if ours != notes:
        raise Failure(f"the file holds {ours} notes, the program reported {notes}")
    output = ctx.run(["mscore3", "-o", ctx.path("s.pdf"), score], "MuseScore (PDF)")
    errors = [line for line in output.splitlines() if "Error" in line]
    if errors:
        raise Failure("MuseScore reported:\n" + "\n".join(errors))
    if os.path.getsize(ctx.path("s.pdf")) < 1000:
        raise Failure("MuseScore wrote no PDF to speak of")
    ctx.run(["mscore3", "-o", ctx.path("re.xml"), score], "MuseScore (MusicXML)")
    theirs = sounded_notes(ctx.path("re.xml"))
    if theirs != ours:
        raise Failure(f"MuseScore read {theirs} notes, the file holds {ours}")
    ctx.keep("s.musicxml", "s.pdf", "re.xml")
    print(f"MuseScore read all {ours} notes")


def check_lilypond(ctx):
    need("musicxml2ly", "lilypond")
    need("lilypond", "lilypond")
    score, notes = ctx.export("s.musicxml", "musicxml")
    ctx.run(["musicxml2ly", "--output=" + ctx.path("s.ly"), score], "musicxml2ly")
    ctx.run(["lilypond", "--loglevel=ERROR", "-o", ctx.path("s"), ctx.path("s.ly")], "LilyPond")
    if not os.path.exists(ctx.path("s.pdf")) or os.path.getsize(ctx.path("s.pdf")) < 1000:
        raise Failure("LilyPond wrote no PDF")
    ctx.keep("s.musicxml", "s.ly", "s.pdf")
    print(f"LilyPond engraved {notes} notes")


CHECKS = {
    "musescore": check_musescore,
    "lilypond": check_lilypond,
}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("check", choices=sorted(CHECKS))
    parser.add_argument("--exe", required=True, help="the kelvo-gongche program")
    parser.add_argument("--sample", required=True, help="the score to export")
    parser.add_argument("--keep", help="copy what was made into this folder")
    args = parser.parse_args()
    args.exe = os.path.abspath(args.exe)
    args.sample = os.path.abspath(args.sample)
    if args.keep:
        args.keep = os.path.abspath(args.keep)
    with tempfile.TemporaryDirectory(prefix="kelvo-music-") as folder:
        try:
            CHECKS[args.check](Context(args, folder))
        except Failure as failure:
            print(f"FAIL: {failure}")
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
