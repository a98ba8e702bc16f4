// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "document/LayoutItem.h"
#include "music/Performance.h"

#include <QStringView>

// Reading a score as music: the notes of each sung character with their
// pitch, onset and length in beats. Nothing here draws; the MIDI and
// MusicXML writers build on the result.
namespace Music {

// A beat mark beside a note puts the beat at the note's start; a waist
// mark or 底板 puts it inside the note.
enum class AnchorKind : quint8 { Start, Inside };
AnchorKind anchorKind(char32_t mark);

// Splits a tune heading 【name】(mode) (either paren width) into its parts;
// false when the line is no heading.
bool parseHeading(QStringView line, QString *tuneName, QString *mode);

// Adds one sung character's notes and marks to the section. A character
// without any pitch glyph sounds as a rest of one note (so its marks have a
// note to sit on) when it is an ideograph, and adds nothing otherwise.
// Marks attach to the last note of the section; marks before its first
// note are dropped and counted.
void appendCharacter(Section &section, QStringView notation, int item, int character,
                     const QString &lyric, bool ideograph);

// Positions (in note weights from the section start) of the beats the
// marks anchor, strictly increasing. Several marks on one note share it
// evenly: from its start when the first is a start mark, else spread
// inside it.
QList<double> anchorPositions(const Section &section);

// Onsets and lengths in beats from the anchors; anchor j is beat j. With
// Halving, the notes (their weights, a note cut by an anchor with its part
// on each side) between two anchors share the beat by halving: the run is
// split where the first part's weight comes closest to half the total (the
// earlier split on a tie, so earlier notes are longer), each part takes
// half of the span and is split again until it holds one note; a part of a
// 32nd of a beat is not split, its notes merge onto its start. Notes
// before the first anchor share the beat before it, and those after the
// last share the beat after it. With Proportional: linear between
// anchors, the first/last beat's density outside them, one weight per
// beat with a single anchor. Without any anchor the section is free, one
// beat per note. The last note lasts to the next whole beat.
void mapBeats(Section &section, Rhythm rhythm = Rhythm::Halving);

// Whether a beat mark opens a measure of the 板式 (its votes set the
// meter): 头板 (and 腰板) in an ordinary section, 赠板 (and 腰赠板) in a
// section that has 赠板.
bool isMeasureStart(char32_t mark, bool zengBan);
// Whether a beat mark starts a bar: those, and 底板 (a 板 on a held note
// or on the silence after one) in an ordinary section.
bool startsBar(char32_t mark, bool zengBan);

// Quarter beats per measure from the beats on which measures start: the
// most common gap among 1, 2, 4 and 8, the gaps between the bars (every 板)
// voting as well; ties go to 4, 2, 8, 1 in that order; 4 when nothing votes.
// So a 底板 that stands in for a 头板 keeps a tune in 4/4, and one that falls
// a beat before the next 头板 does not make it 1/4.
int meterOf(const QList<double> &measureStartBeats, const QList<double> &barBeats = {});

// Fixes the section's meter and bars and rounds onsets and lengths to
// units (onsetUnits, lengthUnits, breathUnits; measures), so that every
// writer agrees. A bar starts at every measure start; between two of them
// bars of the tune's meter, the last one shorter when they are not a
// whole number of bars apart; a pickup is padded to a whole leading
// measure, and the end to a whole measure. Halved onsets lie on 32nds of
// a beat already (notes merged on one move apart by a 32nd each).
// Proportional boundaries inside a beat snap to sixteenths, triplet
// eighths, sextuplet sixteenths or 1/12 beat, the first that moves none by
// more than 1/12 beat and keeps notes apart. Guaranteed: onsetUnits >= 0
// and strictly increasing, each note ends by the next onset and the last
// by lengthUnits of the section; the measures run from 0 to lengthUnits
// without a gap, each a whole number of beats, at most `meter` beats long;
// and 0 <= breathUnits < lengthUnits. A note longer than 64 beats is
// shortened by whole measures.
void quantise(Section &section, Rhythm rhythm = Rhythm::Halving);

// The whole document, a section per tune heading, mapped and quantised
// (startUnits of each section follow on from the one before).
Performance read(const LayoutItems &items, const Options &options);

} // namespace Music
