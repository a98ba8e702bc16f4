// SPDX-License-Identifier: GPL-3.0-or-later
#include "shared/ui/DialogService.h"

#include "core/Reporting.h"

#include <QColorDialog>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScreen>

#include <QFileInfo>

#include <algorithm>

namespace {

DialogHandler *g_handler = nullptr;

// The request every dialog starts from; only messages offer buttons.
DialogRequest request(DialogRequest::Kind kind, QWidget *parent, const QString &title,
                      QMessageBox::StandardButtons buttons = QMessageBox::NoButton)
{
    DialogRequest r;
    r.kind = kind;
    r.parent = parent;
    r.title = title;
    r.buttons = buttons;
    return r;
}

} // namespace

void Dialogs::setHandler(DialogHandler *handler)
{
    g_handler = handler;
}

DialogHandler *Dialogs::handler()
{
    return g_handler;
}

QMessageBox::StandardButton Dialogs::message(DialogRequest::Kind kind, QWidget *parent,
                                             const QString &title, const QString &text,
                                             QMessageBox::StandardButtons buttons,
                                             QMessageBox::StandardButton defaultButton)
{
    DialogRequest r = request(kind, parent, title, buttons);
    r.text = text;
    r.defaultButton = defaultButton;
    if (g_handler)
        return g_handler->answer(r).button;
    using Show = QMessageBox::StandardButton (*)(QWidget *, const QString &, const QString &,
                                                 QMessageBox::StandardButtons,
                                                 QMessageBox::StandardButton);
    // In the order of DialogRequest's message kinds.
    static const Show shows[] = {&QMessageBox::information, &QMessageBox::warning,
                                 &QMessageBox::critical, &QMessageBox::question};
    return shows[kind](parent, title, text, buttons, defaultButton);
}

QString Dialogs::getOpenFileName(QWidget *parent, const QString &caption, const QString &dir,
                                 const QString &filter)
{
    if (!g_handler)
        return QFileDialog::getOpenFileName(parent, caption, dir, filter);
    DialogRequest r = request(DialogRequest::OpenFile, parent, caption);
    r.dir = dir;
    r.filter = filter;
    return g_handler->answer(r).path;
}

QString Dialogs::fileNameFrom(const QString &text)
{
    static const QString unsafe = QStringLiteral("/\\:*?\"<>|");
    QString name = text.trimmed();
    for (QChar &c : name)
        if (unsafe.contains(c) || c.category() == QChar::Other_Control)
            c = QLatin1Char('_');
    // A leading dot would hide the file.
    return name.startsWith(QLatin1Char('.')) ? QString() : name;
}

QString Dialogs::withSuffix(const QString &path, const QString &suffix)
{
    if (path.isEmpty() || suffix.isEmpty())
        return path;
    const QString dotted = QLatin1Char('.') + suffix;
    return path.endsWith(dotted, Qt::CaseInsensitive) ? path : path + dotted;
}

static QString askSaveFileName(const DialogRequest &request)
{
    if (g_handler)
        return g_handler->answer(request).path;
    QFileDialog dialog(request.parent.data(), request.title, request.dir, request.filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The dialog then completes a typed name itself and asks before
    // replacing the completed file.
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}

QString Dialogs::getSaveFileName(QWidget *parent, const QString &caption, const QString &dir,
                                 const QString &filter, const QString &defaultSuffix,
                                 const QString &fileName)
{
    DialogRequest r = request(DialogRequest::SaveFile, parent, caption);
    r.dir = dir;
    r.filter = filter;
    r.defaultSuffix = defaultSuffix;
    r.fileName = fileName;
    for (;;) {
        const QString chosen = askSaveFileName(r);
        const QString completed = withSuffix(chosen, defaultSuffix);
        // A dialog that had no suffix to add (a native one, a name with
        // another suffix) never saw the completed name: ask here, or the
        // file under it would be replaced silently.
        if (completed == chosen || !QFileInfo::exists(completed))
            return completed;
        const QMessageBox::StandardButton answer = question(
            parent, QObject::tr("确认另存为"),
            QObject::tr("“%1”已存在。\n要替换它吗？").arg(QFileInfo(completed).fileName()),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer == QMessageBox::Yes)
            return completed;
        r.dir = QFileInfo(completed).absolutePath();
        r.fileName = QFileInfo(chosen).fileName();
    }
}

QString Dialogs::getExistingDirectory(QWidget *parent, const QString &caption, const QString &dir)
{
    if (!g_handler)
        return QFileDialog::getExistingDirectory(parent, caption, dir, QFileDialog::ShowDirsOnly);
    DialogRequest r = request(DialogRequest::ExistingDirectory, parent, caption);
    r.dir = dir;
    return g_handler->answer(r).path;
}

QColor Dialogs::getColor(const QColor &initial, QWidget *parent, const QString &title)
{
    if (!g_handler)
        return QColorDialog::getColor(initial, parent, title);
    DialogRequest r = request(DialogRequest::Color, parent, title);
    r.color = initial;
    return g_handler->answer(r).color;
}

bool Dialogs::openUrl(const QUrl &url)
{
    if (!g_handler)
        return QDesktopServices::openUrl(url);
    DialogRequest r = request(DialogRequest::OpenUrl, nullptr, QString());
    r.url = url;
    return g_handler->answer(r).ok;
}

bool Dialogs::print(QWidget *parent, QPrinter *printer, int pageCount)
{
    if (g_handler) {
        DialogRequest r = request(DialogRequest::Print, parent, QObject::tr("打印"),
                                  QMessageBox::Ok | QMessageBox::Cancel);
        r.printer = printer;
        r.pageCount = pageCount;
        return g_handler->answer(r).button == QMessageBox::Ok;
    }
    QPrintDialog dialog(printer, parent);
    dialog.setWindowTitle(QObject::tr("打印"));
    // Pages are whole score pages: no selection, no "current page".
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, pageCount > 1);
    dialog.setMinMax(1, std::max(1, pageCount));
    // The range fields start at the whole score rather than at "1 to 1".
    if (printer->printRange() != QPrinter::PageRange && pageCount > 0)
        printer->setFromTo(1, pageCount);
    return dialog.exec() == QDialog::Accepted;
}

void Dialogs::printPreview(QWidget *parent, QPrinter *printer, int pageCount,
                           const std::function<void(QPrinter *)> &paint)
{
    if (g_handler) {
        DialogRequest r = request(DialogRequest::PrintPreview, parent, QObject::tr("打印预览"));
        r.printer = printer;
        r.pageCount = pageCount;
        r.paint = paint;
        g_handler->answer(r);
        return;
    }
    QPrintPreviewDialog dialog(printer, parent);
    dialog.setWindowTitle(QObject::tr("打印预览"));
    dialog.setWindowFlags(dialog.windowFlags() | Qt::WindowMaximizeButtonHint);
    // Room for a readable page from the start; its own default is tiny.
    if (const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        dialog.resize(screen->availableGeometry().size() * 0.85);
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [&paint](QPrinter *target) { paint(target); });
    dialog.exec();
}

namespace {

class DialogReporter : public Reporting::Reporter
{
public:
    void report(const Reporting::Report &report) override
    {
        switch (report.severity) {
        case Reporting::Severity::Information:
            Dialogs::information(nullptr, report.title, report.text);
            break;
        case Reporting::Severity::Warning:
            Dialogs::warning(nullptr, report.title, report.text);
            break;
        case Reporting::Severity::Critical:
            Dialogs::critical(nullptr, report.title, report.text);
            break;
        }
    }
};

} // namespace

void Dialogs::reportThroughDialogs()
{
    static DialogReporter reporter;
    Reporting::setReporter(&reporter);
}
