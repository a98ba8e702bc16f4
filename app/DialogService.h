#pragma once

#include <QColor>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWidget>

// Everything the program asks of the user through a standard modal dialog, or
// hands to the desktop (opening a web address), goes through this one seam.
// Tests install a DialogHandler that records each request and answers it, so
// no modal loop ever blocks a headless run.
struct DialogRequest
{
    enum Kind {
        Information,
        Warning,
        Critical,
        Question,
        OpenFile,
        SaveFile,
        ExistingDirectory,
        Color,
        OpenUrl,
    };

    Kind kind = Information;
    QPointer<QWidget> parent;
    QString title;  // message title or dialog caption
    QString text;   // message text
    QString dir;    // file dialogs: start directory
    QString filter; // file dialogs: name filter
    QString fileName;      // save dialogs: the suggested file name
    QString defaultSuffix; // save dialogs: suffix (no dot) a typed name gets
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QColor color; // colour dialog: initial colour
    QUrl url;     // OpenUrl

    bool isMessage() const { return kind <= Question; }
};

struct DialogAnswer
{
    QMessageBox::StandardButton button = QMessageBox::NoButton;
    QString path;   // file dialogs: empty means cancelled
    QColor color;   // colour dialog: invalid means cancelled
    bool ok = true; // OpenUrl: whether the desktop accepted it
};

class DialogHandler
{
public:
    virtual ~DialogHandler() = default;
    virtual DialogAnswer answer(const DialogRequest &request) = 0;
};

class Dialogs
{
public:
    // Installs a handler that answers instead of real dialogs; nullptr
    // restores the real ones. The caller keeps ownership.
    static void setHandler(DialogHandler *handler);
    static DialogHandler *handler();

    static QMessageBox::StandardButton information(
        QWidget *parent, const QString &title, const QString &text,
        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    static QMessageBox::StandardButton warning(
        QWidget *parent, const QString &title, const QString &text,
        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    static QMessageBox::StandardButton critical(
        QWidget *parent, const QString &title, const QString &text,
        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    static QMessageBox::StandardButton question(
        QWidget *parent, const QString &title, const QString &text,
        QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

    static QString getOpenFileName(QWidget *parent, const QString &caption,
                                   const QString &dir, const QString &filter);
    // With a default suffix, a name typed without it gets it (case-insensitive
    // check), and replacing an existing file under the completed name is
    // asked about first; No shows the dialog again. Empty when cancelled.
    static QString getSaveFileName(QWidget *parent, const QString &caption,
                                   const QString &dir, const QString &filter,
                                   const QString &defaultSuffix = QString(),
                                   const QString &fileName = QString());
    // Text made fit to suggest as a file name: trimmed, characters that file
    // systems refuse replaced by "_"; empty when nothing usable is left.
    static QString fileNameFrom(const QString &text);
    // The path with ".suffix" appended unless it already ends with it.
    static QString withSuffix(const QString &path, const QString &suffix);
    static QString getExistingDirectory(QWidget *parent, const QString &caption,
                                        const QString &dir);
    // Returns an invalid colour when the user cancels.
    static QColor getColor(const QColor &initial, QWidget *parent, const QString &title);

    // Opens the address in the desktop's browser.
    static bool openUrl(const QUrl &url);

private:
    static QMessageBox::StandardButton message(DialogRequest request);
};
