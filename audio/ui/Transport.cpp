// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/ui/Transport.h"

#include "audio/Player.h"
#include "audio/SoundFonts.h"
#include "core/DataPaths.h"
#include "core/SafeWrite.h"
#include "shared/ui/DialogService.h"
#include "document/PairedDocument.h"
#include "document/ui/KelvoEdit.h"
#include "editor/ui/LyricEdit.h"
#include "music/MidiFile.h"
#include "music/Reading.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QSettings>
#include <QSpinBox>
#include <QTextDocument>
#include <QTimer>

namespace {

const char *const IconPath = ":/icons/resources/icons/%1.png";

QIcon icon(const char *name)
{
    return QIcon(QString::fromLatin1(IconPath).arg(QLatin1String(name)));
}

// About thirty times a second: smooth to the eye, cheap for the GUI thread.
constexpr int FollowInterval = 33;

} // namespace

Transport::Transport(QWidget *parent)
    : QToolBar(tr("播放"), parent)
    , m_player(new Player(this))
    , m_timer(new QTimer(this))
{
    setObjectName(QStringLiteral("transportBar"));
    setFloatable(false);
    {
        QSettings stored(DataPaths::settingsFile(), QSettings::IniFormat);
        m_settings = PlaybackSettings::load(stored);
    }

    m_play = addAction(icon("play"), tr("播放"), this, &Transport::playPause);
    m_play->setObjectName(QStringLiteral("playAction"));
    m_play->setShortcut(Qt::Key_F5);
    m_stop = addAction(icon("stop"), tr("停止"), this, &Transport::stop);
    m_stop->setObjectName(QStringLiteral("stopAction"));
    m_stop->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F5));
    m_stop->setToolTip(tr("停止播放 Shift+F5"));
    m_playFromCursor = addAction(icon("playFromCursor"), tr("从光标处播放"), this,
                                 &Transport::playFromCursor);
    m_playFromCursor->setObjectName(QStringLiteral("playFromCursorAction"));
    m_playFromCursor->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F5));
    m_playFromCursor->setToolTip(tr("从光标处的字播放 Ctrl+F5"));
    m_loop = addAction(icon("loop"), tr("循环选段"));
    m_loop->setObjectName(QStringLiteral("loopAction"));
    m_loop->setCheckable(true);
    m_loop->setChecked(m_settings.loop);
    m_loop->setToolTip(tr("循环播放歌词中选中的字"));
    connect(m_loop, &QAction::toggled, this, [this](bool on) {
        m_settings.loop = on;
        saveSettings();
        applyLoop();
    });

    addSeparator();
    addWidget(new QLabel(tr("速度 "), this));
    m_tempo = new QSpinBox(this);
    m_tempo->setObjectName(QStringLiteral("tempoBox"));
    m_tempo->setRange(PlaybackSettings::MinTempo, PlaybackSettings::MaxTempo);
    m_tempo->setValue(m_settings.tempo);
    m_tempo->setSuffix(tr(" 拍/分"));
    m_tempo->setToolTip(tr("每分钟拍数"));
    addWidget(m_tempo);
    addWidget(new QLabel(tr(" 移调 "), this));
    m_transpose = new QSpinBox(this);
    m_transpose->setObjectName(QStringLiteral("transposeBox"));
    m_transpose->setRange(-PlaybackSettings::MaxTranspose, PlaybackSettings::MaxTranspose);
    m_transpose->setValue(m_settings.transpose);
    m_transpose->setToolTip(tr("升降半音数"));
    addWidget(m_transpose);
    addWidget(new QLabel(tr(" 乐器 "), this));
    m_instrument = new QComboBox(this);
    m_instrument->setObjectName(QStringLiteral("instrumentBox"));
    for (int i = 0; i < PlaybackSettings::InstrumentCount; ++i)
        m_instrument->addItem(PlaybackSettings::name(PlaybackSettings::Instrument(i)));
    m_instrument->setCurrentIndex(m_settings.instrument);
    addWidget(m_instrument);
    addWidget(new QLabel(tr(" 节拍 "), this));
    m_rhythm = new QComboBox(this);
    m_rhythm->setObjectName(QStringLiteral("rhythmBox"));
    for (int i = 0; i < Music::RhythmCount; ++i)
        m_rhythm->addItem(Music::rhythmLabel(Music::Rhythm(i)));
    m_rhythm->setCurrentIndex(int(m_settings.rhythm));
    m_rhythm->setToolTip(tr("一拍中的几个音怎样分这一拍：对半分（前长后短），或按比例（三连音等）"));
    addWidget(m_rhythm);
    m_soundFont = addAction(icon("soundFont"), tr("选择音色库…"), this, &Transport::chooseSoundFont);
    m_soundFont->setObjectName(QStringLiteral("soundFontAction"));
    m_soundFont->setToolTip(tr("选择播放用的 SoundFont 音色库"));

    // Keyboard typing into the boxes would otherwise restart the music at
    // every digit; a value counts once it is entered or the arrows step.
    m_tempo->setKeyboardTracking(false);
    m_transpose->setKeyboardTracking(false);
    connect(m_tempo, &QSpinBox::valueChanged, this, [this](int value) {
        m_settings.tempo = value;
        saveSettings();
        // The tempo changes the clock only: the music plays on from here.
        if (isPlaying())
            m_player->setTempo(value);
    });
    connect(m_transpose, &QSpinBox::valueChanged, this, &Transport::onSettingChanged);
    connect(m_instrument, &QComboBox::currentIndexChanged, this, &Transport::onSettingChanged);
    connect(m_rhythm, &QComboBox::currentIndexChanged, this, &Transport::onSettingChanged);

    m_timer->setInterval(FollowInterval);
    connect(m_timer, &QTimer::timeout, this, &Transport::follow);
    connect(m_player, &Player::finished, this, &Transport::finish);
    setTickSource(nullptr);
    refreshActions();
}

Transport::~Transport()
{
    // The player goes with this bar; its thread is stopped first, while
    // the editor it tints may still be there.
    m_timer->stop();
    m_player->stop();
}

void Transport::setTickSource(std::function<int()> source)
{
    m_tickSource = source ? std::move(source) : [this] { return m_player->currentTick(); };
}

void Transport::setEditor(KelvoEdit *editor)
{
    if (editor == m_editor)
        return;
    if (m_playing && m_playing != editor)
        stop();
    m_editor = editor;
    refreshActions();
    // Loading a large SoundFont takes a moment: done once a document is
    // there, after the window has shown it, so that F5 sounds at once.
    if (editor)
        QTimer::singleShot(0, this, [this] {
            if (!isPlaying())
                m_player->prepare(soundFontPath(), nullptr);
        });
}

QString Transport::soundFontPath() const
{
    // Nothing usable: the chosen file still goes to the player, whose
    // refusal names it.
    const QString chosen = SoundFonts::choose(m_settings.soundFont).path;
    return chosen.isEmpty() ? m_settings.soundFont : chosen;
}

void Transport::release(KelvoEdit *editor)
{
    if (editor && editor == m_playing)
        stop();
    if (editor == m_editor) {
        m_editor = nullptr;
        refreshActions();
    }
}

bool Transport::isPlaying() const
{
    return !m_playing.isNull();
}

bool Transport::isPaused() const
{
    return isPlaying() && m_player->isPaused();
}

QString Transport::documentText() const
{
    if (!m_playing)
        return QString();
    const PairedDocument *document = m_playing->document();
    return document->lyricDocument()->toPlainText() + QChar(0) + document->scoreDocument()->toPlainText();
}

bool Transport::start(const std::function<int(const QList<Audio::Cue> &)> &where)
{
    KelvoEdit *editor = m_editor;
    if (!editor)
        return false;
    stop();

    const Music::Options options = PlaybackSettings::musicOptions(
        m_settings.tempo, m_settings.transpose, m_settings.rhythm, true, m_settings.instrument);
    const Music::Performance performance = Music::read(editor->document()->layoutItems(), options);
    if (performance.noteCount() == 0) {
        Dialogs::information(window(), tr("播放"), tr("没有可以播放的音符"));
        return false;
    }

    const SoundFonts::Choice font = SoundFonts::choose(m_settings.soundFont);
    // The fallback is said once per chosen file, not at every start.
    if (!font.warning.isEmpty() && !font.path.isEmpty()
        && m_warnedSoundFont != m_settings.soundFont) {
        m_warnedSoundFont = m_settings.soundFont;
        Dialogs::warning(window(), tr("播放"), font.warning);
    }

    const QList<Audio::Cue> cues = Audio::cues(performance);
    QString error;
    const QString soundFont = font.path.isEmpty() ? m_settings.soundFont : font.path;
    if (!m_player->play(Midi::encode(performance, options), soundFont, where(cues), &error)) {
        Dialogs::warning(window(), tr("播放"), error.isEmpty() ? tr("没有可用的音频设备") : error);
        return false;
    }
    m_cues = cues;
    m_playing = editor;
    m_playedText = documentText();
    const PairedDocument *document = editor->document();
    connect(document->lyricDocument(), &QTextDocument::contentsChanged, this,
            &Transport::onDocumentChanged);
    connect(document->scoreDocument(), &QTextDocument::contentsChanged, this,
            &Transport::onDocumentChanged);
    connect(editor->lyricEdit(), &QPlainTextEdit::selectionChanged, this, [this] {
        // A new selection moves the loop; clicking elsewhere keeps it.
        if (m_playing && m_playing->lyricEdit()->textCursor().hasSelection())
            applyLoop();
    });
    connect(editor, &QObject::destroyed, this, &Transport::stop);
    applyLoop();
    m_timer->start();
    follow();
    refreshActions();
    emit playingChanged(true);
    return true;
}

void Transport::finish()
{
    m_timer->stop();
    KelvoEdit *editor = m_playing;
    m_playing = nullptr;
    m_cues.clear();
    m_shownCue = -1;
    m_loopFrom = m_loopTo = 0;
    if (editor) {
        const PairedDocument *document = editor->document();
        disconnect(document->lyricDocument(), nullptr, this, nullptr);
        disconnect(document->scoreDocument(), nullptr, this, nullptr);
        disconnect(editor->lyricEdit(), nullptr, this, nullptr);
        disconnect(editor, nullptr, this, nullptr);
        editor->clearPlaying();
        emit playingChanged(false);
    }
    refreshActions();
}

void Transport::stop()
{
    m_player->stop();
    finish();
}

void Transport::playPause()
{
    if (!isPlaying()) {
        // Looping a selection starts at its first character.
        start([this](const QList<Audio::Cue> &cues) {
            const QPair<int, int> loop = loopRange(cues);
            return loop.first < loop.second ? loop.first : 0;
        });
    } else if (m_player->isPaused()) {
        m_player->resume();
        m_timer->start();
    } else {
        m_player->pause();
        m_timer->stop();
    }
    refreshActions();
}

void Transport::playFromCursor()
{
    if (!m_editor)
        return;
    const QTextCursor cursor = m_editor->lyricEdit()->textCursor();
    int line = 0, step = 0;
    if (cursor.hasSelection()) {
        m_editor->lyricStepAt(cursor.selectionStart(), &line, &step);
    } else {
        // The cursor's character is the one before it, whose line the
        // score pane shows; at a line's start, the line's first.
        m_editor->lyricStepAt(cursor.position(), &line, &step);
        step = qMax(0, step - 1);
    }
    start([line, step](const QList<Audio::Cue> &cues) {
        return Audio::startTickFor(cues, line, step);
    });
}

void Transport::restartHere()
{
    if (!isPlaying())
        return;
    const bool paused = m_player->isPaused();
    const int tick = m_tickSource();
    if (!start([tick](const QList<Audio::Cue> &) { return tick; }))
        return;
    if (paused) {
        m_player->pause();
        m_timer->stop();
        refreshActions();
    }
}

QPair<int, int> Transport::loopRange(const QList<Audio::Cue> &cues) const
{
    int from = 0, to = 0;
    KelvoEdit *editor = m_playing ? m_playing.data() : m_editor.data();
    if (!editor || !m_settings.loop)
        return {from, to};
    const QTextCursor selection = editor->lyricEdit()->textCursor();
    if (!selection.hasSelection())
        return {from, to};
    bool any = false;
    for (const Audio::Cue &cue : cues) {
        const int position = editor->lyricPosition(cue.item, cue.character);
        if (position < selection.selectionStart() || position >= selection.selectionEnd())
            continue;
        from = any ? qMin(from, cue.startTick) : cue.startTick;
        to = any ? qMax(to, cue.endTick) : cue.endTick;
        any = true;
    }
    return {from, to};
}

void Transport::applyLoop()
{
    if (!m_playing)
        return;
    const QPair<int, int> loop = loopRange(m_cues);
    if (loop.first == m_loopFrom && loop.second == m_loopTo)
        return;
    m_loopFrom = loop.first;
    m_loopTo = loop.second;
    m_player->setLoop(m_loopFrom, m_loopTo);
}

void Transport::follow()
{
    if (!m_playing)
        return;
    const int cue = Audio::cueAt(m_cues, m_tickSource());
    if (cue == m_shownCue)
        return;
    m_shownCue = cue;
    if (cue < 0)
        m_playing->clearPlaying();
    else
        m_playing->showPlaying(m_cues.at(cue).item, m_cues.at(cue).character);
}

void Transport::onDocumentChanged()
{
    // The tints themselves and a rehighlight touch the texts' layout, not
    // their words: only a real edit stops the music.
    if (m_playing && documentText() != m_playedText)
        stop();
}

void Transport::onSettingChanged()
{
    m_settings.transpose = m_transpose->value();
    m_settings.instrument = PlaybackSettings::Instrument(
        qBound(0, m_instrument->currentIndex(), PlaybackSettings::InstrumentCount - 1));
    m_settings.rhythm =
        Music::Rhythm(qBound(0, m_rhythm->currentIndex(), Music::RhythmCount - 1));
    saveSettings();
    // Another key, instrument or rhythm is another piece of music: read
    // again and go on from where it was.
    restartHere();
}

void Transport::chooseSoundFont()
{
    // The chosen file's folder, else where the system keeps its SoundFonts
    // (not the folder the dialog last showed, a score's).
    const QString current = m_settings.soundFont;
    QString dir = current.isEmpty() ? QString() : QFileInfo(current).absolutePath();
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        dir = SoundFonts::systemFolder();
    if (!QFileInfo(dir).isDir())
        dir = QDir::homePath();
    const QString path = Dialogs::getOpenFileName(window(), tr("选择音色库"), dir,
                                                  tr("SoundFont 文件 (*.sf2)"));
    if (path.isEmpty())
        return;
    QString why;
    if (!SoundFonts::isUsable(path, &why)) {
        Dialogs::warning(window(), tr("选择音色库"),
                         why.isEmpty() ? tr("“%1”不是可用的音色库。").arg(path) : why);
        return;
    }
    m_settings.soundFont = path;
    m_warnedSoundFont.clear();
    saveSettings();
    restartHere();
}

void Transport::saveSettings() const
{
    QSettings stored(DataPaths::settingsFile(), QSettings::IniFormat);
    m_settings.save(stored);
    SafeWrite::syncSettings(stored);
}

void Transport::refreshActions()
{
    const bool playing = isPlaying();
    const bool paused = playing && m_player->isPaused();
    m_play->setEnabled(m_editor || playing);
    m_play->setText(playing && !paused ? tr("暂停") : tr("播放"));
    m_play->setIcon(icon(playing && !paused ? "pause" : "play"));
    m_play->setToolTip(m_play->text() + QStringLiteral(" F5"));
    m_stop->setEnabled(playing);
    m_playFromCursor->setEnabled(m_editor);
}
